// The rows of a key table by position. The table's view lists row objects that stand for a position, not
// for a key: when a sort or a filter puts other keys in the rows, the view keeps its row widgets and only
// their cells show other keys. A view over the keys themselves would take each moved key for a removed
// and an added item and build a couple of hundred row widgets again each time.
// The view is given only a window of the rows, those on screen and one more: GTK 4.8's list view keeps
// two hundred row widgets whatever the height, and builds, lays out and draws all of them again on every
// long scroll. Moving the window keeps its row widgets; they show other keys, as after a sort.
// The selection is kept over all rows; the view's selection model is the window's view of it.
// The model reads the keys from the table's order and tells its owner before and after each change, so that
// a selection by position can follow its keys.
#pragma once

#include <giomm/listmodel.h>
#include <gtkmm/multiselection.h>
#include <gtkmm/selectionmodel.h>
#include <sigc++/signal.h>

#include <vector>

class CKeyTableOrder;

class CKeyRowModel {
public:
    // order: the sorted and filtered keys of the table; it outlives the model.
    explicit CKeyRowModel(CKeyTableOrder& order);
    ~CKeyRowModel();
    CKeyRowModel(const CKeyRowModel&) = delete;
    CKeyRowModel& operator=(const CKeyRowModel&) = delete;

    // The selection over every row, one per key shown.
    const Glib::RefPtr<Gtk::MultiSelection>& selection() const { return m_selection; }
    // The view's model: the rows of the window, selected as the same rows of `selection()`.
    const Glib::RefPtr<Gtk::SelectionModel>& window() const { return m_window; }
    guint size() const;
    // The key shown at position (null beyond the end); transfer none.
    GObject* key_at(guint position) const;

    // The window shows up to `capacity` rows from `offset` on. The offset is kept at most `size() - shown`
    // (0 when there are fewer rows), so that the window's last `shown` rows, those fully on screen, are
    // never empty while there are rows to fill them; it stays so as the rows change.
    void set_window(guint offset, guint capacity, guint shown);
    guint window_offset() const;
    guint window_count() const;

    // The key a row shows now (null for a row of a model that is gone); transfer none.
    static GObject* key_of_row(GObject* row);

    // Around each change of the keys: before it, key_at still answers as before; after it, the rows with
    // positions from `position` on show other keys. The rows' own count changes between the two.
    sigc::signal<void(guint position, guint removed)>& signal_before_change() { return m_before; }
    sigc::signal<void(guint position, guint removed, guint added)>& signal_after_change() { return m_after; }

private:
    // The counts of rows after a change of the keys or of the window, whose offset was old_offset.
    // shown_selected: after a move of the window over the same keys, the selection its rows showed.
    void update_counts(guint old_offset, const std::vector<bool>* shown_selected = nullptr);

    Glib::RefPtr<Gio::ListModel> m_rows;
    Glib::RefPtr<Gtk::MultiSelection> m_selection;
    Glib::RefPtr<Gtk::SelectionModel> m_window;
    sigc::connection m_order_before;
    sigc::connection m_order_after;
    sigc::signal<void(guint, guint)> m_before;
    sigc::signal<void(guint, guint, guint)> m_after;
};
