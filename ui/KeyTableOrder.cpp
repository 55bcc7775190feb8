#include "ui/KeyTableOrder.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "keys/CKey.h"
#include "keys/TextOrder.h"
#include "ui/CKeyPanelCells.h"
#include "ui/KeyTextFilter.h"

namespace {

using Column = CKeyPanel::Column;

// Up to this many keys added at once are each put in their place; more are sorted in with the rest.
constexpr std::size_t kInsertedOneByOne = 64;

const CKey& key_of(GObject* object) {
    return *CKey::of_instance(object);
}

// One stable pass over keys by a single column: each key's value is read once, then the values are sorted.
template <typename Value, typename Read, typename Less>
void stable_pass(std::vector<GObject*>& keys, Read read, Less less) {
    struct Entry {
        Value value;
        GObject* key;
    };
    std::vector<Entry> entries;
    entries.reserve(keys.size());
    for (GObject* key : keys)
        entries.push_back({read(key_of(key)), key});
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return less(a.value, b.value); });
    for (std::size_t i = 0; i < keys.size(); ++i)
        keys[i] = entries[i].key;
}

void sort_pass(std::vector<GObject*>& keys, CKeyTableOrder::SortBy by) {
    const auto column = static_cast<Column>(by.column);
    if (column == CKeyPanel::KEY_COL_DESCRIPTION) {
        const auto read = [](const CKey& key) { return CCaselessTextKey(key.description().raw()); };
        if (by.descending)
            stable_pass<CCaselessTextKey>(keys, read,
                                          [](const auto& a, const auto& b) { return compare(b, a) < 0; });
        else
            stable_pass<CCaselessTextKey>(keys, read,
                                          [](const auto& a, const auto& b) { return compare(a, b) < 0; });
        return;
    }
    const auto read = [column](const CKey& key) { return key_cells::sort_value(key, column); };
    if (by.descending)
        stable_pass<key_cells::SortValue>(keys, read, [](auto a, auto b) { return b < a; });
    else
        stable_pass<key_cells::SortValue>(keys, read, [](auto a, auto b) { return a < b; });
}

} // namespace

CKeyTableOrder::CKeyTableOrder(const Glib::RefPtr<Gio::ListModel>& keys)
    : m_source(G_LIST_MODEL(g_object_ref(keys->gobj()))) {
    const guint n = g_list_model_get_n_items(m_source);
    m_in_source_order.reserve(n);
    for (guint i = 0; i < n; ++i) {
        auto* key = static_cast<GObject*>(g_list_model_get_item(m_source, i));
        m_in_source_order.push_back(key);
        g_object_unref(key); // the source keeps its own reference
    }
    m_sorted = m_in_source_order;
    m_shown = m_sorted;
    m_source_handler = g_signal_connect(m_source, "items-changed", G_CALLBACK(on_source_changed), this);
}

CKeyTableOrder::~CKeyTableOrder() {
    g_signal_handler_disconnect(m_source, m_source_handler);
    g_object_unref(m_source);
    if (m_filter)
        g_signal_handler_disconnect(m_filter->gobj(), m_filter_handler);
}

bool CKeyTableOrder::less(GObject* a, GObject* b) const {
    const CKey& ka = key_of(a);
    const CKey& kb = key_of(b);
    for (const SortBy& by : m_sorting) {
        const int c = key_cells::compare_in_column(ka, kb, static_cast<Column>(by.column));
        if (c != 0)
            return by.descending ? c > 0 : c < 0;
    }
    return false;
}

bool CKeyTableOrder::passes(GObject* key) const {
    return !m_filter || gtk_filter_match(m_filter->gobj(), key);
}

void CKeyTableOrder::sort_by(const std::vector<SortBy>& columns) {
    if (columns == m_sorting)
        return;
    const std::vector<SortBy> previous = std::exchange(m_sorting, columns);
    sort_again(previous);
}

void CKeyTableOrder::sort_again(const std::vector<SortBy>& previous) {
    std::vector<GObject*> sorted;
    // Sorted by columns c2..cn already: one stable pass by c1 sorts by c1..cn. Otherwise the passes run
    // from the last column to the first, from the document's order.
    std::vector<SortBy> rest(m_sorting.empty() ? m_sorting.begin() : m_sorting.begin() + 1, m_sorting.end());
    std::vector<SortBy> kept = previous;
    if (!m_sorting.empty())
        std::erase_if(kept, [&](const SortBy& by) { return by.column == m_sorting.front().column; });
    if (!m_sorting.empty() && kept == rest) {
        sorted = m_sorted;
        sort_pass(sorted, m_sorting.front());
    } else {
        sorted = m_in_source_order;
        for (auto it = m_sorting.rbegin(); it != m_sorting.rend(); ++it)
            sort_pass(sorted, *it);
    }
    m_sorted = std::move(sorted);
    std::vector<GObject*> shown;
    if (!m_filter) {
        shown = m_sorted;
    } else {
        // The shown keys keep being the shown ones, only in the new order.
        const std::unordered_set<GObject*> was_shown(m_shown.begin(), m_shown.end());
        shown.reserve(m_shown.size());
        for (GObject* key : m_sorted)
            if (was_shown.count(key) != 0)
                shown.push_back(key);
    }
    show(std::move(shown));
}

void CKeyTableOrder::set_filter(const Glib::RefPtr<Gtk::Filter>& filter) {
    if (filter == m_filter)
        return;
    if (m_filter)
        g_signal_handler_disconnect(m_filter->gobj(), m_filter_handler);
    m_filter = filter;
    if (m_filter)
        m_filter_handler = g_signal_connect(m_filter->gobj(), "changed", G_CALLBACK(on_filter_changed), this);
    show(passing(m_sorted));
}

std::vector<GObject*> CKeyTableOrder::passing(const std::vector<GObject*>& candidates) const {
    return m_filter ? key_text_filter::passing(m_filter, candidates) : candidates;
}

void CKeyTableOrder::on_filter_changed(GtkFilter*, GtkFilterChange change, gpointer data) {
    auto* self = static_cast<CKeyTableOrder*>(data);
    // A stricter filter only hides keys: only the shown ones are looked at.
    self->show(self->passing(change == GTK_FILTER_CHANGE_MORE_STRICT ? self->m_shown : self->m_sorted));
}

void CKeyTableOrder::on_source_changed(GListModel*, guint position, guint removed, guint added,
                                       gpointer data) {
    static_cast<CKeyTableOrder*>(data)->source_changed(position, removed, added);
}

void CKeyTableOrder::source_changed(guint position, guint removed, guint added) {
    // Which sorted keys are shown: the shown keys are the sorted ones the filter let through, in order.
    std::vector<bool> was_shown(m_sorted.size());
    for (std::size_t i = 0, j = 0; i < m_sorted.size() && j < m_shown.size(); ++i)
        if (m_shown[j] == m_sorted[i]) {
            was_shown[i] = true;
            ++j;
        }
    // Removed keys may be gone already: they are only told apart by their address.
    std::vector<GObject*> gone(m_in_source_order.begin() + position,
                               m_in_source_order.begin() + position + removed);
    std::sort(gone.begin(), gone.end());
    std::vector<GObject*> fresh;
    fresh.reserve(added);
    for (guint i = 0; i < added; ++i) {
        auto* key = static_cast<GObject*>(g_list_model_get_item(m_source, position + i));
        fresh.push_back(key);
        g_object_unref(key); // the source keeps its own reference
    }
    m_in_source_order.erase(m_in_source_order.begin() + position,
                            m_in_source_order.begin() + position + removed);
    m_in_source_order.insert(m_in_source_order.begin() + position, fresh.begin(), fresh.end());

    struct Entry {
        GObject* key;
        bool shown;
    };
    std::vector<Entry> next;
    next.reserve(m_in_source_order.size());
    const auto add_fresh = [&](GObject* key) { next.push_back({key, passes(key)}); };
    if (m_sorting.empty()) {
        // The sorted keys are in the source's order: the change is at the same place.
        for (guint i = 0; i < position; ++i)
            next.push_back({m_sorted[i], was_shown[i]});
        std::for_each(fresh.begin(), fresh.end(), add_fresh);
        for (std::size_t i = position + removed; i < m_sorted.size(); ++i)
            next.push_back({m_sorted[i], was_shown[i]});
    } else {
        for (std::size_t i = 0; i < m_sorted.size(); ++i)
            if (!std::binary_search(gone.begin(), gone.end(), m_sorted[i]))
                next.push_back({m_sorted[i], was_shown[i]});
        const std::size_t kept = next.size();
        std::for_each(fresh.begin(), fresh.end(), add_fresh);
        if (fresh.size() <= kInsertedOneByOne) {
            // Each new key goes after the keys equal to it, where a sort would have left it.
            for (std::size_t i = kept; i < next.size(); ++i) {
                const auto at =
                    std::upper_bound(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(i), next[i],
                                     [this](const Entry& a, const Entry& b) { return less(a.key, b.key); });
                std::rotate(at, next.begin() + static_cast<std::ptrdiff_t>(i),
                            next.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            }
        } else {
            // Many new keys (a document read in): the whole order is made again.
            std::vector<GObject*> shown_keys;
            for (const Entry& e : next)
                if (e.shown && m_filter)
                    shown_keys.push_back(e.key);
            std::sort(shown_keys.begin(), shown_keys.end());
            std::vector<GObject*> sorted = m_in_source_order;
            for (auto it = m_sorting.rbegin(); it != m_sorting.rend(); ++it)
                sort_pass(sorted, *it);
            next.clear();
            for (GObject* key : sorted)
                next.push_back(
                    {key, !m_filter || std::binary_search(shown_keys.begin(), shown_keys.end(), key)});
        }
    }
    m_sorted.clear();
    std::vector<GObject*> shown;
    shown.reserve(m_filter ? m_shown.size() + added : next.size());
    for (const Entry& e : next) {
        m_sorted.push_back(e.key);
        if (e.shown)
            shown.push_back(e.key);
    }
    show(std::move(shown));
}

void CKeyTableOrder::show(std::vector<GObject*>&& next) {
    const std::size_t old_size = m_shown.size();
    const std::size_t new_size = next.size();
    std::size_t front = 0;
    while (front < old_size && front < new_size && m_shown[front] == next[front])
        ++front;
    std::size_t back = 0;
    while (back < old_size - front && back < new_size - front &&
           m_shown[old_size - 1 - back] == next[new_size - 1 - back])
        ++back;
    if (front == old_size && front == new_size)
        return;
    const auto position = static_cast<guint>(front);
    const auto removed = static_cast<guint>(old_size - front - back);
    const auto added = static_cast<guint>(new_size - front - back);
    m_before.emit(position, removed);
    m_shown = std::move(next);
    m_after.emit(position, removed, added);
}

std::vector<CKeyTableOrder::SortBy> view_sorting(const Glib::RefPtr<Gtk::Sorter>& view_sorter) {
    // Two made-up keys per column, equal but in that column, where the first is the smaller.
    struct Values {
        std::uint32_t id = 1;
        CardType type = CT_EM_MARINE;
        KeyAttr attr = KA_NORMAL;
        CCardUID number{1u, 6};
        bool is_short = false;
        std::int64_t created = 1;
        Glib::ustring description = "a";
    };
    const auto make = [](const Values& v) {
        return CKey::create(v.id, v.type, v.attr, v.number, v.is_short, v.created, v.description);
    };
    const auto with = [](Values v, int column, bool larger) {
        if (!larger)
            return v;
        switch (static_cast<Column>(column)) {
        case CKeyPanel::KEY_COL_ID:
            v.id = 2;
            break;
        case CKeyPanel::KEY_COL_TYPE:
            v.type = CT_DALLAS;
            break;
        case CKeyPanel::KEY_COL_ATTR:
            v.attr = KA_BLOCKING;
            break;
        case CKeyPanel::KEY_COL_NUMBER:
            v.number = CCardUID(2u, 6);
            break;
        case CKeyPanel::KEY_COL_SHORT:
            v.is_short = true;
            break;
        case CKeyPanel::KEY_COL_CREATED:
            v.created = 2;
            break;
        default:
            v.description = "b";
            break;
        }
        return v;
    };
    const auto compare = [&](const Glib::RefPtr<CKey>& a, const Glib::RefPtr<CKey>& b) {
        return gtk_sorter_compare(view_sorter->gobj(), a->gobj(), b->gobj());
    };
    std::vector<CKeyTableOrder::SortBy> found;
    for (int c = 0; c < CKeyPanel::KEY_COL_COUNT; ++c) {
        const int order = compare(make(with({}, c, false)), make(with({}, c, true)));
        if (order != GTK_ORDERING_EQUAL)
            found.push_back({c, order == GTK_ORDERING_LARGER});
    }
    // Which of two sorting columns decides first: a comes first by x's order and b by y's.
    std::stable_sort(found.begin(), found.end(), [&](const auto& x, const auto& y) {
        if (x.column == y.column)
            return false;
        const auto a = make(with(with({}, x.column, x.descending), y.column, !y.descending));
        const auto b = make(with(with({}, x.column, !x.descending), y.column, y.descending));
        return compare(a, b) == GTK_ORDERING_SMALLER;
    });
    return found;
}
