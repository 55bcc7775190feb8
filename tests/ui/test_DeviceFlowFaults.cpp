// What goes wrong around a device command, seen from the window: a question whose command is broken, replaced
// or lost is withdrawn and a late answer lands nowhere; an adapter unplugged in the middle of a command
// leaves every action usable and the document as it was; a dump file that cannot be read or written is
// reported in the window.
#include "test_DeviceFlowFixture.h"

namespace {

constexpr const char* kAdapterActions[] = {
    "ds1996_prepare", "ds1996_from_db", "ds1996_to_db", "ds1996_from_file", "ds1996_to_file",
    "emu_from_db",    "emu_to_db",      "q4t_clear",    "q4t_from_db",      "q4t_to_db",
    "q4t_from_file",  "q4t_to_file",    "q4t_test",     "q4t_format"};

class DeviceFaultsTest : public DeviceFlowTest {
protected:
    // Every adapter action can be used, none shows as running, and no question is left.
    void expect_window_usable() {
        ASSERT_TRUE(pump_until([&] {
            for (const char* action : kAdapterActions)
                if (toggle_on(action))
                    return false;
            return running() == CAdapterThread::CMD_NONE && m_window->worker_question() == nullptr;
        })) << "a command still shows as running";
        for (const char* action : kAdapterActions)
            EXPECT_TRUE(action_enabled("main", action)) << action;
    }

    // A document of 1400 keys: writing it to an 8 KB controller asks about its capacity.
    Gtk::MessageDialog* ask_capacity_question() {
        make_database_with("base", [](CKeyDocument& d) { add_distinct_keys(d, 1400); });
        open_connected();
        activate("q4t_from_db");
        return wait_worker_warning();
    }
};

TEST_F(DeviceFaultsTest, AQuestionIsWithdrawnWhenItsCommandIsBroken) {
    Gtk::MessageDialog* question = ask_capacity_question();
    ASSERT_NE(nullptr, question);
    const auto before = m_world->controller_memory();
    activate("q4t_from_db");
    EXPECT_FALSE(question->get_visible());
    EXPECT_EQ(nullptr, m_window->worker_question());
    // An OK that was already on its way when the command went.
    question->response(Gtk::ResponseType::OK);
    expect_window_usable();
    EXPECT_EQ(before, m_world->controller_memory());
}

// The worker moved on to another command before the window heard of it: a Cancel for the old question must
// not cancel the new command.
TEST_F(DeviceFaultsTest, ALateAnswerNeverReachesTheNextCommand) {
    Gtk::MessageDialog* question = ask_capacity_question();
    ASSERT_NE(nullptr, question);
    m_window->status_bar().set_info("");
    m_window->adapter().StartQ4tTest();
    question->response(Gtk::ResponseType::CANCEL);
    ASSERT_TRUE(pump_until([&] { return history_has("No errors found"); })) << last_history();
    EXPECT_EQ(nullptr, m_window->worker_question());
}

TEST_F(DeviceFaultsTest, AQuestionIsWithdrawnWhenTheAdapterVanishes) {
    Gtk::MessageDialog* question = ask_capacity_question();
    ASSERT_NE(nullptr, question);
    // Held here: the window deletes a withdrawn question.
    GtkWidget* held = GTK_WIDGET(g_object_ref(question->gobj()));
    m_world->vanish();
    expect_window_usable();
    EXPECT_FALSE(gtk_widget_get_visible(held));
    g_object_unref(held);
}

struct LostCase {
    const char* action;
    CAdapterThread::Cmd cmd;
};

// The adapter is unplugged halfway through a write and through a read; afterwards the window is ready for the
// next command, which runs once the adapter is back, and the document is untouched.
TEST_F(DeviceFaultsTest, AnAdapterLostMidCommandLeavesTheWindowUsableAndTheDocumentUntouched) {
    for (const LostCase c : {LostCase{"q4t_from_db", CAdapterThread::CMD_Q4T_FROM_DB},
                             LostCase{"q4t_to_db", CAdapterThread::CMD_Q4T_TO_DB}}) {
        SCOPED_TRACE(c.action);
        m_world->set_controller_type(4);
        m_world->clear_faults();
        if (m_window == nullptr) {
            make_database_with("base", [](CKeyDocument& d) { add_distinct_keys(d, 1000); });
            open_connected();
        }
        const auto rows = rows_of(doc());
        m_world->vanish_after(40);
        activate(c.action);
        EXPECT_TRUE(toggle_on(c.action));
        ASSERT_TRUE(pump_until([&] { return m_world->vanished(); }));
        expect_window_usable();
        EXPECT_TRUE(rows == rows_of(doc()));
        EXPECT_FALSE(doc().is_modified());

        m_world->restore();
        ASSERT_TRUE(pump_until([&] {
            return m_window->adapter().GetConnectStatus() == CONNECTION_CONNECTED;
        })) << window_status();
        m_window->status_bar().set_info("");
        ASSERT_TRUE(run_action("q4t_clear", CAdapterThread::CMD_Q4T_CLEAR));
        EXPECT_TRUE(history_has("Cleaning completed successfully"));
    }
}

TEST_F(DeviceFaultsTest, ADumpFileThatCannotBeReadIsReportedInTheWindow) {
    open_connected();
    m_next_file = m_root / "missing.bin";
    for (const char* action : {"q4t_from_file", "ds1996_from_file"}) {
        SCOPED_TRACE(action);
        const std::string text = "Cannot open file: " + m_next_file->string();
        const size_t before = history_size();
        activate(action);
        EXPECT_EQ(text, message_text());
        EXPECT_TRUE(history_has(text, before));
        EXPECT_EQ(CAdapterThread::CMD_NONE, running());
        answer(Gtk::ResponseType::OK);
    }
}

TEST_F(DeviceFaultsTest, ADumpFileThatCannotBeWrittenIsReportedInTheWindow) {
    open_connected();
    m_next_file = m_root / "no-such-folder" / "dump.bin";
    ASSERT_TRUE(run_action("q4t_to_file", CAdapterThread::CMD_Q4T_TO_FILE));
    const std::string text = "Cannot open file for writing: " + m_next_file->string();
    EXPECT_EQ(text, message_text());
    EXPECT_TRUE(history_has(text));
    answer(Gtk::ResponseType::OK);
    expect_window_usable();
}

} // namespace
