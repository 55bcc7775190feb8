// The real window connected to the device simulator's adapter (found by the stand-in library's device
// search), with one database open, for tests of the device commands as a user runs them: actions activated,
// questions answered through their dialogs, dump files chosen through the window's file-chooser seam.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtkmm/messagedialog.h>

#include "WindowFixture.h"
#include "common/TestFiles.h"
#include "keys/KeyNumber.h"
#include "ui/CWorkerQuestion.h"

class DeviceFlowTest : public WindowFixture {
protected:
    using Cmd = CAdapterThread::Cmd;

    void SetUp() override {
        WindowFixture::SetUp();
        m_world = &start_devices();
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

    // Closes what is open and opens database `name` in table 0.
    void reopen(const std::string& name) {
        ASSERT_TRUE(m_window->DoClose(true, {}));
        m_window->OpenDatabases({name});
        ASSERT_TRUE(doc().is_open());
    }

    CKeyDocument& doc() { return m_window->key_document(m_window->GetActiveKeyTable()); }

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
        const bool over = pump_until([&] { return running() == CAdapterThread::CMD_NONE && idle_info(); });
        // The window reads the info text when it takes a notification, so "End" can show one turn of the
        // main loop before the lines the worker reported ahead of it: those are taken too.
        pump_pending();
        return over;
    }
    // The worker shows "End" when a command's exit action has run.
    bool idle_info() { return m_window->status_bar().get_info() == "End"; }

    // The question dialog of the running command (or of the file it works on), once it shows.
    template <class Dialog = Gtk::MessageDialog>
    Dialog* wait_warning(CWorkerQuestion* (CMainWindow::*question)() const) {
        Dialog* dialog = nullptr;
        pump_until([&] {
            CWorkerQuestion* q = (m_window->*question)();
            dialog = q != nullptr ? dynamic_cast<Dialog*>(q->dialog()) : nullptr;
            return dialog != nullptr && dialog->get_visible();
        });
        return dialog;
    }
    Gtk::MessageDialog* wait_worker_warning() { return wait_warning(&CMainWindow::worker_question); }
    Gtk::MessageDialog* wait_file_warning() { return wait_warning(&CMainWindow::file_question); }

    // Answers a question dialog that showed this text.
    static void answer_with(Gtk::MessageDialog* question, const char* text, int response) {
        ASSERT_NE(nullptr, question);
        EXPECT_EQ(text, text_of(question));
        question->response(response);
    }

    std::string window_status() { return m_window->status_bar().get_status().raw(); }
    // The report of a memory dump saved to the file chosen.
    bool dump_saved() {
        return pump_until(
            [&] { return history_has("8192 bytes saved to the file \"" + m_next_file->string() + "\""); });
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
    devsim::CWorld* m_world = nullptr; // the simulated adapter and controllers
    // What the next file chooser answers (nothing: cancelled), and what was asked for.
    std::optional<std::filesystem::path> m_next_file;
    std::vector<bool> m_chooser_saves; // one per file chooser shown: whether it saves
    bool m_shift = false;
};
