// Temic tag writing through the simulated desktop adapter's ASCII protocol, and through the reader library.
#include "adapter/OpsFixture.h"

#include <algorithm>
#include <cstdio>

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

TEST_F(TemicCommandsTest, AHidNumberGoesOnWithTheFirstConfigurationThenTheFinalOne) {
    world.touch_temic();
    connect_pty();
    const uint8_t bytes[3] = {0x39, 0x30, 0x7B};
    ASSERT_TRUE(run([&] { thread.StartWriteHidToTemic(CCardUID(bytes, 3), RDX_PORT_NONE, ""); }));
    uint32_t words[4] = {};
    const rdx_card_uid uid = CCardUID(bytes, 3).to_rdx();
    ASSERT_EQ(RDX_OK, rdx_encode_temic_hid(&uid, words, 4, 26));
    const devsim::TemicTag tag = world.temic();
    ASSERT_EQ(5u, tag.writes.size());
    const std::vector<std::pair<int, uint32_t>> expected = {
        {0, 0x48800800}, {1, words[1]}, {2, words[2]}, {3, words[3]}, {0, words[0]}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, tag.writes[i].block) << i;
        EXPECT_EQ(expected[i].second, tag.writes[i].word) << i;
        EXPECT_EQ(4, tag.writes[i].mode) << i;
    }
    EXPECT_NE(std::string::npos, wire_text().find("t57 01 00 00 08 80 48 04 00\r"));
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

TEST_F(TemicCommandsTest, AReaderLibraryFailureBecomesTheStatusLine) {
    connect_pty();
    EXPECT_FALSE(
        run([&] { thread.StartWriteEmMarineToTemic(six_byte_number(), RDX_PORT_COM, "no-such-reader"); }));
    EXPECT_FALSE(thread.GetStatusText().empty());
    EXPECT_EQ(0u, world.counters().ascii_lines);
}
