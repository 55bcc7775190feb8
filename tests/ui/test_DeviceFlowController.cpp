// The controller commands run from the window against the simulated Q-4T: key lists written and read back
// through the documents, dump files saved and loaded through the file chooser, memory test and formatting,
// and a running command broken by a second activation of its action.
#include "test_DeviceFlowFixture.h"

#include "common/HexDiff.h"

namespace {

std::vector<devsim::SimKey> sim_keys(unsigned n) {
    std::vector<devsim::SimKey> keys;
    for (unsigned i = 0; i < n; ++i)
        keys.push_back(
            {{std::uint8_t(i), std::uint8_t(i >> 8), 0x3C, std::uint8_t(i * 5), 0x02, std::uint8_t(i % 16)},
             false,
             int(1 + i % 4)});
    return keys;
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Database to controller, the controller's memory dumped to a file and compared byte for byte with the
// simulator's, and the controller read back into an empty database: the same keys in the same order.
TEST_F(DeviceFlowTest, AControllerRoundTripThroughTheWindowKeepsEveryKey) {
    make_database_with("source", [](CKeyDocument& d) {
        add_distinct_keys(d, 300);
        d.add_key(d.generate_key_id(), CT_DALLAS, short_number(0x11, 0x22, 0x33), true, KA_MASTER, "short");
    });
    CMainWindow& window = open_connected("source");
    const auto source_rows = rows_of(doc());
    ASSERT_TRUE(run_action("q4t_from_db", CAdapterThread::CMD_Q4T_FROM_DB));
    EXPECT_TRUE(starts_with(last_history(), "Recording has completed successfully (")) << last_history();
    EXPECT_EQ(301u, m_world->controller_keys().size());

    m_next_file = m_root / "controller.bin";
    ASSERT_TRUE(run_action("q4t_to_file", CAdapterThread::CMD_Q4T_TO_FILE));
    ASSERT_TRUE(dump_saved()) << last_history();
    ASSERT_EQ(std::vector{true}, m_chooser_saves);
    EXPECT_BYTES_EQ(m_world->controller_memory(), test::read_bytes(*m_next_file));

    reopen("empty");
    ASSERT_TRUE(run_action("q4t_to_db", CAdapterThread::CMD_Q4T_TO_DB));
    ASSERT_TRUE(pump_until([&] { return history_has("301 keys read: 301 added, 0 repeated"); }));
    const auto read_rows = rows_of(doc());
    ASSERT_EQ(source_rows.size(), read_rows.size());
    for (size_t i = 0; i < source_rows.size(); ++i)
        EXPECT_TRUE(source_rows[i] == read_rows[i]) << "key " << i;
    EXPECT_TRUE(doc().is_modified());
    EXPECT_FALSE(toggle_on("q4t_to_db"));
    (void)window;
}

// A dump file goes back into the controller as it was saved; one that is longer than the memory asks first,
// naming the bytes that fit.
TEST_F(DeviceFlowTest, ADumpFileIsWrittenBackAndALongerOneAsksFirst) {
    m_world->set_controller_keys(sim_keys(40));
    open_connected();
    m_next_file = m_root / "saved.bin";
    ASSERT_TRUE(run_action("q4t_to_file", CAdapterThread::CMD_Q4T_TO_FILE));
    ASSERT_TRUE(dump_saved() && std::filesystem::exists(*m_next_file));
    const auto saved = test::read_bytes(*m_next_file);

    m_world->set_controller_keys(sim_keys(3));
    ASSERT_TRUE(run_action("q4t_from_file", CAdapterThread::CMD_Q4T_FROM_FILE));
    EXPECT_BYTES_EQ(saved, m_world->controller_memory());

    auto longer = saved;
    longer.resize(saved.size() + 100, 0xFF);
    m_next_file = m_root / "longer.bin";
    test::write_bytes(*m_next_file, longer);
    m_world->set_controller_keys(sim_keys(3));
    activate("q4t_from_file");
    Gtk::MessageDialog* question = wait_worker_warning();
    ASSERT_NE(nullptr, question);
    EXPECT_EQ("The memory is limited, maximum 8192 bytes", text_of(question));
    EXPECT_TRUE(toggle_on("q4t_from_file"));
    question->response(Gtk::ResponseType::OK);
    ASSERT_TRUE(wait_command_over());
    EXPECT_BYTES_EQ(saved, m_world->controller_memory());
}

TEST_F(DeviceFlowTest, ClearingTestingAndFormattingReportTheirResults) {
    m_world->set_controller_keys(sim_keys(25));
    open_connected();
    ASSERT_TRUE(run_action("q4t_clear", CAdapterThread::CMD_Q4T_CLEAR));
    EXPECT_TRUE(history_has("Cleaning completed successfully"));
    EXPECT_TRUE(m_world->controller_keys().empty());

    ASSERT_TRUE(run_action("q4t_test", CAdapterThread::CMD_Q4T_TEST));
    EXPECT_TRUE(pump_until([&] { return history_has("No errors found"); })) << last_history();

    ASSERT_TRUE(run_action("q4t_format", CAdapterThread::CMD_Q4T_FORMAT));
    EXPECT_TRUE(pump_until([&] { return window_status() == "Recording has completed successfully"; }))
        << window_status();
    for (const char* action : {"q4t_clear", "q4t_test", "q4t_format"})
        EXPECT_FALSE(toggle_on(action)) << action;
}

// A long read is broken by activating its action again: the toggle goes off, and nothing reaches the
// document.
TEST_F(DeviceFlowTest, ASecondActivationBreaksTheRunningCommand) {
    m_world->set_controller_type(4);
    m_world->set_controller_keys(sim_keys(5459));
    m_world->set_pacing(true);
    make_database("base", 3);
    open_connected();
    const auto rows = rows_of(doc());
    activate("q4t_to_db");
    ASSERT_TRUE(toggle_on("q4t_to_db"));
    ASSERT_TRUE(pump_until([&] {
        return window_status().find("read from the Q-4T controller") != std::string::npos;
    })) << window_status();
    activate("q4t_to_db");
    EXPECT_EQ(CAdapterThread::CMD_NONE, running());
    EXPECT_FALSE(toggle_on("q4t_to_db"));
    ASSERT_TRUE(pump_until([&] { return history_has("Reading has not been completed, please try again"); }))
        << last_history();
    EXPECT_TRUE(rows == rows_of(doc()));
    EXPECT_FALSE(doc().is_modified());
}

} // namespace
