// The order of a key table against plain oracles: after any run of sorts, filters and changes of the keys,
// the sorted keys are the store's keys in the sort order, the shown ones are exactly those the filter
// passes, and every change was reported with a range that covers all it changed.
#include "ui/KeyTableOrder.h"

#include <gtest/gtest.h>
#include <gtkmm/columnview.h>
#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/init.h>
#include <gtkmm/multisorter.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "ui/CKeyPanelCells.h"
#include "ui/KeyTextFilter.h"
#include "widgets_TestSupport.h"

namespace {

using SortBy = CKeyTableOrder::SortBy;

// Few distinct values per column, so that sorts meet ties in every column.
Glib::RefPtr<CKey> random_key(std::mt19937& random, std::uint32_t id) {
    static const char* const kWords[] = {"Flat 1", "flat 1", "Gate", "gate B", "Ёлка", "ёлка 2", ""};
    const auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    return CKey::create(id, pick(2) ? CT_DALLAS : CT_EM_MARINE, static_cast<KeyAttr>(1 + pick(3)),
                        pick(5) ? CCardUID(0xA0u + pick(6), 6) : CCardUID(), pick(2) == 0,
                        static_cast<std::int64_t>(pick(4)) - 1, kWords[pick(7)]);
}

int chain_compare(const std::vector<SortBy>& chain, GObject* a, GObject* b) {
    for (const SortBy& by : chain) {
        const int c = key_cells::compare_in_column(*CKey::of_instance(a), *CKey::of_instance(b),
                                                   static_cast<CKeyPanel::Column>(by.column));
        if (c != 0)
            return by.descending ? -c : c;
    }
    return 0;
}

std::vector<GObject*> items_of(const Glib::RefPtr<Gio::ListStore<CKey>>& store) {
    std::vector<GObject*> items;
    for (guint i = 0; i < store->get_n_items(); ++i)
        items.push_back(G_OBJECT(store->get_item(i)->gobj()));
    return items;
}

TEST(KeyTableOrderTest, FollowsSortsFiltersAndEveryChangeOfTheKeys) {
    Gtk::init_gtkmm_internals();
    std::mt19937 random(11);
    auto store = Gio::ListStore<CKey>::create();
    std::uint32_t next_id = 1;
    for (int i = 0; i < 40; ++i)
        store->append(random_key(random, next_id++));
    CKeyTableOrder order(store);
    auto filter = key_text_filter::create();

    // Each reported change: outside its range the shown keys are the ones before it.
    std::vector<GObject*> before;
    guint reported_position = 0;
    guint reported_removed = 0;
    bool bad_range = false;
    order.signal_before_change().connect([&](guint position, guint removed) {
        before = order.shown();
        reported_position = position;
        reported_removed = removed;
    });
    order.signal_after_change().connect([&](guint position, guint removed, guint added) {
        const auto& after = order.shown();
        bad_range =
            bad_range || position != reported_position || removed != reported_removed ||
            before.size() - removed + added != after.size() ||
            !std::equal(before.begin(), before.begin() + position, after.begin()) ||
            !std::equal(before.begin() + position + removed, before.end(), after.begin() + position + added);
    });

    bool filtering = false;
    static const char* const kTexts[] = {"f", "fl", "flat", "A", "00A", "ёл", "ЁЛКА", "gate b", "zzz"};
    for (int step = 0; step < 250; ++step) {
        switch (random() % 5) {
        case 0: { // a sort by up to three columns
            std::vector<int> columns(CKeyPanel::KEY_COL_COUNT);
            std::iota(columns.begin(), columns.end(), 0);
            std::shuffle(columns.begin(), columns.end(), random);
            std::vector<SortBy> chain;
            for (unsigned i = 0, n = random() % 4; i < n; ++i)
                chain.push_back({columns[i], random() % 2 == 0});
            order.sort_by(chain);
            break;
        }
        case 1: // one column's direction turned, the others kept
            if (!order.sorting().empty()) {
                auto chain = order.sorting();
                chain.front().descending = !chain.front().descending;
                order.sort_by(chain);
            }
            break;
        case 2: // a filter text typed, changed or cleared
            filtering = random() % 4 != 0;
            key_text_filter::set_text(filter, filtering ? kTexts[random() % std::size(kTexts)] : "");
            order.set_filter(filtering ? filter : Glib::RefPtr<Gtk::Filter>());
            break;
        default: { // keys removed, added or replaced
            const guint count = store->get_n_items();
            const guint position = static_cast<guint>(random() % (count + 1));
            const guint removed = static_cast<guint>(random() % std::min<guint>(count - position + 1, 4));
            std::vector<Glib::RefPtr<CKey>> added;
            // Now and then a whole document at once.
            const unsigned n = random() % 20 == 0 ? 100 : random() % 4;
            for (unsigned i = 0; i < n; ++i)
                added.push_back(random_key(random, next_id++));
            store->splice(position, removed, added);
            break;
        }
        }
        ASSERT_FALSE(bad_range) << "step " << step
                                << ": a change reported with a range that misses some of it";

        auto in_store = items_of(store);
        auto sorted = order.sorted();
        ASSERT_TRUE(
            std::is_sorted(sorted.begin(), sorted.end(),
                           [&](GObject* a, GObject* b) { return chain_compare(order.sorting(), a, b) < 0; }))
            << "step " << step;
        if (order.sorting().empty()) {
            ASSERT_EQ(in_store, sorted) << "step " << step << ": unsorted keys keep the document's order";
        }
        std::sort(in_store.begin(), in_store.end());
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(in_store, sorted) << "step " << step << ": the sorted keys are the store's keys";

        std::vector<GObject*> passing;
        for (GObject* key : order.sorted())
            if (!filtering || gtk_filter_match(filter->gobj(), key))
                passing.push_back(key);
        ASSERT_EQ(passing, order.shown())
            << "step " << step << ": the shown keys are those the filter passes";
    }
}

// Sorters as the view's columns have them, and keys with ties in every column.
struct ViewSorting : ::testing::Test {
    void SetUp() override {
        std::mt19937 random(5);
        for (std::uint32_t id = 1; id <= 30; ++id)
            keys.push_back(random_key(random, id % 3 + 1)); // the id column has ties too
        for (int c = 0; c < CKeyPanel::KEY_COL_COUNT; ++c) {
            auto column = Gtk::ColumnViewColumn::create("c");
            column->set_sorter(key_cells::make_sorter(static_cast<CKeyPanel::Column>(c)));
            view.append_column(column);
            columns.push_back(column);
        }
    }

    // The chain read from the sorter orders every pair of keys as the sorter itself does.
    void expect_same_order(const Glib::RefPtr<Gtk::Sorter>& sorter, std::size_t chain_length) {
        const auto chain = view_sorting(sorter);
        EXPECT_EQ(chain_length, chain.size());
        for (const auto& a : keys)
            for (const auto& b : keys) {
                const int expected = gtk_sorter_compare(sorter->gobj(), a->gobj(), b->gobj());
                const int got = chain_compare(chain, G_OBJECT(a->gobj()), G_OBJECT(b->gobj()));
                ASSERT_EQ(expected, (got > 0) - (got < 0));
            }
    }

    widgets_test::GtkReady gtk;
    std::vector<Glib::RefPtr<CKey>> keys;
    Gtk::ColumnView view;
    std::vector<Glib::RefPtr<Gtk::ColumnViewColumn>> columns;
};

TEST_F(ViewSorting, IsReadFromTheViewsSorter) {
    expect_same_order(view.get_sorter(), 0);
    view.sort_by_column(columns[CKeyPanel::KEY_COL_NUMBER], Gtk::SortType::DESCENDING);
    expect_same_order(view.get_sorter(), 1);
    view.sort_by_column(columns[CKeyPanel::KEY_COL_DESCRIPTION], Gtk::SortType::ASCENDING);
    expect_same_order(view.get_sorter(), view_sorting(view.get_sorter()).size());
    EXPECT_EQ(CKeyPanel::KEY_COL_DESCRIPTION, view_sorting(view.get_sorter()).front().column);

    // Several columns, the first deciding first, in any order of the columns' own positions.
    auto chain = Gtk::MultiSorter::create();
    for (int c : {CKeyPanel::KEY_COL_ATTR, CKeyPanel::KEY_COL_CREATED, CKeyPanel::KEY_COL_ID,
                  CKeyPanel::KEY_COL_TYPE})
        chain->append(key_cells::make_sorter(static_cast<CKeyPanel::Column>(c)));
    expect_same_order(chain, 4);
}

} // namespace
