// What a key table shows and how it orders: per column its id, title, cell factory (text and style classes
// bound to the key's properties) and sorter.
#pragma once

#include <glibmm/regex.h>
#include <gtkmm/listitemfactory.h>
#include <gtkmm/sorter.h>

#include "keys/KeyTypes.h"
#include "ui/CKeyPanel.h"
#include "ui/CMyProp.h"

namespace key_cells {

// The key format the tables show numbers in (one for both tables, as the editor's drop-down sets it).
void set_shown_format(key_format format);
key_format shown_format();

Glib::ustring column_id(CKeyPanel::Column column);
Glib::ustring column_title(CKeyPanel::Column column);
// The bit of "key-different" that marks a difference in the column; 0 for the id.
unsigned int different_bit(CKeyPanel::Column column);

// Cells of the column. The number and description cells depend on the table's filter property
// (query_property of prop) and show matches of *highlight (owned by the table).
Glib::RefPtr<Gtk::ListItemFactory> make_factory(CKeyPanel::Column column, const Glib::RefPtr<CMyProp>& prop,
                                                const char* query_property,
                                                const Glib::RefPtr<Glib::Regex>* highlight);
Glib::RefPtr<Gtk::Sorter> make_sorter(CKeyPanel::Column column);

// The creation time as the "Added" column shows it (local time); "" for an unknown time.
Glib::ustring created_text(std::int64_t created);

} // namespace key_cells
