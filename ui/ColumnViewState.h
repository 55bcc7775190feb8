// Keeps a column view's sorting and column order across runs: restores them from storage when it is made
// (without storing them back), stores the user's later sorting changes (the primary column's id, empty when
// none, and whether it sorts descending), and stores the column ids in display order whenever the view holds
// its full set of columns. The storage is given as callbacks, so that every list keeps its own keys.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include <glibmm/ustring.h>
#include <gtkmm/columnview.h>
#include <gtkmm/columnviewcolumn.h>
#include <sigc++/connection.h>

class CColumnViewState {
public:
    struct Storage {
        std::function<Glib::ustring()> sort_column;
        std::function<bool()> sort_descending;
        std::function<void(const Glib::ustring& column, bool descending)> store_sort;
        std::function<std::vector<Glib::ustring>()> column_order;
        std::function<void(const std::vector<Glib::ustring>& order)> store_column_order;
    };
    // The settings keys of the database list ("bases-sort-column", "bases-sort-descending",
    // "bases-column-order") and of the key tables ("keys-..."), through g_AppSet.
    static Storage bases_storage();
    static Storage keys_storage();

    // ids names the view's columns in their present order; their number is the full set of columns.
    CColumnViewState(Gtk::ColumnView& view, const std::vector<Glib::ustring>& ids, Storage storage);
    ~CColumnViewState();
    CColumnViewState(const CColumnViewState&) = delete;
    CColumnViewState& operator=(const CColumnViewState&) = delete;

    // Sorts the view by the column with that id (none for an unknown or empty id) without storing it.
    void sort_by(const Glib::ustring& id, bool descending);
    // Sorts by the stored column alone (dropping secondary sort columns) without storing it.
    void restore_sorting();
    // The primary sort column's id (empty when the view is not sorted) and whether it sorts descending.
    std::pair<Glib::ustring, bool> current_sort() const;
    // Column ids in display order.
    std::vector<Glib::ustring> current_order() const;

    static Glib::ustring column_id(const Glib::RefPtr<Gtk::ColumnViewColumn>& column);

private:
    void restore_order(const std::vector<Glib::ustring>& order);
    Glib::RefPtr<Gtk::ColumnViewColumn> find_column(const Glib::ustring& id) const;
    void on_sorter_changed();
    void on_columns_changed();

    Gtk::ColumnView& m_view;
    const guint m_expected;
    Storage m_storage;
    // Raised around the changes made here, which are not the user's and are not stored.
    int m_quiet = 0;
    sigc::connection m_conn_sorter;
    sigc::connection m_conn_columns;
    sigc::connection m_conn_store_sort;
};

// Sorts a column view by one column alone (none: unsorted).
void column_view_sort_by(Gtk::ColumnView& view, const Glib::RefPtr<Gtk::ColumnViewColumn>& column,
                         bool descending);
// Scrolls a column view so that the row at position (of its model) shows.
void column_view_scroll_to(Gtk::ColumnView& view, guint position);
// The list view inside a column view: its rows are its children, in the order of their positions.
Gtk::Widget* column_view_list(Gtk::ColumnView& view);
const Gtk::Widget* column_view_list(const Gtk::ColumnView& view);
