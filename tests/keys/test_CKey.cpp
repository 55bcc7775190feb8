// Tests of the key and history rows: notifications only when a property really changes, and the boxed
// property types the key tables bind to.
#include "keys/CHistoryRec.h"
#include "keys/CKey.h"

#include <dlfcn.h>

#include <giomm/init.h>
#include <giomm/liststore.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keys/KeyTestPrint.h"

class CKeyTest : public ::testing::Test {
protected:
    void SetUp() override { Gio::init(); }

    static Glib::RefPtr<CKey> sample() {
        return CKey::create(7, CT_DALLAS, KA_MASTER, CCardUID(0x0A1B2Cull, 6), true, 1700000000, "door");
    }

    // Names of the properties notified on key, in order.
    std::vector<std::string> notified;
    void watch(const Glib::RefPtr<CKey>& key) {
        g_signal_connect(key->gobj(), "notify", G_CALLBACK(+[](GObject*, GParamSpec* ps, gpointer self) {
                             static_cast<CKeyTest*>(self)->notified.emplace_back(ps->name);
                         }),
                         this);
    }
};

TEST_F(CKeyTest, SettersNotifyOnlyRealChanges) {
    auto key = sample();
    watch(key);
    key->set_number(CCardUID(0x0A1B2Cull, 6)); // same value
    key->set_attr(KA_MASTER);
    EXPECT_TRUE(notified.empty());
    key->set_number(CCardUID(0x112233ull, 6));
    key->set_short(false);
    key->set_attr(KA_BLOCKING);
    key->set_card_type(CT_EM_MARINE);
    key->set_created(5);
    key->set_description("gate");
    key->set_key_different(0x4);
    const std::vector<std::string> expected = {"number",  "short",           "attr",         "type",
                                               "created", "key-description", "key-different"};
    EXPECT_EQ(notified, expected);
    EXPECT_EQ(key->number(), CCardUID(0x112233ull, 6));
    EXPECT_EQ(key->description(), "gate");
}

// The key tables bind columns through GTK property expressions; the toolkit is loaded at run time so that
// these tests stay free of a display library at build time.
TEST_F(CKeyTest, PropertyExpressionOnNumberEvaluatesAndWatches) {
    void* gtk = dlopen("libgtk-4.so.1", RTLD_NOW | RTLD_GLOBAL); // kept loaded: GTK cannot be unloaded
    if (!gtk)
        GTEST_SKIP() << "GTK 4 is not installed";
    using NewFn = void* (*)(GType, void*, const char*);
    using EvalFn = gboolean (*)(void*, gpointer, GValue*);
    using WatchFn = void* (*)(void*, gpointer, void (*)(gpointer), gpointer, GDestroyNotify);
    using UnwatchFn = void (*)(void*);
    using UnrefFn = void (*)(void*);
    const auto make = reinterpret_cast<NewFn>(dlsym(gtk, "gtk_property_expression_new"));
    const auto evaluate = reinterpret_cast<EvalFn>(dlsym(gtk, "gtk_expression_evaluate"));
    const auto watch_expr = reinterpret_cast<WatchFn>(dlsym(gtk, "gtk_expression_watch"));
    const auto unwatch = reinterpret_cast<UnwatchFn>(dlsym(gtk, "gtk_expression_watch_unwatch"));
    const auto unref = reinterpret_cast<UnrefFn>(dlsym(gtk, "gtk_expression_unref"));
    ASSERT_TRUE(make && evaluate && watch_expr && unwatch && unref);

    auto key = sample();
    void* expr = make(CKey::object_type(), nullptr, "number");
    ASSERT_NE(expr, nullptr);
    GValue value = G_VALUE_INIT;
    ASSERT_TRUE(evaluate(expr, key->gobj(), &value));
    ASSERT_EQ(G_VALUE_TYPE(&value), Glib::Value<CCardUID>::value_type());
    EXPECT_EQ(*static_cast<const CCardUID*>(g_value_get_boxed(&value)), CCardUID(0x0A1B2Cull, 6));
    g_value_unset(&value);

    int changes = 0;
    void* w = watch_expr(
        expr, key->gobj(), +[](gpointer n) { ++*static_cast<int*>(n); }, &changes, nullptr);
    key->set_number(CCardUID(0x0A1B2Cull, 6));
    EXPECT_EQ(changes, 0);
    key->set_number(CCardUID(0x77ull, 6));
    EXPECT_EQ(changes, 1);
    unwatch(w);
    unref(expr);
}
