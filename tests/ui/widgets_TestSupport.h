// Support for the tests of the window's small widgets and dialogs: GTK start-up under Xvfb, pumping the real
// main loop until a condition holds, finding widgets by what the user sees, and a fresh settings store.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/widget.h>

#include <chrono>
#include <functional>
#include <vector>

#include <giomm/settings.h>
#include <giomm/settingsschema.h>
#include <glib.h>

#include "settings/CAppSettings.h"

namespace widgets_test {

inline void init_gtk() {
    static const bool done = [] {
        // Xvfb has no GPU: GL would run in a software driver whose allocations LeakSanitizer cannot see
        // freed. The widgets under test draw the same through GTK's non-GL renderer.
        g_setenv("GDK_DEBUG", "gl-disable", FALSE);
        g_setenv("GSK_RENDERER", "cairo", FALSE);
        gtk_init();
        Gtk::init_gtkmm_internals();
        return true;
    }();
    (void)done;
}

// A fixture's first member, so that GTK is up before any widget member is built.
struct GtkReady {
    GtkReady() { init_gtk(); }
};

// Runs the default main context until `done` holds or the deadline passes; a short periodic source keeps a
// blocking iteration from waiting past the deadline when nothing else is pending.
inline bool pump_until(const std::function<bool()>& done,
                       std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    const guint tick = g_timeout_add(
        20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && std::chrono::steady_clock::now() < end)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    return done();
}

// Every widget of type T in the tree under `root` (root included), in tree order.
// Only widgets of exactly T's GTK type (or gtkmm's own subtype of it, for widgets made in C++) count: the
// search entry inside a drop-down's popup is no entry of the dialog.
template <class T>
void collect(Gtk::Widget& root, std::vector<T*>& out) {
    const GType type = G_OBJECT_TYPE(root.gobj());
    if (auto* w = dynamic_cast<T*>(&root); w && (type == T::get_type() || type == T::get_base_type()))
        out.push_back(w);
    for (Gtk::Widget* child = root.get_first_child(); child; child = child->get_next_sibling())
        collect(*child, out);
}

template <class T>
std::vector<T*> find_all(Gtk::Widget& root) {
    std::vector<T*> out;
    collect(root, out);
    return out;
}

// The first widget of type T whose `text_of` equals `text`, or nullptr.
template <class T, class TextOf>
T* find_by_text(Gtk::Widget& root, const Glib::ustring& text, TextOf text_of) {
    for (T* w : find_all<T>(root))
        if (text_of(*w) == text)
            return w;
    return nullptr;
}

// The first of the widget's event controllers that wanted accepts, or null; the widget holds it.
inline GtkEventController* find_controller(Gtk::Widget& widget,
                                           const std::function<bool(GtkEventController*)>& wanted) {
    GListModel* controllers = gtk_widget_observe_controllers(widget.gobj());
    GtkEventController* found = nullptr;
    for (guint i = 0; i < g_list_model_get_n_items(controllers) && found == nullptr; ++i) {
        auto* controller = static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
        if (wanted(controller))
            found = controller;
        g_object_unref(controller);
    }
    g_object_unref(controllers);
    return found;
}

// Resets every key of the schema in the in-memory backend and creates g_AppSet, so each test starts from
// the schema's defaults.
// The memory backend lives as long as the process: every test starts from the defaults.
inline Glib::RefPtr<Gio::Settings> reset_settings() {
    auto settings = Gio::Settings::create(CAppSettings::kSchemaId);
    Glib::RefPtr<Gio::SettingsSchema> schema;
    settings->get_property("settings-schema", schema);
    for (const auto& key : schema->list_keys())
        settings->reset(key);
    return settings;
}

class AppSettingsScope {
public:
    AppSettingsScope() {
        reset_settings();
        g_AppSet = std::make_unique<CAppSettings>();
    }
    ~AppSettingsScope() { g_AppSet.reset(); }
};

} // namespace widgets_test
