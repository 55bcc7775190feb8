// The array mirror of a list model: after any run of changes it holds the source's items in order, and it
// passes each change on as it came.
#include "ui/ArrayListModel.h"

#include <giomm/init.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Change {
    guint position, removed, added;
    bool operator==(const Change&) const = default;
};

void record_change(GListModel*, guint position, guint removed, guint added, gpointer data) {
    static_cast<std::vector<Change>*>(data)->push_back({position, removed, added});
}

std::vector<GObject*> items_of(GListModel* model) {
    std::vector<GObject*> items;
    for (guint i = 0, n = g_list_model_get_n_items(model); i < n; ++i) {
        auto* item = static_cast<GObject*>(g_list_model_get_item(model, i));
        items.push_back(item);
        g_object_unref(item);
    }
    return items;
}

TEST(ArrayListModelTest, FollowsEveryChangeOfItsSource) {
    Gio::init();
    GListStore* source = g_list_store_new(G_TYPE_OBJECT);
    std::vector<GObject*> objects;
    for (int i = 0; i < 40; ++i)
        objects.push_back(static_cast<GObject*>(g_object_new(G_TYPE_OBJECT, nullptr)));
    for (int i = 0; i < 10; ++i)
        g_list_store_append(source, objects[i]);

    auto mirror = array_list_model::create(Glib::wrap(G_LIST_MODEL(source), true));
    std::vector<Change> seen;
    std::vector<Change> expected;
    g_signal_connect(mirror->gobj(), "items-changed", G_CALLBACK(record_change), &seen);
    g_signal_connect(source, "items-changed", G_CALLBACK(record_change), &expected);
    ASSERT_EQ(items_of(G_LIST_MODEL(source)), items_of(mirror->gobj()));

    std::mt19937 random(3);
    for (int step = 0; step < 200; ++step) {
        const guint count = g_list_model_get_n_items(G_LIST_MODEL(source));
        const guint position = random() % (count + 1);
        const guint removed = random() % (count - position + 1);
        std::vector<gpointer> added(random() % 4);
        for (auto& item : added)
            item = objects[random() % objects.size()];
        g_list_store_splice(source, position, removed, added.data(), static_cast<guint>(added.size()));
        ASSERT_EQ(items_of(G_LIST_MODEL(source)), items_of(mirror->gobj())) << "step " << step;
    }
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(nullptr, g_list_model_get_item(mirror->gobj(), g_list_model_get_n_items(mirror->gobj())));
    mirror.reset();
    g_object_unref(source);
    for (GObject* object : objects) {
        EXPECT_EQ(1u, object->ref_count) << "the mirror keeps no reference once it is gone";
        g_object_unref(object);
    }
}

} // namespace
