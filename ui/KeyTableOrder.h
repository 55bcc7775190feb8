// The keys a table shows: the document's keys in the table's sort order, passed through its filter.
// GTK's sort model reaches two keys through a chain of four sorters for each of the 1.7 million comparisons
// that 100,000 keys need, and its filter model follows with a change for every key. This order reads each
// key's value of a sort column once into an array and sorts the array, keeps the sorted and the shown keys
// as plain arrays, and reports a change as the one range of positions where the shown keys differ.
#pragma once

#include <gio/gio.h>
#include <giomm/listmodel.h>
#include <gtkmm/filter.h>
#include <gtkmm/sorter.h>
#include <sigc++/signal.h>

#include <vector>

class CKeyTableOrder {
public:
    // column: a CKeyPanel::Column.
    struct SortBy {
        int column;
        bool descending;
        bool operator==(const SortBy&) const = default;
    };

    // keys: the document's keys; the order follows their changes. The source holds the keys' references.
    explicit CKeyTableOrder(const Glib::RefPtr<Gio::ListModel>& keys);
    ~CKeyTableOrder();
    CKeyTableOrder(const CKeyTableOrder&) = delete;
    CKeyTableOrder& operator=(const CKeyTableOrder&) = delete;

    // Every key in sort order, the filter ignored; and the keys the filter lets through, in sort order.
    const std::vector<GObject*>& sorted() const { return m_sorted; }
    const std::vector<GObject*>& shown() const { return m_shown; }

    // Sorts by these columns, the first deciding first. Keys equal in all of them keep their order; none
    // means the document's order.
    void sort_by(const std::vector<SortBy>& columns);
    const std::vector<SortBy>& sorting() const { return m_sorting; }
    // Sorts again by the same columns: the keys' values in them changed (the numbers' shown form).
    void resort() { sort_again({}); }

    // A key text filter (key_text_filter::create), whose walk over many keys the order uses; null shows
    // every key. The order listens to the filter's changes.
    void set_filter(const Glib::RefPtr<Gtk::Filter>& filter);

    // Around each change of the shown keys: before it, shown() is still the old one; after it, the keys
    // from `position` on differ (removed old ones, added new ones).
    sigc::signal<void(guint position, guint removed)>& signal_before_change() { return m_before; }
    sigc::signal<void(guint position, guint removed, guint added)>& signal_after_change() { return m_after; }

private:
    static void on_source_changed(GListModel* source, guint position, guint removed, guint added,
                                  gpointer self);
    static void on_filter_changed(GtkFilter* filter, GtkFilterChange change, gpointer self);
    void source_changed(guint position, guint removed, guint added);
    void sort_again(const std::vector<SortBy>& previous);
    bool less(GObject* a, GObject* b) const;
    bool passes(GObject* key) const;
    // The candidates the filter lets through, in their order.
    std::vector<GObject*> passing(const std::vector<GObject*>& candidates) const;
    // Shows `next` instead of the shown keys, reporting the range that differs.
    void show(std::vector<GObject*>&& next);

    GListModel* m_source;
    gulong m_source_handler = 0;
    std::vector<GObject*> m_in_source_order; // mirrors the source
    std::vector<GObject*> m_sorted;
    std::vector<GObject*> m_shown;
    std::vector<SortBy> m_sorting;
    Glib::RefPtr<Gtk::Filter> m_filter;
    gulong m_filter_handler = 0;
    sigc::signal<void(guint, guint)> m_before;
    sigc::signal<void(guint, guint, guint)> m_after;
};

// How the column view's own sorter orders keys now: its columns, the first deciding first. GTK before 4.10
// does not tell; the sorter is asked to compare made-up keys that differ in one or two columns.
std::vector<CKeyTableOrder::SortBy> view_sorting(const Glib::RefPtr<Gtk::Sorter>& view_sorter);
