// One key table with its header: a header label ("Panel 1", "Panel 2") above a column view over a key
// document's keys, sorted by the view's columns, filtered by the table's filter text (number as shown or
// description) and with a multiple selection. The window uses two of them side by side; a panel tells it
// when its table takes the keyboard focus (and so becomes the active one), when its selection changes and
// when the Delete key is pressed on it.
#pragma once

#include <glibmm/regex.h>
#include <gtkmm/adjustment.h>
#include <gtkmm/box.h>
#include <gtkmm/columnview.h>
#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/eventcontrollerfocus.h>
#include <gtkmm/filter.h>
#include <gtkmm/label.h>
#include <gtkmm/multiselection.h>
#include <gtkmm/scrolledwindow.h>
#include <sigc++/signal.h>

#include <array>
#include <memory>
#include <vector>

#include "keys/CKeyDocument.h"
#include "ui/CMyProp.h"
#include "ui/ColumnViewState.h"

namespace key_cells {
class CCells;
}
class CKeyRowModel;
class CKeyTableOrder;

class CKeyPanel : public Gtk::Box {
public:
    // The columns in their first order. The bit of a key's "key-different" mask that marks each column
    // (none for the id) is 1 << (column - KEY_COL_TYPE).
    enum Column : int {
        KEY_COL_ID = 0,
        KEY_COL_TYPE,
        KEY_COL_ATTR,
        KEY_COL_NUMBER,
        KEY_COL_SHORT,
        KEY_COL_CREATED,
        KEY_COL_DESCRIPTION,
        KEY_COL_COUNT
    };
    // A column as the column order and sort settings name it ("ID", "Type", ... "Description").
    struct KeyColumn {
        Glib::ustring id;
        Glib::RefPtr<Gtk::ColumnViewColumn> column;
    };

    // index 0 or 1: which table of the window this is (its header reads "Panel 1" or "Panel 2"); its filter
    // text is prop's "keys-query1" or "keys-query2".
    CKeyPanel(int index, CKeyDocument& document, const Glib::RefPtr<CMyProp>& prop);
    ~CKeyPanel() override;

    int index() const { return m_index; }
    Gtk::Label& header() { return m_header; }
    Gtk::ColumnView& view() { return m_view; }
    const Glib::RefPtr<Gtk::MultiSelection>& selection() const { return m_selection; }
    // The keys as shown: sorted and filtered.
    guint shown_count() const;
    Glib::RefPtr<CKey> shown_key(guint position) const;
    // All keys in the table's sort order, the filter ignored.
    guint sorted_count() const;
    Glib::RefPtr<CKey> sorted_key(guint position) const;

    // For the column order and sort persistence: the view's columns with their ids, in first order.
    const std::array<KeyColumn, KEY_COL_COUNT>& columns() const { return m_columns; }
    // Sorts by the column with this id (none for an unknown or empty id); not stored as the user's sorting.
    void sort_by_column_id(const Glib::ustring& id, bool descending);
    // From now on the sorting and column order come from storage and the user's changes go back into it.
    void persist_columns(CColumnViewState::Storage storage);
    // Sorts by the stored column alone again (the user's secondary sort columns dropped).
    void restore_stored_sorting();
    // Sorts by the primary sort column alone (secondary sort columns dropped), without storing it.
    void keep_primary_sort();

    void set_title(const Glib::ustring& title);
    // Draws the header as the active table's.
    void set_focused(bool focused);
    bool has_selection() const;
    guint selected_count() const;
    void select_all();
    void unselect_all();
    // Selects the row alone.
    void select_only(guint position);
    // Adds the row to the selection.
    void select_add(guint position);
    // Selects exactly these rows (in one change of the selection).
    void select_positions(const std::vector<guint>& positions);
    // Selects exactly these keys, those the filter shows (in one change of the selection).
    void select_keys(const std::vector<Glib::RefPtr<CKey>>& keys);
    // Selects the key alone and scrolls to it; false (and nothing changes) when the filter hides it.
    bool select_key(const Glib::RefPtr<CKey>& key);
    // Scrolls the row onto the screen (to the middle when it was off it).
    void scroll_to(guint position);
    // The table's vertical scrolling: the value is the first row on screen, the page the rows on screen.
    const Glib::RefPtr<Gtk::Adjustment>& scroll_position() const { return m_position; }
    void focus_view();
    // Whether the keyboard focus is on the table or inside it.
    bool has_focus_within() const;

    // The selected keys in the table's order.
    std::vector<Glib::RefPtr<CKey>> selected_keys() const;

    // Shows only keys whose number as shown or description contains text (case ignored), highlights the
    // matches, and stores the text as the table's filter property. The empty text shows every key.
    void set_filter_text(const Glib::ustring& text);
    // The numbers are shown, filtered and sorted in the new key format.
    void on_key_format_changed();

    // Sorting for the comparison: sorters (of the columns given) replace the view's sorting; the view shows
    // no sort column. restore_view_sorting goes back to sorting by the view's columns.
    void sort_for_comparison(const std::vector<Column>& columns);
    void restore_view_sorting();
    // The sorter of a column, as it compares two keys.
    Glib::RefPtr<Gtk::Sorter> column_sorter(Column column) const;

    sigc::signal<void(int)>& signal_focus_entered() { return m_signal_focus_entered; }
    sigc::signal<void(int)>& signal_selection_changed() { return m_signal_selection_changed; }
    // The Delete key on the table; the flag says whether Shift was held (delete without asking).
    sigc::signal<void(int, bool)>& signal_delete_requested() { return m_signal_delete_requested; }

private:
    void build_model(CKeyDocument& document);
    void build_columns();
    std::vector<Glib::ustring> column_ids() const;
    void on_header_pressed(int n_press, double x, double y);
    bool on_view_key_pressed(guint keyval, guint keycode, Gdk::ModifierType state);
    // The view is given the rows on screen only (see KeyRowModel.h): the panel scrolls them itself.
    void build_scrolling();
    void move_window(guint offset);
    void fit_window();
    void show_position();
    bool on_scroll(bool in_wheel_clicks, double dy);
    // The keys that move the cursor up and down; false for other keys.
    bool move_cursor(guint keyval, Gdk::ModifierType state);
    // The window position of the row with the keyboard focus (G_MAXUINT for none), and focus to a row.
    guint focused_row() const;
    void focus_row(guint window_position);
    void on_view_sorter_changed();
    template <typename Change>
    void change_view_sorting(Change change);
    // The selection follows its keys when a sort or a filter moves them to other rows.
    void on_rows_before_change(guint position, guint removed);
    void on_rows_after_change(guint position, guint removed, guint added);

    const int m_index;
    Glib::RefPtr<CMyProp> m_prop;
    // Before the view: its cells are bound to keys until they are gone.
    std::unique_ptr<key_cells::CCells> m_cells;
    Gtk::Label m_header;
    Gtk::Box m_table;
    Gtk::ScrolledWindow m_scrolled;
    Gtk::ColumnView m_view;
    Glib::RefPtr<Gtk::Adjustment> m_position;
    // Moving the rows redraws this scroll bar and lays nothing out (see RowScrollbar.h); owned by m_table.
    GtkWidget* m_scrollbar = nullptr;
    // Rows on screen before the table was first measured: about those of a window of common size.
    static constexpr guint kGuessedRowsOnScreen = 40;
    // Rows fully on screen, and a row's height once measured.
    guint m_rows_on_screen;
    double m_row_height = 0;
    // Part of a row scrolled smoothly (a touchpad) and not yet moved.
    double m_scroll_rest = 0;
    sigc::connection m_view_height_changed;
    sigc::connection m_fit_window;
    bool m_showing_position = false;
    std::array<KeyColumn, KEY_COL_COUNT> m_columns;
    std::unique_ptr<CColumnViewState> m_column_state;
    std::array<Glib::RefPtr<Gtk::Sorter>, KEY_COL_COUNT> m_sorters;
    Glib::RefPtr<Gtk::Filter> m_filter;
    // Before the rows, which read the order's keys until they are gone.
    std::unique_ptr<CKeyTableOrder> m_order;
    std::unique_ptr<CKeyRowModel> m_rows;
    Glib::RefPtr<Gtk::MultiSelection> m_selection;
    // While rows change: the selected keys that move, and the selected rows after the change that only
    // shift; the selection's own changes are not reported then.
    std::vector<GObject*> m_moving_selected;
    std::vector<guint> m_shifting_selected;
    bool m_following_keys = false;
    Glib::RefPtr<Gtk::EventControllerFocus> m_focus;
    // While the panel itself changes the view's sorting: the view's sorter is read once it is done.
    int m_quiet_sorter = 0;
    sigc::signal<void(int)> m_signal_focus_entered;
    sigc::signal<void(int)> m_signal_selection_changed;
    sigc::signal<void(int, bool)> m_signal_delete_requested;
};
