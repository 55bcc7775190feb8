// Temic tag writing through the simulated desktop adapter's ASCII protocol, and through the reader library.
#include "adapter/OpsFixture.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/TestFiles.h"

using namespace ops;

class TemicCommandsTest : public COpsTest {
protected:
    std::string wire_text() {
        const Bytes in = world.wire_in();
        return std::string(in.begin(), in.end());
    }
    static CCardUID six_byte_number() {
        const uint8_t bytes[6] = {0x21, 0x43, 0x65, 0x87, 0x0A, 0x77};
        return CCardUID(bytes, 6);
    }
    static std::string block_line(int block, uint32_t word, int mode) {
        char line[64];
        std::snprintf(line, sizeof line, "t57 01 %.2x %.2x %.2x %.2x %.2x %.2x 00\r", block, word & 0xFF,
                      (word >> 8) & 0xFF, (word >> 16) & 0xFF, word >> 24, mode);
        return line;
    }
};

TEST_F(TemicCommandsTest, AnEmMarineNumberIsWrittenFromItsFirst5BytesThroughTheAdapter) {
    world.touch_temic();
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_NONE, ""); }));
    uint32_t words[3] = {};
    const rdx_card_uid uid = CCardUID(six_byte_number().bytes, 5).to_rdx();
    ASSERT_EQ(RDX_OK, rdx_encode_temic_emmarine(&uid, words, 3));
    const devsim::TemicTag tag = world.temic();
    ASSERT_EQ(3u, tag.writes.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(i, tag.writes[i].block);
        EXPECT_EQ(words[i], tag.writes[i].word);
        EXPECT_EQ(2, tag.writes[i].mode);
        EXPECT_EQ(1, tag.writes[i].line_code);
    }
    EXPECT_EQ(1, tag.resets);
    const std::string wire = wire_text();
    EXPECT_NE(std::string::npos, wire.find(block_line(2, words[2], 2))) << block_line(2, words[2], 2);
    EXPECT_NE(std::string::npos, wire.find("t57 00\r"));
    EXPECT_EQ("Recording has completed successfully", history().back());
    // Back on the M6 protocol afterwards.
    ASSERT_TRUE(wait_until([&] { return world.line().baud == 38400; }));
    EXPECT_TRUE(world.line().two_stop_bits);
    EXPECT_TRUE(world.line().dtr);
}

// Block 0 first with the first configuration, the data blocks 1-3, block 0 with the final configuration,
// then the reset: one run of lines on the wire.
TEST_F(TemicCommandsTest, AHidNumberGoesOnTheWireAsTheExactT57Lines) {
    const uint8_t hid[3] = {0x39, 0x30, 0x7B};
    world.touch_temic();
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartWriteHidToTemic(CCardUID(hid, 3), RDX_PORT_NONE, ""); }))
        << seen_text();
    uint32_t words[4] = {};
    const rdx_card_uid uid = CCardUID(hid, 3).to_rdx();
    ASSERT_EQ(RDX_OK, rdx_encode_temic_hid(&uid, words, 4, 26));
    const std::string expected = block_line(0, 0x48800800, 4) + block_line(1, words[1], 4) +
                                 block_line(2, words[2], 4) + block_line(3, words[3], 4) +
                                 block_line(0, words[0], 4) + "t57 00\r";
    EXPECT_NE(std::string::npos, wire_text().find(expected)) << expected;
    EXPECT_EQ(1, world.temic().resets);
}

// A tag already programmed as an Em-Marine card answers every scan of the reading mode; with the bytes paced
// at the line's rate its frames are still on the wire when the line changes to 9600 baud, and arrive
// garbled. Every write starts from a quiet, empty line all the same.
TEST_F(TemicCommandsTest, FramesOfAProgrammedTagInTheScanDoNotDisturbTheWrite) {
    world.set_pacing(true);
    world.with_adapter([](devsim::CAdapterSim& a) {
        a.config().key_delay = std::chrono::milliseconds(2);
        a.temic().blocks[0] = 0x00148040;
        a.temic().blocks[1] = 0x12345678;
        a.temic().blocks[2] = 0x9ABCDEF0;
    });
    world.touch_temic();
    thread.set_scan_key_type(SCAN_KEY_EM_MARINE);
    connect_pty();
    ASSERT_TRUE(wait_until([&] {
        CardType type;
        CCardUID number;
        thread.GetCurrentKey(type, number);
        return type == CT_EM_MARINE;
    }));
    uint32_t words[3] = {};
    const rdx_card_uid uid = CCardUID(six_byte_number().bytes, 5).to_rdx();
    ASSERT_EQ(RDX_OK, rdx_encode_temic_emmarine(&uid, words, 3));
    constexpr size_t kRuns = 3;
    for (size_t run_no = 0; run_no < kRuns; ++run_no) {
        const uint64_t frames = world.counters().key_frames_out;
        // Each write is started while the reading mode is busy with the tag again.
        ASSERT_TRUE(wait_until([&] { return world.counters().key_frames_out > frames + 2; }));
        ASSERT_TRUE(run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_NONE, ""); }))
            << "run " << run_no << "\n"
            << seen_text();
    }
    const devsim::TemicTag tag = world.temic();
    ASSERT_EQ(3 * kRuns, tag.writes.size());
    for (size_t i = 0; i < tag.writes.size(); ++i)
        EXPECT_EQ(words[i % 3], tag.writes[i].word) << i;
    EXPECT_EQ(static_cast<int>(kRuns), tag.resets);
}

TEST_F(TemicCommandsTest, AnotherAdapterModelIsRefusedWithoutTouchingTheLine) {
    world.touch_temic();
    connect_pty(2);
    EXPECT_FALSE(run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_NONE, ""); }));
    EXPECT_EQ("No device found that supports recording to Temic", history().back());
    EXPECT_EQ(0u, world.counters().ascii_lines);
    EXPECT_EQ(std::string::npos, wire_text().find("t57"));
}

TEST_F(TemicCommandsTest, NoCardThenOkCountsAsSuccess) {
    world.touch_temic();
    world.inject(devsim::Fault::NoCard, 1);
    connect_pty();
    EXPECT_TRUE(run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_NONE, ""); }));
    EXPECT_EQ(3u, world.temic().writes.size());
}

TEST_F(TemicCommandsTest, NoTagEndsTheWriteAfterOneAttempt) {
    connect_pty();
    EXPECT_FALSE(run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_NONE, ""); }));
    EXPECT_EQ(MY_ERR_NO_TEMIC, thread.GetLastError());
    EXPECT_EQ(1u, world.counters().ascii_lines);
}

TEST_F(TemicCommandsTest, AWriteThatNeverTakesEndsWithLastError15) {
    world.touch_temic();
    world.inject(devsim::Fault::TemicNoWrite, 2);
    connect_pty();
    EXPECT_FALSE(run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_NONE, ""); }));
    EXPECT_EQ(MY_ERR_TEMIC_WRITE, thread.GetLastError());
    EXPECT_EQ(2u, world.counters().ascii_lines);
    EXPECT_TRUE(world.temic().writes.empty());
}

// A Temic-capable reader (model 1) of the reader library's world, in a temporary folder named by RDX_SIM_DIR.
class TemicReaderWorld {
public:
    static constexpr const char* kPort = "temic1";

    TemicReaderWorld() {
        std::filesystem::create_directories(m_dir / "temic");
        std::ofstream(m_dir / "devices") << "COM\t" << kPort << "\t1\t-1\t0\n";
    }

    // The tag file's "block", "mode" and "resets" lines.
    struct Tag {
        std::array<uint32_t, 8> blocks{}; // blocks 0-7
        int mode = -1;
        int resets = -1;
    };
    Tag tag() const {
        Tag tag;
        std::ifstream file(m_dir / "temic" / kPort);
        std::string line;
        while (std::getline(file, line)) {
            int block = 0;
            unsigned int value = 0;
            if (std::sscanf(line.c_str(), "block %d %x", &block, &value) == 2 && block >= 0 &&
                block < static_cast<int>(tag.blocks.size()))
                tag.blocks[static_cast<size_t>(block)] = value;
            else if (std::sscanf(line.c_str(), "mode %d", &tag.mode) != 1)
                std::sscanf(line.c_str(), "resets %d", &tag.resets);
        }
        return tag;
    }

private:
    test::CSimWorldDir m_dir;
};

// The tag stores a block as it sends it, first bit highest; a word holds those bytes in memory order.
static uint32_t block_of(uint32_t word) {
    const auto* b = reinterpret_cast<const uint8_t*>(&word);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

// The words on the tag are what the library's own encoder gives; for HID, block 0 ends with the final
// configuration, not the first one written. The adapter's own tag is left alone.
TEST_F(TemicCommandsTest, EmMarineAndHidNumbersGoOnThroughAReaderOfTheLibrary) {
    TemicReaderWorld readers;
    connect_pty();
    const uint8_t hid[3] = {0x39, 0x30, 0x7B};
    const rdx_card_uid em_uid = CCardUID(six_byte_number().bytes, 5).to_rdx();
    const rdx_card_uid hid_uid = CCardUID(hid, 3).to_rdx();
    for (const bool is_hid : {false, true}) {
        ASSERT_TRUE(run([&] {
            if (is_hid)
                thread.StartWriteHidToTemic(CCardUID(hid, 3), RDX_PORT_COM, TemicReaderWorld::kPort);
            else
                thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_COM, TemicReaderWorld::kPort);
        })) << seen_text();
        std::vector<uint32_t> words(is_hid ? 4 : 3);
        ASSERT_EQ(RDX_OK, is_hid ? rdx_encode_temic_hid(&hid_uid, words.data(), 4, 26)
                                 : rdx_encode_temic_emmarine(&em_uid, words.data(), 3));
        const TemicReaderWorld::Tag tag = readers.tag();
        for (size_t i = 0; i < words.size(); ++i)
            EXPECT_EQ(block_of(words[i]), tag.blocks.at(i)) << is_hid << " block " << i;
        EXPECT_EQ(is_hid ? 4 : 2, tag.mode);
        EXPECT_EQ(is_hid ? 2 : 1, tag.resets);
        EXPECT_EQ("Recording has completed successfully", history().back());
        EXPECT_TRUE(saw_status("Recording has completed successfully"));
    }
    EXPECT_EQ(0u, world.counters().ascii_lines);
    EXPECT_TRUE(world.temic().writes.empty());
}
