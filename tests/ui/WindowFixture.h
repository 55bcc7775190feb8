// The real main window for tests: built under Xvfb with the in-memory settings backend, a temporary
// configuration folder and a temporary database folder. Tests act through actions and dialogs and wait
// for results by running the real GLib main context until a condition holds (never by sleeping).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <giomm/settings.h>
#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/application.h>
#include <gtkmm/button.h>
#include <gtkmm/frame.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include "keys/CKeyDb.h"
#include "keys/CKeyDocument.h"
#include "settings/CAppSettings.h"
#include "sim/devsim/CWorld.h"
#include "ui/CMainWindow.h"
#include "widgets_TestSupport.h"

class WindowFixture : public ::testing::Test {
protected:
    static constexpr auto kDeadline = std::chrono::seconds(20);

    static void SetUpTestSuite() {
        // The toolkit's test accessibility backend keeps the properties that assistive technology reads.
        setenv("GTK_A11Y", "test", 1);
        // Drawing without OpenGL: Xvfb has no GPU, and the software GL drivers keep memory to the end. The
        // toolkit does not even load them to choose the window's visual.
        setenv("GSK_RENDERER", "cairo", 1);
        setenv("GDK_DEBUG", "gl-disable", 1);
        if (!s_app) {
            s_app = Gtk::Application::create("org.kestrix.KestrixTest", Gio::Application::Flags::NON_UNIQUE);
            s_app->register_application();
        }
    }

    void SetUp() override {
        m_root = make_temp_dir();
        m_db_dir = m_root / "bases";
        std::filesystem::create_directories(m_db_dir);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        m_settings = widgets_test::reset_settings();
        m_settings->set_string("db-dir", m_db_dir.string());
    }

    void TearDown() override {
        if (m_window != nullptr)
            m_window->destroy();
        pump_until([this] { return m_window == nullptr; });
        m_devices.reset();
        unsetenv("RDX_SIM_DIR");
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    // A world folder for the stand-in reader library, with these subfolders.
    std::filesystem::path make_world(std::initializer_list<const char*> folders = {}) {
        const auto world = m_root / "world";
        std::filesystem::create_directories(world);
        for (const char* folder : folders)
            std::filesystem::create_directories(world / folder);
        setenv("RDX_SIM_DIR", world.c_str(), 1);
        return world;
    }
    // The device simulator's adapter, registered in the world folder's device list.
    devsim::CWorld& start_devices(std::initializer_list<const char*> folders = {}) {
        devsim::WorldOptions options;
        options.devices_file = (make_world(folders) / "devices").string();
        m_devices = std::make_unique<devsim::CWorld>(options);
        return *m_devices;
    }

    // Builds and shows the window over the databases made so far.
    CMainWindow& open_window() {
        m_window = Gtk::make_managed<CMainWindow>(s_app);
        m_window->signal_destroy().connect([this] { m_window = nullptr; });
        m_window->present();
        EXPECT_TRUE(pump_until([this] { return m_window->get_mapped(); }));
        return *m_window;
    }

    // The window with these databases open (one or two).
    CMainWindow& open_databases(const std::vector<Glib::ustring>& names) {
        CMainWindow& window = open_window();
        window.OpenDatabases(names);
        return window;
    }

    // Runs the default main context until `condition` holds; false when the deadline passed first.
    static bool pump_until(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = kDeadline) {
        return widgets_test::pump_until(condition, timeout);
    }

    // Runs everything that is ready to run, without waiting.
    static void pump_pending() {
        auto context = Glib::MainContext::get_default();
        while (context->pending())
            context->iteration(false);
    }

    // A database file in the database folder with the keys `fill` adds.
    void make_database_with(const std::string& name, const std::function<void(CKeyDocument&)>& fill) {
        CKeyDocument doc;
        doc.set_filename(m_db_dir / (name + ".dbf"));
        doc.open();
        fill(doc);
        doc.save();
        doc.close(false);
    }
    // A database file in the database folder with `keys` keys.
    void make_database(const std::string& name, int keys = 0) {
        make_database_with(name, [keys](CKeyDocument& doc) {
            for (int i = 0; i < keys; ++i)
                add_key(doc, i + 1);
        });
    }

    static void add_key(CKeyDocument& doc, unsigned int seed) {
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(seed), 0x12, 0x34, 0x56, 0x78, 0x9A};
        const CCardUID number(bytes, sizeof(bytes));
        doc.add_key(doc.generate_key_id(), CT_DALLAS, number, false, KA_NORMAL, "key");
    }
    // n distinct full keys with varied attributes, in the order a controller stores them.
    static void add_distinct_keys(CKeyDocument& doc, unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            const std::uint8_t bytes[] = {
                std::uint8_t(i), std::uint8_t(i >> 8), 0x5A, std::uint8_t(i * 7), 0x01, std::uint8_t(i % 16)};
            doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, sizeof bytes), false,
                        static_cast<KeyAttr>(1 + i % 4), "k");
        }
    }

    // The key list the window hands to a device of this capacity.
    struct ListForWrite {
        std::vector<m6::_db_key> keys;
        unsigned short lock_code = 0;
        unsigned count = 0, duplicates = 0;
    };
    ListForWrite list_for_write(unsigned capacity) {
        ListForWrite list;
        m_window->GetDbForWrite(capacity, list.keys, list.lock_code, list.count, list.duplicates);
        return list;
    }

    int keys_in_file(const std::string& name) const {
        Glib::ustring description;
        int count = -1;
        CKeyDb::GetKeyDbInfo(m_db_dir / (name + ".dbf"), description, count);
        return count;
    }

    void activate(const char* action) { m_window->main_actions()->activate_action(action); }
    bool action_enabled(const char* group, const char* name) {
        if (std::string(group) == "win")
            return m_window->lookup_action(name)->get_enabled();
        return m_window->main_actions()->get_action_enabled(name);
    }

    // The status history, oldest line first; `from` skips the lines shown before.
    std::vector<std::string> history(size_t from = 0) const {
        std::vector<std::string> lines;
        const auto& store = m_window->history();
        for (guint i = static_cast<guint>(from); i < store->get_n_items(); ++i)
            lines.push_back(store->get_item(i)->text().raw());
        return lines;
    }
    bool history_has(const std::string& line, size_t from = 0) const {
        const auto lines = history(from);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    size_t history_size() const { return m_window->history()->get_n_items(); }
    std::string last_history() const {
        const auto lines = history();
        return lines.empty() ? std::string() : lines.back();
    }

    // A message box on the window (a question or a report), once it shows.
    Gtk::MessageDialog* find_question() const {
        for (Gtk::Window* window : Gtk::Window::list_toplevels()) {
            auto* dialog = dynamic_cast<Gtk::MessageDialog*>(window);
            if (dialog != nullptr && dialog->get_visible() && dialog->get_transient_for() == m_window)
                return dialog;
        }
        return nullptr;
    }
    Gtk::MessageDialog* wait_for_question() {
        Gtk::MessageDialog* dialog = nullptr;
        pump_until([&] { return (dialog = find_question()) != nullptr; });
        return dialog;
    }
    static std::string text_of(Gtk::MessageDialog* dialog) {
        return dialog != nullptr ? dialog->property_secondary_text().get_value().raw() : std::string();
    }
    std::string message_text() { return text_of(wait_for_question()); }
    void answer(int response) {
        Gtk::MessageDialog* dialog = wait_for_question();
        ASSERT_NE(nullptr, dialog);
        dialog->response(response);
        pump_until([this] { return find_question() == nullptr; });
    }

    // Widgets found as the user finds them: by the frame they stand in and their visible or accessible name.
    static std::vector<Gtk::Widget*> descendants(Gtk::Widget& top) {
        std::vector<Gtk::Widget*> all;
        for (Gtk::Widget* child = top.get_first_child(); child != nullptr;
             child = child->get_next_sibling()) {
            all.push_back(child);
            const auto below = descendants(*child);
            all.insert(all.end(), below.begin(), below.end());
        }
        return all;
    }
    static bool accessible_label_is(Gtk::Widget& widget, const char* label) {
        char* mismatch = gtk_test_accessible_check_property(GTK_ACCESSIBLE(widget.gobj()),
                                                            GTK_ACCESSIBLE_PROPERTY_LABEL, label);
        const bool match = mismatch == nullptr;
        g_free(mismatch);
        return match;
    }
    Gtk::Frame& frame(const char* label) {
        for (Gtk::Widget* widget : descendants(*m_window))
            if (auto* found = dynamic_cast<Gtk::Frame*>(widget);
                found != nullptr && found->get_label() == label)
                return *found;
        throw std::runtime_error(std::string("no frame ") + label);
    }
    // The control of type T that assistive technology names `label`, inside the frame.
    template <class T>
    T& labelled(const char* frame_label, const char* label) {
        for (Gtk::Widget* widget : descendants(frame(frame_label)))
            if (auto* found = dynamic_cast<T*>(widget);
                found != nullptr && accessible_label_is(*widget, label))
                return *found;
        throw std::runtime_error(std::string("no control ") + label);
    }
    // The button showing `label` under `root`, or nullptr.
    static Gtk::Button* find_button(Gtk::Widget& root, const char* label) {
        for (Gtk::Widget* widget : descendants(root))
            if (auto* found = dynamic_cast<Gtk::Button*>(widget);
                found != nullptr && found->get_label() == label)
                return found;
        return nullptr;
    }
    Gtk::Button& button(const char* frame_label, const char* label) {
        if (Gtk::Button* found = find_button(frame(frame_label), label))
            return *found;
        throw std::runtime_error(std::string("no button ") + label);
    }
    // A click as the button reports it (activating a button would click it only after its pressed-look
    // pause).
    static void click(Gtk::Button& button) { g_signal_emit_by_name(button.gobj(), "clicked"); }

    static std::filesystem::path make_temp_dir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrix-ui-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr)
            throw std::runtime_error("mkdtemp failed");
        return made;
    }

    static inline Glib::RefPtr<Gtk::Application> s_app;
    std::filesystem::path m_root;
    std::filesystem::path m_db_dir;
    Glib::RefPtr<Gio::Settings> m_settings;
    CMainWindow* m_window = nullptr;
    std::unique_ptr<devsim::CWorld> m_devices; // the simulated adapter, once started
};
