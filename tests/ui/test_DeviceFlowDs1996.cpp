// The DS1996L and emulation commands run from the window: a key prepared, written from a database, dumped to
// a file and loaded back, read into a database (with the content question for a prepared key), and the
// simulated controller reading and storing its base through the emulated key.
#include "test_DeviceFlowFixture.h"

#include "common/HexDiff.h"
#include "ui/CReadDS1996Dialog.h"

namespace {

constexpr std::uint8_t kPrepared = 0x01;
constexpr std::uint8_t kComplete = 0x33;

TEST_F(DeviceFlowTest, ADs1996lIsPreparedWrittenDumpedAndReadBack) {
    make_database_with("source", [](CKeyDocument& d) { add_distinct_keys(d, 30); });
    open_connected("source");
    const auto source_rows = rows_of(doc());
    m_world->touch_ds1996();

    ASSERT_TRUE(run_action("ds1996_prepare", CAdapterThread::CMD_DS1996_PREPARE));
    EXPECT_TRUE(history_has("Preparation completed successfully"));
    EXPECT_EQ(kPrepared, m_world->ds1996_memory().at(0));

    ASSERT_TRUE(run_action("ds1996_from_db", CAdapterThread::CMD_DS1996_FROM_DB));
    EXPECT_TRUE(history_has("Recording has completed successfully"));
    EXPECT_EQ(kComplete, m_world->ds1996_memory().at(0));

    m_next_file = m_root / "key.bin";
    ASSERT_TRUE(run_action("ds1996_to_file", CAdapterThread::CMD_DS1996_TO_FILE));
    ASSERT_TRUE(dump_saved());
    const auto dump = test::read_bytes(*m_next_file);
    EXPECT_BYTES_EQ(m_world->ds1996_memory(), dump);

    reopen("empty");
    ASSERT_TRUE(run_action("ds1996_to_db", CAdapterThread::CMD_DS1996_TO_DB));
    ASSERT_TRUE(pump_until([&] { return history_has("30 keys read: 30 added, 0 repeated"); }));
    EXPECT_TRUE(source_rows == rows_of(doc()));

    // The key is wiped, then the dump goes back onto it.
    m_world->set_ds1996_memory(std::vector<std::uint8_t>(8192, 0xFF));
    ASSERT_TRUE(run_action("ds1996_from_file", CAdapterThread::CMD_DS1996_FROM_FILE));
    EXPECT_EQ(nullptr, m_window->file_question()) << "a dump of a key asks nothing";
    EXPECT_BYTES_EQ(dump, m_world->ds1996_memory());
}

// A prepared key holds no base: reading it asks first, and "No" leaves the document as it was.
TEST_F(DeviceFlowTest, ReadingAPreparedKeyAsksAndNoLeavesTheDocument) {
    make_database("base", 4);
    open_connected();
    const auto rows = rows_of(doc());
    m_world->touch_ds1996();
    ASSERT_TRUE(run_action("ds1996_prepare", CAdapterThread::CMD_DS1996_PREPARE));

    activate("ds1996_to_db");
    auto* dialog = wait_warning<CReadDS1996Dialog>(&CMainWindow::worker_question);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(m_window, dialog->get_transient_for());
    Gtk::Button* no = find_button(*dialog, "No");
    ASSERT_NE(nullptr, no);
    no->activate();
    ASSERT_TRUE(pump_until([&] { return running() == CAdapterThread::CMD_NONE; }));
    EXPECT_FALSE(toggle_on("ds1996_to_db"));
    ASSERT_TRUE(pump_until([&] { return history_has("Reading has not been completed, please try again"); }));
    EXPECT_TRUE(rows == rows_of(doc()));
    EXPECT_FALSE(doc().is_modified());
}

// A 4-byte file is no key image: the window asks before it goes to the key, and Cancel starts nothing.
TEST_F(DeviceFlowTest, AFourByteFileForADs1996lAsksAboutItsFormat) {
    open_connected();
    m_next_file = m_root / "four.bin";
    test::write_bytes(*m_next_file, {0x01, 0x02, 0x03, 0x04});
    m_world->touch_ds1996();
    const auto before = m_world->ds1996_memory();

    activate("ds1996_from_file");
    Gtk::MessageDialog* question = wait_file_warning();
    ASSERT_NE(nullptr, question);
    EXPECT_EQ("The data format is incorrect.\nContinue?", text_of(question));
    EXPECT_EQ(CAdapterThread::CMD_NONE, running()) << "nothing starts before the answer";
    question->response(Gtk::ResponseType::CANCEL);
    pump_pending();
    EXPECT_EQ(CAdapterThread::CMD_NONE, running());
    EXPECT_EQ(before, m_world->ds1996_memory());

    activate("ds1996_from_file");
    question = wait_file_warning();
    ASSERT_NE(nullptr, question);
    question->response(Gtk::ResponseType::OK);
    EXPECT_EQ(CAdapterThread::CMD_DS1996_FROM_FILE, running());
    ASSERT_TRUE(wait_command_over());
    auto expected = std::vector<std::uint8_t>(8192, 0xFF);
    std::copy_n(std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0x04}.begin(), 4, expected.begin());
    EXPECT_BYTES_EQ(expected, m_world->ds1996_memory());
}

// A file longer than a key is cut to the key's 8192 bytes once the user agrees.
TEST_F(DeviceFlowTest, AFileLongerThanADs1996lAsksAboutTheLimit) {
    open_connected();
    std::vector<std::uint8_t> image(9000, 0x5A);
    image[5] = 0x15; // an 8 KB memory image
    m_next_file = m_root / "long.bin";
    test::write_bytes(*m_next_file, image);
    activate("ds1996_from_file");
    answer_with(wait_file_warning(), "The memory is limited, maximum 8192 bytes.\nContinue?",
                Gtk::ResponseType::CANCEL);
}

TEST_F(DeviceFlowTest, TheEmulatedKeyCarriesABaseBothWays) {
    make_database_with("source", [](CKeyDocument& d) { add_distinct_keys(d, 20); });
    open_connected("source");
    const auto source_rows = rows_of(doc());
    ASSERT_TRUE(run_action("emu_from_db", CAdapterThread::CMD_EMU_FROM_DB));
    EXPECT_TRUE(history_has("Recording has completed successfully"));
    ASSERT_EQ(20u, m_world->controller_keys().size());

    reopen("empty");
    ASSERT_TRUE(run_action("emu_to_db", CAdapterThread::CMD_EMU_TO_DB));
    ASSERT_TRUE(pump_until([&] { return history_has("20 keys read: 20 added, 0 repeated"); }))
        << last_history();
    EXPECT_TRUE(source_rows == rows_of(doc()));
}

} // namespace
