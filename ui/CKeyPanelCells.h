// What a key table shows and how it orders: per column its id, title, cells and sorter. A cell is bound to
// a row of the table (a position, see KeyRowModel.h) and shows the key in that row. Cells are bound by hand,
// without expressions: a table keeps a couple of hundred rows of seven cells alive and binds them all again
// on a long scroll, so a cell's cost decides how fluid the table is.
#pragma once

#include <glibmm/regex.h>
#include <gtkmm/listitemfactory.h>
#include <gtkmm/sorter.h>

#include <memory>

#include "keys/KeyTypes.h"
#include "ui/CKeyPanel.h"

namespace key_cells {

// The key format the tables show numbers in (one for both tables, as the editor's drop-down sets it).
void set_shown_format(key_format format);
key_format shown_format();

Glib::ustring column_id(CKeyPanel::Column column);
Glib::ustring column_title(CKeyPanel::Column column);
// The bit of "key-different" that marks a difference in the column; 0 for the id.
unsigned int different_bit(CKeyPanel::Column column);

// The cells of one table. A cell shows its key's value for the column and follows changes of the key; the
// number and description cells mark the matches of the table's highlight.
class CCells {
public:
    CCells();
    ~CCells();
    CCells(const CCells&) = delete;
    CCells& operator=(const CCells&) = delete;

    Glib::RefPtr<Gtk::ListItemFactory> make_factory(CKeyPanel::Column column);
    // Null: nothing is marked. Cells bound from now on mark it; redraw() marks it in the others.
    void set_highlight(Glib::RefPtr<Glib::Regex> highlight);
    // Every bound cell is drawn again (after a change of the highlight or the key format).
    void redraw();
    // The number and description cells are drawn again (after a change of the highlight).
    void redraw_highlighted();
    // Cells whose row shows another key now show that key (after a sort or filter).
    void follow_keys();

    struct State;

private:
    // Shared with the cells: a cell the toolkit keeps a while longer never outlives it.
    std::shared_ptr<State> m_state;
};

// A key's value in a column as the column orders it; the description column orders by text instead.
using SortValue = unsigned __int128;
SortValue sort_value(const CKey& key, CKeyPanel::Column column);
// Negative, zero or positive: how the column orders a and b.
int compare_in_column(const CKey& a, const CKey& b, CKeyPanel::Column column);
// A sorter that compares two keys by the column (the comparison of two tables uses it).
Glib::RefPtr<Gtk::Sorter> make_sorter(CKeyPanel::Column column);

// The creation time as the "Added" column shows it (local time); "" for an unknown time.
Glib::ustring created_text(std::int64_t created);

} // namespace key_cells
