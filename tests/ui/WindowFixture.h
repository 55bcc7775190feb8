// The real main window for tests: built under Xvfb with the in-memory settings backend, a temporary
// configuration folder and a temporary database folder. Tests act through actions and dialogs and wait
// for results by running the real GLib main context until a condition holds (never by sleeping).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <giomm/settings.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include "keys/CKeyDb.h"
#include "keys/CKeyDocument.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

class WindowFixture : public ::testing::Test {
protected:
    static constexpr auto kDeadline = std::chrono::seconds(20);

    static void SetUpTestSuite() {
        // The toolkit's test accessibility backend keeps the properties that assistive technology reads.
        setenv("GTK_A11Y", "test", 1);
        // Drawing without OpenGL: Xvfb has no GPU, and the software GL drivers keep memory to the end.
        setenv("GSK_RENDERER", "cairo", 1);
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
        // The memory backend lives as long as the process: every test starts from the defaults.
        m_settings = Gio::Settings::create(CAppSettings::kSchemaId);
        GSettingsSchema* schema = nullptr;
        g_object_get(m_settings->gobj(), "settings-schema", &schema, nullptr);
        gchar** keys = g_settings_schema_list_keys(schema);
        for (gchar** key = keys; *key != nullptr; ++key)
            m_settings->reset(*key);
        g_strfreev(keys);
        g_settings_schema_unref(schema);
        m_settings->set_string("db-dir", m_db_dir.string());
    }

    void TearDown() override {
        if (m_window != nullptr)
            m_window->destroy();
        pump_until([this] { return m_window == nullptr; });
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }

    // Builds and shows the window over the databases made so far.
    CMainWindow& open_window() {
        m_window = Gtk::make_managed<CMainWindow>(s_app);
        m_window->signal_destroy().connect([this] { m_window = nullptr; });
        m_window->present();
        EXPECT_TRUE(pump_until([this] { return m_window->get_mapped(); }));
        return *m_window;
    }

    // Runs the default main context until `condition` holds; false when the deadline passed first.
    static bool pump_until(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout = kDeadline) {
        auto context = Glib::MainContext::get_default();
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        // A periodic source so that waiting for events always wakes up to check the condition again.
        auto tick = Glib::signal_timeout().connect([] { return true; }, 20);
        bool met = condition();
        while (!met && std::chrono::steady_clock::now() < deadline) {
            context->iteration(true);
            met = condition();
        }
        tick.disconnect();
        return met;
    }

    // Runs everything that is ready to run, without waiting.
    static void pump_pending() {
        auto context = Glib::MainContext::get_default();
        while (context->pending())
            context->iteration(false);
    }

    // A database file in the database folder with `keys` keys.
    void make_database(const std::string& name, int keys = 0) {
        CKeyDocument doc;
        doc.set_filename(m_db_dir / (name + ".dbf"));
        doc.open();
        for (int i = 0; i < keys; ++i)
            add_key(doc, i + 1);
        doc.save();
        doc.close(false);
    }

    static void add_key(CKeyDocument& doc, unsigned int seed) {
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(seed), 0x12, 0x34, 0x56, 0x78, 0x9A};
        const CCardUID number(bytes, sizeof(bytes));
        doc.add_key(doc.generate_key_id(), CT_DALLAS, number, false, KA_NORMAL, "key");
    }

    int keys_in_file(const std::string& name) const {
        Glib::ustring description;
        int count = -1;
        CKeyDb::GetKeyDbInfo(m_db_dir / (name + ".dbf"), description, count);
        return count;
    }

    // The save question on the window, once it shows.
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

    bool action_enabled(const char* group, const char* name) {
        if (std::string(group) == "win")
            return m_window->lookup_action(name)->get_enabled();
        return m_window->main_actions()->get_action_enabled(name);
    }

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
};
