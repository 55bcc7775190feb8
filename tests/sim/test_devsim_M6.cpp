// The simulated M-6 adapter driven over its real pseudo-terminal with raw bytes, as the program would:
// frames, checksums, acknowledgements, a missing controller, the key frames of reading mode and the line's
// timing. Page access and address wrap-around are seen through the adapter worker in tests/adapter.
#include <gtest/gtest.h>

#include <thread>

#include "common/HexDiff.h"
#include "sim/devsim/CWorld.h"
#include "test_devsim_helpers.h"

using namespace devsim_test;
using bytes = std::vector<uint8_t>;

namespace {

bytes page_request(uint8_t cmd, uint16_t address) {
    return m6_frame(cmd, {static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)});
}

bytes page_write(uint8_t cmd, uint16_t address, const bytes& page) {
    return m6_frame(cmd,
                    concat({static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)}, page));
}

class DevsimM6 : public ::testing::Test {
protected:
    devsim::CWorld world;
    CSerialEnd port{world.pty_path()};
};

} // namespace

TEST_F(DevsimM6, WakeByteIsAcknowledgedOrAnsweredWithLowPower) {
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
    world.with_adapter([](devsim::CAdapterSim& a) { a.config().power_answer = 0xAB; });
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAB}, port.read(1));
}

TEST_F(DevsimM6, FrameWithWrongChecksumIsAnsweredWithError) {
    port.write(bytes{0x11, 0x96});
    EXPECT_BYTES_EQ(bytes{0x55}, port.read(1));
    EXPECT_EQ(1u, world.counters().bad_checksums_in);
}

TEST_F(DevsimM6, MissingControllerAnswersF0AfterTheAcknowledgement) {
    world.set_controller_present(false);
    port.write(page_request(0x19, 0));
    EXPECT_BYTES_EQ((bytes{0xAA, 0xF0}), port.read(2));
    port.write(page_write(0x18, 0, bytes(32, 0)));
    EXPECT_BYTES_EQ((bytes{0xAA, 0xF0}), port.read(2));
}

// A DS1996L, then a DS1990A touched in its place.
TEST_F(DevsimM6, StartCommandReportsATouchedKeysRomCodeReversed) {
    const std::array<uint8_t, 8> dallas = devsim::make_rom(0x01, {0x2C, 0x1B, 0x0A, 0, 0, 0});
    for (const bool ds1996 : {true, false}) {
        if (ds1996)
            world.touch_ds1996();
        else
            world.touch_dallas(dallas);
        const std::array<uint8_t, 8> rom = ds1996 ? world.ds1996_rom() : dallas;
        EXPECT_EQ(ds1996 ? 0x0C : 0x01, rom[0]);
        port.write(bytes{0x13, 0x93});
        bytes expected{0xAA, 0xCC, 0x20};
        expected.insert(expected.end(), rom.rbegin(), rom.rend());
        EXPECT_BYTES_EQ(expected, port.read(11));
    }
}

TEST_F(DevsimM6, EmMarineFrameHoldsMarkerNumberSeriesAndCrc) {
    world.present_em_marine(10, 6956);
    port.write(bytes{0x12, 0x94});
    port.write(bytes{0x13, 0x93});
    const bytes got = port.read(12);
    // K0..K7 = 01 2C 1B 0A 00 00 00 CRC, sent CRC first.
    bytes k{0x01, 0x2C, 0x1B, 0x0A, 0x00, 0x00, 0x00};
    k.push_back(devsim::dallas_crc8(k.data(), 7));
    bytes expected{0xAA, 0xAA, 0xCC, 0x20};
    expected.insert(expected.end(), k.rbegin(), k.rend());
    EXPECT_BYTES_EQ(expected, got);
}

// A Temic tag programmed as a card sends its number for as long as it lies in the field: one start brings
// frame after frame, until the program's next command.
TEST_F(DevsimM6, AProgrammedTemicTagKeepsAnsweringTheScanUntilTheNextCommand) {
    world.with_adapter([](devsim::CAdapterSim& a) {
        a.config().key_delay = devsim::milliseconds(5);
        a.temic().blocks[0] = 0x00148040;
        a.temic().blocks[1] = 0x44332211;
        a.temic().blocks[2] = 0x00006655;
    });
    world.touch_temic();
    port.write(bytes{0x12, 0x94});
    port.write(bytes{0x13, 0x93});
    bytes k{0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    k.push_back(devsim::dallas_crc8(k.data(), 7));
    bytes frame{0xCC, 0x20};
    frame.insert(frame.end(), k.rbegin(), k.rend());
    EXPECT_BYTES_EQ(concat(concat(concat({0xAA, 0xAA}, frame), frame), frame),
                    port.read(2 + 3 * frame.size()));
    port.write(bytes{0x00});
    ASSERT_TRUE(world.wait_until([&] { return world.counters().wakes == 1; }, kWaitDeadline));
    const uint64_t frames = world.counters().key_frames_out;
    EXPECT_FALSE(world.wait_until([&] { return world.counters().key_frames_out > frames; },
                                  devsim::milliseconds(100)));
}

// The adapter's answer still on its way when the program switches its line to 9600 baud arrives as the
// slower receiver samples it: fewer bytes, and not the frame.
TEST_F(DevsimM6, BytesOnTheWireAcrossABaudChangeArriveGarbled) {
    world.with_adapter([](devsim::CAdapterSim& a) { a.config().key_delay = devsim::milliseconds(150); });
    world.touch_dallas(devsim::make_rom(0x01, {0x2C, 0x1B, 0x0A, 0, 0, 0}));
    port.write(bytes{0x13, 0x93});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
    port.set_line(9600, false);
    ASSERT_TRUE(world.wait_until([&] { return world.counters().key_frames_out == 1; }, kWaitDeadline));
    const bytes got = port.read(10, std::chrono::milliseconds(300));
    EXPECT_FALSE(got.empty());
    EXPECT_LT(got.size(), 10u);
}

TEST_F(DevsimM6, WakeDisarmsAPendingStart) {
    world.with_adapter([](devsim::CAdapterSim& a) { a.config().key_delay = devsim::milliseconds(200); });
    world.touch_ds1996();
    port.write(bytes{0x13, 0x93, 0x00});
    EXPECT_BYTES_EQ((bytes{0xAA, 0xAA}), port.read(2));
    port.write(bytes{0x11, 0x95});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1)); // no key frame squeezed in before this answer
    EXPECT_EQ(0u, world.counters().key_frames_out);
}

TEST_F(DevsimM6, PartialFrameIsDroppedAfterAPause) {
    port.write(bytes{0x19, 0x20});
    ASSERT_TRUE(world.wait_until([&] { return world.counters().bytes_in == 2; }, kWaitDeadline));
    std::this_thread::sleep_for(std::chrono::milliseconds(150)); // the pause itself is the stimulus here
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
    EXPECT_EQ(1u, world.counters().partial_frames_dropped);
}

TEST_F(DevsimM6, BytesAtAnotherBaudRateAreGarbled) {
    port.set_line(19200, false);
    port.write(bytes{0x00});
    ASSERT_TRUE(world.wait_until([&] { return world.counters().garbled_bytes == 1; }, kWaitDeadline));
    port.set_line(38400, false);
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
}
