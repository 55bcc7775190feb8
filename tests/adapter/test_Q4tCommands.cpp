// The controller commands end to end: the real worker against the simulated adapter and Q-4T controller.
#include "adapter/OpsFixture.h"

#include <algorithm>

using namespace ops;

class Q4tCommandsTest : public COpsTest {
protected:
    uint64_t pages_written() { return world.counters().ctrl_pages_written; }

    // A Q6 controller of the type whose memory holds `fill` everywhere except its own bytes 0-2 and its
    // memory code, so that every byte the program writes shows.
    Bytes set_filled_q6(int type, uint8_t code, size_t size, uint8_t fill) {
        Bytes memory(size, fill);
        memory[0] = 0x56;
        memory[1] = 0x57;
        memory[2] = 0x58;
        memory[5] = code;
        world.set_controller_memory(memory);
        EXPECT_EQ(type, world.controller_type());
        return memory;
    }

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
    EXPECT_EQ((std::vector<std::string>{"Clearing the controller memory", "Q4T: size of key memory = 1363",
                                        "Cleaning completed successfully"}),
              history());
}

// Types 3 and 4 get the whole index area and the end record; every other byte of those pages is 0xFF and the
// memory beyond them is untouched.
struct Q6Row {
    int type;
    uint8_t code;
    size_t size;
    size_t capacity;
    size_t pages; // of the clear
};
const Q6Row kQ6Rows[] = {{3, 0x3A, 16384, 2728, 86}, {4, 0x7A, 32768, 5459, 171}};

TEST_F(Q4tCommandsTest, ClearingQ6ControllersWritesAnEmptyList) {
    connect_pty();
    for (const Q6Row& row : kQ6Rows) {
        const Bytes before = set_filled_q6(row.type, row.code, row.size, 0x5C);
        ASSERT_TRUE(run([&] { thread.StartQ4tClear(); })) << row.type;
        Bytes expected = before;
        std::fill(expected.begin(), expected.begin() + static_cast<ptrdiff_t>(row.pages * 32), 0xFF);
        expected[0] = 0x56;
        expected[1] = 0x00;
        expected[2] = 0x58;
        expected[3] = 0xFF;
        expected[4] = 0xD1;
        expected[5] = row.code;
        expected[row.capacity + 11] = 0xE0;
        EXPECT_BYTES_EQ(expected, world.controller_memory());
        EXPECT_EQ("Cleaning completed successfully", history().back());
    }
}

// ---- Database --> controller ----

TEST_F(Q4tCommandsTest, WritingQ6ControllersLaysOutIndexAndRecords) {
    const uint8_t short_number[3] = {0xA1, 0xA2, 0xA3};
    m6::_db_key short_key;
    short_key.number = CCardUID(short_number, 3);
    short_key.is_short = true;
    short_key.attr = KA_BLOCKING;
    keys_to_give = {full_key(0x11, 0x22, 0x33, 0x44, 0x55, 0x66, KA_MASTER), short_key};
    lock_to_give = 0x1234;
    connect_pty();
    for (const Q6Row& row : kQ6Rows) {
        const Bytes before = set_filled_q6(row.type, row.code, row.size, 0x5C);
        ASSERT_TRUE(run([&] { thread.StartQ4tFromDb(); })) << row.type;
        EXPECT_EQ(row.capacity, asked().at(0).param);
        const size_t n = row.capacity;
        const size_t written = (n + 12 + 10 + 31) / 32 * 32; // header and index, two records, end record
        // Page 0 starts as the controller had it; the pages after it start blank.
        Bytes expected = before;
        std::fill(expected.begin() + 32, expected.begin() + static_cast<ptrdiff_t>(written), 0xFF);
        const Bytes header = {0xFF, 0x00, 0x58, 0xED, 0xCB, row.code, 0x11, 0xA1, 0xFF};
        std::copy(header.begin(), header.end(), expected.begin());
        const Bytes records = {0x22, 0x33, 0x44, 0x55, 0x26,  // full key, Master, nibble 6
                               0xA2, 0xA3, 0xFF, 0xFF, 0x70,  // short key, Blocking
                               0xFF, 0xFF, 0xFF, 0xFF, 0xE0}; // end record
        std::copy(records.begin(), records.end(), expected.begin() + static_cast<ptrdiff_t>(n + 7));
        EXPECT_BYTES_EQ(expected, world.controller_memory());
    }
}

TEST_F(Q4tCommandsTest, KeysAndLockCodeReachAType2Controller) {
    keys_to_give = many_keys(300);
    lock_to_give = 0x0123;
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tFromDb(); }));
    EXPECT_EQ(1363u, asked().at(0).param);
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

// ---- Controller --> database ----

// 200 full keys and one short key from a type 4 controller (the Q6 layout).
TEST_F(Q4tCommandsTest, ReadingAType4ControllerReturnsItsKeys) {
    world.set_controller_type(4);
    std::vector<devsim::SimKey> sim;
    for (unsigned i = 0; i < 200; ++i)
        sim.push_back({{uint8_t(i), uint8_t(i >> 8), 3, 4, 5, uint8_t(i % 16)}, false, int(1 + i % 4)});
    sim.push_back({{7, 8, 9, 0, 0, 0}, true, 3});
    world.set_controller_keys(sim, 0x0777);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); }));
    const auto [keys, lock] = db_data();
    EXPECT_EQ(0x0777, lock);
    ASSERT_EQ(sim.size(), keys.size());
    for (size_t i = 0; i < sim.size(); ++i) {
        const size_t n = sim[i].short_key ? 3 : 6;
        EXPECT_EQ(n, keys[i].number.length);
        EXPECT_EQ(0, std::memcmp(sim[i].number.data(), keys[i].number.bytes, n)) << i;
        EXPECT_EQ(sim[i].short_key, keys[i].is_short);
        EXPECT_EQ(sim[i].attr, static_cast<int>(keys[i].attr)) << i;
    }
    EXPECT_EQ(0u, history().back().rfind("201 keys has been successfully read (", 0));
}

// An empty list ends inside the index area; the reading still takes the first record page after it.
TEST_F(Q4tCommandsTest, ReadingAnEmptyQ6ListReadsTheIndexAreaAndOneRecordPage) {
    const std::pair<int, uint64_t> rows[] = {{3, 87}, {4, 172}};
    connect_pty();
    for (const auto& [type, pages] : rows) {
        world.set_controller_type(type);
        const uint64_t read = world.counters().ctrl_pages_read;
        ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); })) << type;
        EXPECT_EQ(pages, world.counters().ctrl_pages_read - read) << type;
        const auto [keys, lock] = db_data();
        EXPECT_TRUE(keys.empty()) << type;
    }
}

// ---- Dump files ----

// A dump longer than the memory asks how many bytes will be written, then writes the whole memory.
TEST_F(Q4tCommandsTest, ALongDumpAsksTheFileSizeQuestionAndFillsTheMemory) {
    world.set_controller_type(1);
    const Bytes before = world.controller_memory();
    Bytes file(5000);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 13 + 1);
    connect_pty();
    const uint64_t written = pages_written();
    std::vector<unsigned char> handed(file);
    thread.set_cmd_file_data(handed);
    ASSERT_TRUE(run([&] { thread.StartQ4tFromFile(); }));
    const std::vector<Question> questions = asked();
    ASSERT_EQ(1u, questions.size());
    EXPECT_EQ(CAdapterThread::ASK_FILE_SIZE, questions[0].kind);
    EXPECT_EQ(4096u, questions[0].param);
    EXPECT_EQ(written + 128, pages_written());
    const Bytes memory = world.controller_memory();
    ASSERT_EQ(4096u, memory.size());
    EXPECT_BYTES_EQ(slice(before, 0, 6), slice(memory, 0, 6));
    EXPECT_BYTES_EQ(slice(file, 6, 4090), slice(memory, 6, 4090));
}

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

TEST_F(Q4tCommandsTest, DumpingAType1ControllerGivesItsMemory) {
    world.set_controller_type(1);
    world.set_controller_keys({{{1, 2, 3, 4, 5, 6}, false, 2}});
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToFile(); }));
    std::vector<unsigned char> data;
    thread.get_cmd_file_data(data);
    EXPECT_BYTES_EQ(world.controller_memory(), data);
    EXPECT_EQ("Q4T: size of memory = 4096 byte", history().at(1));
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

// ---- Damaged memory ----

// No end marker anywhere: the count the scan arrives at is cut to what the memory can hold.
TEST_F(Q4tCommandsTest, AQ6MemoryWithoutEndMarkerYieldsAtMostItsCapacity) {
    world.set_controller_type(4);
    Bytes memory(32768, 0x00);
    memory[5] = 0x7A;
    world.set_controller_memory(memory);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); }));
    const auto [keys, lock] = db_data();
    EXPECT_EQ(5459u, keys.size());
    EXPECT_EQ(1024u, world.counters().ctrl_pages_read);
}
