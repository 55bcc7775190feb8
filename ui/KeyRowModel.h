// The rows of a key table by position. The table's view lists row objects that stand for a position, not
// for a key: when a sort or a filter puts other keys in the rows, the view keeps its row widgets and only
// their cells show other keys. A view over the keys themselves would take each moved key for a removed
// and an added item and build a couple of hundred row widgets again each time.
// The model reads the keys from the table's order and tells its owner before and after each change, so that
// a selection by position can follow its keys.
#pragma once

#include <giomm/listmodel.h>
#include <sigc++/signal.h>

class CKeyTableOrder;

class CKeyRowModel {
public:
    // order: the sorted and filtered keys of the table; it outlives the model.
    explicit CKeyRowModel(CKeyTableOrder& order);
    ~CKeyRowModel();
    CKeyRowModel(const CKeyRowModel&) = delete;
    CKeyRowModel& operator=(const CKeyRowModel&) = delete;

    // The rows, one per key, for the view's selection model.
    Glib::RefPtr<Gio::ListModel> rows() const { return m_rows; }
    guint size() const;
    // The key shown at position (null beyond the end); transfer none.
    GObject* key_at(guint position) const;

    // The key a row shows now (null for a row of a model that is gone); transfer none.
    static GObject* key_of_row(GObject* row);
    static guint position_of_row(GObject* row);

    // Around each change of the keys: before it, key_at still answers as before; after it, the rows with
    // positions from `position` on show other keys. The rows' own count changes between the two.
    sigc::signal<void(guint position, guint removed)>& signal_before_change() { return m_before; }
    sigc::signal<void(guint position, guint removed, guint added)>& signal_after_change() { return m_after; }

private:
    Glib::RefPtr<Gio::ListModel> m_rows;
    sigc::connection m_order_before;
    sigc::connection m_order_after;
    guint m_old_count = 0;
    sigc::signal<void(guint, guint)> m_before;
    sigc::signal<void(guint, guint, guint)> m_after;
};
