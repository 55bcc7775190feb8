// The filter text marked in the cells of a filtered list: the expression that finds it (letter case
// ignored) and a cell's text as markup with every match on a yellow background.
#pragma once

#include <glibmm/regex.h>
#include <glibmm/ustring.h>

// The expression for a filter text; none for an empty text.
Glib::RefPtr<Glib::Regex> highlight_regex(const Glib::ustring& text);
// The text escaped for markup with the matches of regex marked (plain escaped text without regex).
Glib::ustring highlight_markup(const Glib::ustring& text, const Glib::RefPtr<Glib::Regex>& regex);
