// The controller commands end to end: the real worker against the simulated adapter and Q-4T controller.
#include "adapter/OpsFixture.h"

#include <algorithm>

using namespace ops;

class Q4tCommandsTest : public COpsTest {
protected:
    uint64_t pages_written() { return world.counters().ctrl_pages_written; }
    uint64_t pages_read() { return world.counters().ctrl_pages_read; }
    void expect_list_read_back(int type);

    // No two neighbouring progress lines with the same text.
    void expect_progress_changes_only(const std::string& prefix) {
        const std::vector<std::string> lines = lines_starting(prefix);
        ASSERT_FALSE(lines.empty()) << prefix;
        for (size_t i = 1; i < lines.size(); ++i)
            EXPECT_NE(lines[i - 1], lines[i]);
    }
};

// ---- Clearing ----

TEST_F(Q4tCommandsTest, ClearingAType2ControllerWritesOneEmptyPage) {
    world.set_controller_keys({{{1, 2, 3, 4, 5, 6}, false, 1}});
    Bytes before = world.controller_memory();
    connect_pty();
    const uint64_t written = pages_written();
    ASSERT_TRUE(run([&] { thread.StartQ4tClear(); }));
    EXPECT_EQ(written + 1, pages_written());
    Bytes page0(32, 0xFF);
    page0[0] = 0x33;
    page0[1] = 0x00;
    page0[2] = before[2];
    page0[3] = 0xFF;
    page0[4] = 0xD1;
    page0[5] = 0x15;
    EXPECT_BYTES_EQ(page0, slice(world.controller_memory(), 0, 32));
    EXPECT_TRUE(world.controller_keys().empty());
    const std::vector<std::string> expected = {"Clearing the controller memory",
                                               "Q4T: size of key memory = 1363",
                                               "Cleaning completed successfully"};
    EXPECT_EQ(expected, history());
}

TEST_F(Q4tCommandsTest, ClearingAType4ControllerWritesAnEmptyQ6ListOver171Pages) {
    world.set_controller_type(4);
    world.set_controller_keys({{{1, 2, 3, 4, 5, 6}, false, 1}});
    connect_pty();
    const uint64_t written = pages_written();
    ASSERT_TRUE(run([&] { thread.StartQ4tClear(); }));
    EXPECT_EQ(written + 171, pages_written());
    const Bytes memory = world.controller_memory();
    EXPECT_EQ(0xE0, memory[5459 + 11]);
    EXPECT_EQ(0xFF, memory[6]);
    EXPECT_BYTES_EQ((Bytes{0x00, 0xFF, 0xFF, 0xD1, 0x7A}), slice(memory, 1, 5));
    EXPECT_TRUE(world.controller_keys().empty());
    expect_progress_changes_only("Recording to the controller Q-4T ");
    EXPECT_EQ("Recording to the controller Q-4T 100 %",
              lines_starting("Recording to the controller Q-4T ").back());
}

TEST_F(Q4tCommandsTest, AMissingControllerIsReportedAsNotFound) {
    world.set_controller_present(false);
    connect_pty();
    EXPECT_FALSE(run([&] { thread.StartQ4tToDb(); }));
    EXPECT_EQ("The controller has not been found", thread.GetStatusText());
}

// ---- Database --> controller ----

TEST_F(Q4tCommandsTest, WritingNoKeysToType1WritesOnePageThenPage0Completed) {
    world.set_controller_type(1);
    connect_pty();
    const uint64_t written = pages_written();
    ASSERT_TRUE(run([&] { thread.StartQ4tFromDb(); }));
    ASSERT_EQ(1u, asked().size());
    EXPECT_EQ(CAdapterThread::ASK_DB_KEYS, asked()[0].kind);
    EXPECT_EQ(680u, asked()[0].param);
    EXPECT_EQ(written + 2, pages_written());
    const Bytes memory = world.controller_memory();
    EXPECT_EQ(0x33, memory[0]);
    EXPECT_EQ(0xE0, memory[11]);
    EXPECT_EQ(0x05, memory[5]);
    const std::vector<std::string> h = history();
    ASSERT_EQ(3u, h.size());
    EXPECT_EQ("Database --> Controller Q-4T", h[0]);
    EXPECT_EQ("Q4T: size of key memory = 680", h[1]);
    EXPECT_EQ(0u, h[2].rfind("Recording has completed successfully (", 0)) << h[2];
}

TEST_F(Q4tCommandsTest, KeysAndLockCodeReachAType2Controller) {
    keys_to_give = many_keys(300);
    lock_to_give = 0x0123;
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tFromDb(); }));
    const std::vector<devsim::SimKey> stored = world.controller_keys();
    ASSERT_EQ(300u, stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(stored[i].number.data(), keys_to_give[i].number.bytes, 6)) << i;
        EXPECT_EQ(static_cast<int>(keys_to_give[i].attr), stored[i].attr) << i;
    }
    const Bytes memory = world.controller_memory();
    EXPECT_EQ(0x0123, static_cast<uint16_t>(~(memory[3] << 8 | memory[4])));
    expect_progress_changes_only("Recording to the controller Q-4T ");
}

TEST_F(Q4tCommandsTest, KeysReachAType4ControllerInTheQ6Layout) {
    world.set_controller_type(4);
    keys_to_give = many_keys(1000);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tFromDb(); }));
    EXPECT_EQ(5459u, asked().at(0).param);
    EXPECT_EQ(1000u, world.controller_keys().size());
    EXPECT_EQ("Recording to the controller Q-4T 100 %",
              lines_starting("Recording to the controller Q-4T ").back());
}

TEST_F(Q4tCommandsTest, RefusingTheKeyListLeavesTheControllerUntouched) {
    answer = false;
    connect_pty();
    const uint64_t written = pages_written();
    EXPECT_FALSE(run([&] { thread.StartQ4tFromDb(); }));
    EXPECT_EQ(written, pages_written());
    std::lock_guard lock(mutex);
    EXPECT_FALSE(flags & CAdapterThread::NMSG_CMD_FINISH);
}

// ---- Controller --> database ----

TEST_F(Q4tCommandsTest, ReadingAnEmptyQ4ControllerStopsAtTheEndRecordInPage0) {
    connect_pty();
    const uint64_t read = pages_read();
    thread.SetDbData(many_keys(3), 0);
    ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); }));
    EXPECT_EQ(read + 1, pages_read());
    std::vector<m6::_db_key> keys;
    unsigned short lock = 0;
    thread.GetDbData(keys, lock);
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(46, lock);
    EXPECT_EQ(0u, history().back().rfind("0 keys has been successfully read (", 0));
}

// Reads a list of 200 full keys and one short key from a controller of the given type.
void Q4tCommandsTest::expect_list_read_back(int type) {
    world.set_controller_type(type);
    std::vector<devsim::SimKey> sim;
    for (unsigned i = 0; i < 200; ++i)
        sim.push_back({{uint8_t(i), uint8_t(i >> 8), 3, 4, 5, uint8_t(i % 16)}, false, int(1 + i % 4)});
    sim.push_back({{7, 8, 9, 0, 0, 0}, true, 3});
    world.set_controller_keys(sim, 0x0777);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); }));
    std::vector<m6::_db_key> keys;
    unsigned short lock = 0;
    thread.GetDbData(keys, lock);
    EXPECT_EQ(0x0777, lock);
    ASSERT_EQ(sim.size(), keys.size());
    for (size_t i = 0; i < sim.size(); ++i) {
        const size_t n = sim[i].short_key ? 3 : 6;
        EXPECT_EQ(n, keys[i].number.length);
        EXPECT_EQ(0, std::memcmp(sim[i].number.data(), keys[i].number.bytes, n)) << i;
        EXPECT_EQ(sim[i].short_key, keys[i].is_short);
        EXPECT_EQ(sim[i].attr, static_cast<int>(keys[i].attr)) << i;
    }
    expect_progress_changes_only("");
    EXPECT_EQ(0u, history().back().rfind("201 keys has been successfully read (", 0));
}

TEST_F(Q4tCommandsTest, ReadingAType2ControllerReturnsItsKeys) {
    expect_list_read_back(2);
}

TEST_F(Q4tCommandsTest, ReadingAType4ControllerReturnsItsKeys) {
    expect_list_read_back(4);
}

// ---- Dump files ----

TEST_F(Q4tCommandsTest, AShortDumpWritesOnlyThePagesCoveringIt) {
    const Bytes before = world.controller_memory();
    Bytes file(100);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(0x80 + i);
    connect_pty();
    const uint64_t written = pages_written();
    std::vector<unsigned char> handed(file);
    thread.set_cmd_file_data(handed);
    ASSERT_TRUE(run([&] { thread.StartQ4tFromFile(); }));
    EXPECT_EQ(written + 4, pages_written());
    EXPECT_TRUE(asked().empty());
    const Bytes memory = world.controller_memory();
    EXPECT_BYTES_EQ(slice(before, 0, 6), slice(memory, 0, 6));
    EXPECT_BYTES_EQ(slice(file, 6, 94), slice(memory, 6, 94));
    EXPECT_BYTES_EQ(Bytes(28, 0xFF), slice(memory, 100, 28));
}

TEST_F(Q4tCommandsTest, ALongerDumpAsksThenWritesTheWholeMemory) {
    Bytes file(10000);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 13 + 1);
    connect_pty();
    std::vector<unsigned char> handed(file);
    thread.set_cmd_file_data(handed);
    ASSERT_TRUE(run([&] { thread.StartQ4tFromFile(); }));
    ASSERT_EQ(1u, asked().size());
    EXPECT_EQ(CAdapterThread::ASK_FILE_SIZE, asked()[0].kind);
    EXPECT_EQ(8192u, asked()[0].param);
    const Bytes memory = world.controller_memory();
    ASSERT_EQ(8192u, memory.size());
    EXPECT_BYTES_EQ(slice(file, 6, 8186), slice(memory, 6, 8186));
    EXPECT_EQ(0x15, memory[5]);
}

TEST_F(Q4tCommandsTest, DumpingAType1ControllerGivesItsMemory) {
    world.set_controller_type(1);
    world.set_controller_keys({{{1, 2, 3, 4, 5, 6}, false, 2}});
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToFile(); }));
    std::vector<unsigned char> data;
    thread.get_cmd_file_data(data);
    EXPECT_BYTES_EQ(world.controller_memory(), data);
    EXPECT_EQ("Q4T: size of memory = 4096 byte", history().at(1));
    expect_progress_changes_only("Read from the controller Q-4T ");
}

TEST_F(Q4tCommandsTest, AnUnknownMemoryCodeGivesA32768ByteDump) {
    world.set_controller_unknown(8192, 0x99);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToFile(); }));
    std::vector<unsigned char> data;
    thread.get_cmd_file_data(data);
    EXPECT_EQ(32768u, data.size());
    EXPECT_EQ(0x99, data[5]);
    EXPECT_EQ("Q4T: memory size is unknown", history().at(1));
}

TEST_F(Q4tCommandsTest, ADumpReadsOverTheTcpConverterToo) {
    world.set_controller_type(1);
    const uint16_t port = world.start_tcp();
    connect(RDX_PORT_SERVER, "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(run([&] { thread.StartQ4tToFile(); }));
    std::vector<unsigned char> data;
    thread.get_cmd_file_data(data);
    EXPECT_BYTES_EQ(world.controller_memory(), data);
}

// ---- Test and format ----

TEST_F(Q4tCommandsTest, TheMemoryTestPassesAndRestoresAnEmptyList) {
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tTest(); }));
    EXPECT_EQ("No errors found", history().back());
    Bytes restored(43 * 32, 0xFF);
    restored[1] = 0x00;
    restored[4] = 0xD1;
    restored[1363 + 11] = 0xE0;
    EXPECT_BYTES_EQ(restored, slice(world.controller_memory(), 0, restored.size()));
    expect_progress_changes_only("Controller memory test ");
    EXPECT_EQ("Controller memory test 100 %", lines_starting("Controller memory test ").back());
}

// A 4 KB chip that claims 8 KB: the upper half of the pattern overwrites the lower half.
TEST_F(Q4tCommandsTest, TheMemoryTestReportsPage0WhenTheFirstReadBackDiffers) {
    world.set_controller_unknown(4096, 0x15);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tTest(); }));
    EXPECT_EQ("An error of the memory has been detected (page #0)", history().back());
}

TEST_F(Q4tCommandsTest, FormattingAType2ControllerWritesTheFixedPage0) {
    world.set_controller_keys({{{1, 2, 3, 4, 5, 6}, false, 1}});
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tFormat(); }));
    Bytes expected(8192, 0xFF);
    const std::vector<std::pair<size_t, Bytes>> parts = {
        {0, {0x67, 0x07}},
        {3, {0xFF, 0xD1, 0x15}},
        {6, {0x67, 0x07}},
        {10, {0xD1, 0xE5, 0x67, 0x07, 0x26, 0x39, 0x40, 0xEF}},
        {18, {0x1E, 0xD4, 0x45, 0x08}},
        {22, {0x00, 0xE0}},
        {32, {0xC2, 0x00, 0x00, 0x40}},
        {41, {0x4F}},
        {47, {0xEF}}};
    for (const auto& [offset, bytes] : parts)
        std::copy(bytes.begin(), bytes.end(), expected.begin() + static_cast<ptrdiff_t>(offset));
    EXPECT_BYTES_EQ(expected, world.controller_memory());
    EXPECT_EQ("Recording has completed successfully", thread.GetStatusText());
}

TEST_F(Q4tCommandsTest, FormattingAType3ControllerLeavesAnEmptyQ6List) {
    world.set_controller_type(3);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tFormat(); }));
    Bytes expected(16384, 0xFF);
    expected[1] = 0x00;
    expected[4] = 0xD1;
    expected[5] = 0x3A;
    expected[2728 + 11] = 0xE0;
    EXPECT_BYTES_EQ(expected, world.controller_memory());
}

// ---- Faults ----

TEST_F(Q4tCommandsTest, ThePortVanishingMidWriteEndsTheCommandAndReconnectionFollows) {
    world.set_controller_type(4);
    keys_to_give = many_keys(3000);
    connect_pty();
    const uint64_t written = pages_written();
    std::thread vanisher([&] {
        world.wait_until([&] { return world.counters().ctrl_pages_written >= written + 20; }, kDeadline);
        world.vanish();
    });
    EXPECT_FALSE(run([&] { thread.StartQ4tFromDb(); }));
    vanisher.join();
    EXPECT_EQ("The record has not been made, please try again", thread.GetStatusText());
    ASSERT_TRUE(wait_until([&] { return !connected(); }));
    world.restore();
    thread.set_port_name(RDX_PORT_COM, world.pty_path(), 4);
    thread.SetPortExist(true);
    ASSERT_TRUE(wait_until([&] { return connected(); }));
}

// Paced at the line's rate, so that the counter the cancel waits for keeps up with the worker.
TEST_F(Q4tCommandsTest, ACancelStopsTheWriteAtOnce) {
    world.set_controller_type(4);
    keys_to_give = many_keys(3000);
    connect_pty();
    world.set_pacing(true);
    const uint64_t written = pages_written();
    std::thread breaker([&] {
        world.wait_until([&] { return world.counters().ctrl_pages_written >= written + 10; }, kDeadline);
        thread.BreakCmd();
    });
    EXPECT_FALSE(run([&] { thread.StartQ4tFromDb(); }));
    breaker.join();
    EXPECT_LE(pages_written(), written + 12);
    EXPECT_EQ("The record has not been made, please try again", thread.GetStatusText());
    EXPECT_TRUE(connected());
}

// ---- Damaged memory ----

// No end marker anywhere: the count the scan arrives at is cut to what the memory can hold.
TEST_F(Q4tCommandsTest, AQ6MemoryWithoutEndMarkerYieldsAtMostItsCapacity) {
    world.set_controller_type(4);
    Bytes memory(32768, 0x00);
    memory[5] = 0x7A;
    world.set_controller_memory(memory);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); }));
    std::vector<m6::_db_key> keys;
    unsigned short lock = 0;
    thread.GetDbData(keys, lock);
    EXPECT_EQ(5459u, keys.size());
    EXPECT_EQ(1024u, world.counters().ctrl_pages_read);
}
