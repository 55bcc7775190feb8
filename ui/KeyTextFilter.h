// The key tables' filter: a key shows when its number as the tables show it, or its description, contains
// the filter text, letter case ignored (texts compared as GTK's string filters compare them: normalised and
// case-folded). It looks at the keys themselves, without expressions and values in between, and compares
// plain ASCII texts without making case-folded copies, so that 100,000 keys are filtered in a few tens of
// milliseconds.
#pragma once

#include <glibmm/ustring.h>
#include <gtkmm/filter.h>

namespace key_text_filter {

Glib::RefPtr<Gtk::Filter> create();
// Sets the text; the model of the filter hears how the result can change (a longer text only hides keys).
void set_text(const Glib::RefPtr<Gtk::Filter>& filter, const Glib::ustring& text);
// The numbers are shown in another format: they are looked at again.
void numbers_changed(const Glib::RefPtr<Gtk::Filter>& filter);

} // namespace key_text_filter
