// Key lists between the active document and the devices, through the window: duplicates and the target's
// capacity when writing (with the questions that name them), the lock-time question, and keys read from a
// controller merged into the document with and without Shift.
#include "test_DeviceFlowFixture.h"

namespace {

devsim::SimKey sim_key(const CCardUID& number, int attr = 1) {
    devsim::SimKey key;
    std::copy_n(number.bytes, 6, key.number.begin());
    key.attr = attr;
    return key;
}

// A short number and a full one that shares its three bytes are one key; the full number is written.
TEST_F(DeviceFlowTest, FiveKeysWithASharedNumberGiveFourEntriesAndOneDuplicate) {
    const CCardUID a = full_number(0x01, 0x00, 0x00), s = short_number(0x11, 0x22, 0x33),
                   b = full_number(0x02, 0x00, 0x00),
                   s_full = full_number(0x11, 0x22, 0x33, 0x44, 0x55, 0x06),
                   c = full_number(0x03, 0x00, 0x00);
    make_database_with("base", [&](CKeyDocument& d) {
        d.add_key(d.generate_key_id(), CT_DALLAS, a, false, KA_NORMAL, "a");
        d.add_key(d.generate_key_id(), CT_DALLAS, s, true, KA_MASTER, "short");
        d.add_key(d.generate_key_id(), CT_DALLAS, b, false, KA_NORMAL, "b");
        d.add_key(d.generate_key_id(), CT_DALLAS, s_full, false, KA_NORMAL, "full");
        d.add_key(d.generate_key_id(), CT_DALLAS, c, false, KA_BLOCKING, "c");
    });
    open_connected();

    const auto [keys, lock_code, count, duplicates] = list_for_write(100);
    EXPECT_EQ(5u, count);
    EXPECT_EQ(1u, duplicates);
    EXPECT_EQ(doc().get_otc(), lock_code);
    ASSERT_EQ(4u, keys.size());
    EXPECT_EQ(s_full, keys[1].number) << "the shared entry takes the full number";
    EXPECT_FALSE(keys[1].is_short);
    EXPECT_EQ(KA_MASTER, keys[1].attr) << "and keeps the attribute of the key seen first";

    m_world->set_controller_type(1);
    activate("q4t_from_db");
    answer_with(wait_worker_warning(), "1 duplicate numbers will not be written.\nContinue?",
                Gtk::ResponseType::OK);
    ASSERT_TRUE(wait_command_over());
    const auto written = m_world->controller_keys();
    ASSERT_EQ(4u, written.size());
    EXPECT_EQ(sim_key(s_full, KA_MASTER).number, written[1].number);
}

TEST_F(DeviceFlowTest, TheCapacityOfTheTargetIsNamedInTheQuestion) {
    make_database_with("base", [](CKeyDocument& d) { add_distinct_keys(d, 1400); });
    open_connected();
    const auto [keys, lock_code, count, duplicates] = list_for_write(1363);
    ASSERT_EQ(1363u, keys.size());
    EXPECT_EQ(doc().get_keys()->get_item(1362)->number(), keys.back().number)
        << "the first keys in store order";

    activate("q4t_from_db");
    answer_with(wait_worker_warning(), "The memory is limited, maximum 1363 keys.\nContinue?",
                Gtk::ResponseType::OK);
    ASSERT_TRUE(wait_command_over());
    const auto written = m_world->controller_keys();
    ASSERT_EQ(1363u, written.size());
    EXPECT_EQ(sim_key(keys.back().number).number, written.back().number);
}

TEST_F(DeviceFlowTest, ALongLockTimeIsConfirmedAndCancelWritesNothing) {
    make_database_with("base", [](CKeyDocument& d) {
        add_distinct_keys(d, 5);
        d.set_otc(static_cast<std::uint16_t>(TimeToOtc(61.0)));
    });
    open_connected();
    const auto before = m_world->controller_memory();
    activate("q4t_from_db");
    answer_with(wait_worker_warning(), "Really want to write down lock opening time greater than 1 minute?",
                Gtk::ResponseType::CANCEL);
    ASSERT_TRUE(
        pump_until([&] { return running() == CAdapterThread::CMD_NONE && !toggle_on("q4t_from_db"); }));
    EXPECT_EQ(nullptr, m_window->worker_question());
    EXPECT_EQ(before, m_world->controller_memory());
}

TEST_F(DeviceFlowTest, WritingWithNoOpenDatabaseIsRefused) {
    CMainWindow& window = open_connected();
    ASSERT_TRUE(window.DoClose(true, {}));
    const auto before = m_world->controller_memory();
    activate("q4t_from_db");
    ASSERT_TRUE(
        pump_until([&] { return running() == CAdapterThread::CMD_NONE && !toggle_on("q4t_from_db"); }));
    EXPECT_EQ(nullptr, window.worker_question());
    EXPECT_EQ(before, m_world->controller_memory());
}

// Shift held when the read ends keeps the keys the controller does not have.
TEST_F(DeviceFlowTest, ReadingAControllerReplacesOrMergesByShift) {
    const CCardUID a = full_number(0x0A, 0x00, 0x00),
                   b_full = full_number(0x0B, 0x0B, 0x0B, 0x01, 0x02, 0x03),
                   b_short = short_number(0x0B, 0x0B, 0x0B), c = full_number(0x0C, 0x00, 0x00),
                   d = full_number(0x0D, 0x00, 0x00);
    struct Case {
        bool shift;
        std::vector<CCardUID> expected;
    };
    for (const Case& test : {Case{false, {b_full, a, c}}, Case{true, {b_full, d, a, c}}}) {
        SCOPED_TRACE(test.shift ? "with Shift" : "without Shift");
        const std::string name = test.shift ? "merge" : "replace";
        make_database_with(name, [&](CKeyDocument& doc) {
            doc.add_key(doc.generate_key_id(), CT_DALLAS, b_short, true, KA_NORMAL, "b");
            doc.add_key(doc.generate_key_id(), CT_DALLAS, d, false, KA_NORMAL, "d");
        });
        m_world->set_controller_keys({sim_key(a), sim_key(b_full, 3), sim_key(c)}, 0x0123);
        if (m_window == nullptr)
            open_connected(name);
        else
            reopen(name);
        m_shift = test.shift;
        ASSERT_TRUE(run_action("q4t_to_db", CAdapterThread::CMD_Q4T_TO_DB));
        ASSERT_TRUE(pump_until([&] { return history_has("3 keys read: 2 added, 1 repeated"); }))
            << last_history();
        std::vector<CCardUID> numbers;
        for (const auto& row : rows_of(doc()))
            numbers.push_back(row.number);
        EXPECT_EQ(test.expected, numbers);
        EXPECT_EQ(KA_MASTER, doc().get_keys()->get_item(0)->attr()) << "the attribute read wins";
        EXPECT_FALSE(doc().get_keys()->get_item(0)->is_short()) << "and so does the full number";
        EXPECT_EQ(0x0123, doc().get_otc());
        EXPECT_TRUE(doc().is_modified());
        ASSERT_TRUE(m_window->DoClose(false, {}));
    }
}

} // namespace
