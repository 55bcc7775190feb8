// The key tables' filter: a key shows when its number as the tables show it, or its description, contains
// the filter text, letter case ignored (texts compared as GTK's string filters compare them: normalised and
// case-folded). It looks at the keys themselves, without expressions and values in between, and compares
// plain ASCII texts without making case-folded copies, so that 100,000 keys are filtered in a few tens of
// milliseconds.
#pragma once

#include <glibmm/ustring.h>
#include <gtkmm/filter.h>

#include <vector>

namespace key_text_filter {

Glib::RefPtr<Gtk::Filter> create();
// Sets the text; the model of the filter hears how the result can change (a longer text only hides keys).
void set_text(const Glib::RefPtr<Gtk::Filter>& filter, const Glib::ustring& text);
// The numbers are shown in another format: they are looked at again.
void numbers_changed(const Glib::RefPtr<Gtk::Filter>& filter);

// The keys of candidates that filter (one of these) lets through, in their order. Faster than asking about
// each key in turn: the walk asks memory for the keys a few places ahead of the one it compares, so that
// a table sorted otherwise than its keys lie in memory is not filtered at the pace of memory.
std::vector<GObject*> passing(const Glib::RefPtr<Gtk::Filter>& filter,
                              const std::vector<GObject*>& candidates);

} // namespace key_text_filter
