// The real window connected to the device simulator's adapter (found by the stand-in library's device
// search), with one database open, for tests of the device commands as a user runs them: actions activated,
// questions answered through their dialogs, dump files chosen through the window's file-chooser seam.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtkmm/messagedialog.h>

#include "WindowFixture.h"
#include "keys/KeyNumber.h"
#include "sim/devsim/CWorld.h"
#include "ui/CWorkerQuestion.h"

class DeviceFlowTest : public WindowFixture {
protected:
    using Cmd = CAdapterThread::Cmd;

    void SetUp() override {
        WindowFixture::SetUp();
        m_world_dir = m_root / "world";
        std::filesystem::create_directories(m_world_dir);
        setenv("RDX_SIM_DIR", m_world_dir.c_str(), 1);
        devsim::WorldOptions options;
        options.devices_file = (m_world_dir / "devices").string();
        m_world = std::make_unique<devsim::CWorld>(options);
        // Every question is asked: the settings could have switched them off.
        m_settings->reset("lock-time-confirm");
        m_settings->reset("key-list-confirm");
    }
    void TearDown() override {
        WindowFixture::TearDown();
        m_world.reset();
        unsetenv("RDX_SIM_DIR");
    }

    // The window with database `name` open and the adapter connected.
    CMainWindow& open_connected(const std::string& name = "base") {
        if (!std::filesystem::exists(m_db_dir / (name + ".dbf")))
            make_database(name);
        CMainWindow& window = open_window();
        window.OpenDatabases({name});
        EXPECT_TRUE(pump_until([&] { return window.key_document(0).is_open(); }));
        EXPECT_TRUE(pump_until([&] { return window.adapter().GetConnectStatus() == CONNECTION_CONNECTED; }))
            << window.status_bar().get_status();
        // File choosers are answered by the test.
        window.set_file_chooser(
            [this](const CMainWindow::FileRequest& request, CMainWindow::FileChosenSlot done) {
                m_chooser_saves.push_back(request.save);
                const auto path = m_next_file;
                Glib::signal_idle().connect_once([done, path] { done(path); });
            });
        window.set_shift_probe([this] { return m_shift; });
        return window;
    }

    // A database file with the keys `fill` adds.
    void make_database_with(const std::string& name, const std::function<void(CKeyDocument&)>& fill) {
        CKeyDocument d;
        d.set_filename(m_db_dir / (name + ".dbf"));
        d.open();
        fill(d);
        d.save();
        d.close(false);
    }
    // Closes what is open and opens database `name` in table 0.
    void reopen(const std::string& name) {
        ASSERT_TRUE(m_window->DoClose(true, {}));
        m_window->OpenDatabases({name});
        ASSERT_TRUE(doc().is_open());
    }

    CKeyDocument& doc() { return m_window->key_document(m_window->GetActiveKeyTable()); }

    void activate(const char* action) { m_window->main_actions()->activate_action(action); }
    bool toggle_on(const char* action) {
        bool on = false;
        m_window->main_actions()->get_action_state(action, on);
        return on;
    }
    Cmd running() { return m_window->adapter().GetCurrentCmd(); }

    // Starts the action and waits until its command is over (and every notification was taken).
    bool run_action(const char* action, Cmd cmd) {
        const auto before = history_size();
        // The info field shows "End" again once this command's exit action has run.
        m_window->status_bar().set_info("");
        activate(action);
        const bool started = pump_until([&] { return running() == cmd || history_size() > before; });
        return started && wait_command_over();
    }
    bool wait_command_over() {
        return pump_until([&] { return running() == CAdapterThread::CMD_NONE && idle_info(); });
    }
    // The worker shows "End" when a command's exit action has run.
    bool idle_info() { return m_window->status_bar().get_info() == "End"; }

    // The question dialog of the running command, once it shows.
    Gtk::MessageDialog* wait_worker_warning() {
        Gtk::MessageDialog* dialog = nullptr;
        pump_until([&] {
            CWorkerQuestion* q = m_window->worker_question();
            dialog = q != nullptr ? dynamic_cast<Gtk::MessageDialog*>(q->dialog()) : nullptr;
            return dialog != nullptr && dialog->get_visible();
        });
        return dialog;
    }
    Gtk::MessageDialog* wait_file_warning() {
        Gtk::MessageDialog* dialog = nullptr;
        pump_until([&] {
            CWorkerQuestion* q = m_window->file_question();
            dialog = q != nullptr ? dynamic_cast<Gtk::MessageDialog*>(q->dialog()) : nullptr;
            return dialog != nullptr && dialog->get_visible();
        });
        return dialog;
    }
    static std::string text_of(Gtk::MessageDialog* dialog) {
        return dialog != nullptr ? dialog->property_secondary_text().get_value().raw() : std::string();
    }

    std::string window_status() { return m_window->status_bar().get_status().raw(); }

    guint history_size() { return m_window->history()->get_n_items(); }
    std::vector<std::string> history_lines(guint from = 0) {
        std::vector<std::string> lines;
        for (guint i = from; i < history_size(); ++i)
            lines.push_back(m_window->history()->get_item(i)->text().raw());
        return lines;
    }
    bool history_has(const std::string& text, guint from = 0) {
        for (const auto& line : history_lines(from))
            if (line == text)
                return true;
        return false;
    }

    // Keys of the document as (number, short, attribute), in store order.
    struct KeyRow {
        CCardUID number;
        bool is_short;
        KeyAttr attr;
        bool operator==(const KeyRow& o) const {
            return compare_key_numbers(number, is_short, o.number, o.is_short) == 0 &&
                   is_short == o.is_short && attr == o.attr;
        }
    };
    std::vector<KeyRow> rows_of(const CKeyDocument& d) {
        std::vector<KeyRow> rows;
        for (guint i = 0; i < d.get_keys()->get_n_items(); ++i) {
            const auto key = d.get_keys()->get_item(i);
            rows.push_back({key->number(), key->is_short(), key->attr()});
        }
        return rows;
    }

    static CCardUID full_number(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d = 0x56,
                                std::uint8_t e = 0x01, std::uint8_t f = 0x00) {
        const std::uint8_t bytes[] = {a, b, c, d, e, f};
        return CCardUID(bytes, sizeof(bytes));
    }
    static CCardUID short_number(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
        const std::uint8_t bytes[] = {a, b, c};
        return CCardUID(bytes, sizeof(bytes));
    }
    // n distinct full keys with varied attributes, as a controller stores them.
    static void add_distinct_keys(CKeyDocument& d, unsigned n) {
        for (unsigned i = 0; i < n; ++i)
            d.add_key(d.generate_key_id(), CT_DALLAS,
                      full_number(std::uint8_t(i), std::uint8_t(i >> 8), 0x5A, std::uint8_t(i * 7), 0x01,
                                  std::uint8_t(i % 16)),
                      false, static_cast<KeyAttr>(1 + i % 4), "k");
    }

    static std::vector<std::uint8_t> file_bytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>());
    }
    static void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path m_world_dir;
    std::unique_ptr<devsim::CWorld> m_world;
    // What the next file chooser answers (nothing: cancelled), and what was asked for.
    std::optional<std::filesystem::path> m_next_file;
    std::vector<bool> m_chooser_saves; // one per file chooser shown: whether it saves
    bool m_shift = false;
};
