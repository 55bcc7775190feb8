// Injected faults and pacing, seen from the program's end of the pseudo-terminal: lost acknowledgements,
// silence, the port vanishing, and bytes paced at the line's rate (lower bounds only). Bad checksums and bad
// key CRCs are seen through the adapter worker in tests/adapter.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "common/HexDiff.h"
#include "sim/devsim/CWorld.h"
#include "test_devsim_helpers.h"

using namespace devsim_test;
using bytes = std::vector<uint8_t>;

namespace {

class DevsimFaults : public ::testing::Test {
protected:
    devsim::CWorld world;
    CSerialEnd port{world.pty_path()};
};

} // namespace

TEST_F(DevsimFaults, LostAcknowledgementIsNotSent) {
    world.inject(devsim::Fault::LostAck, 1);
    port.write(bytes{0x00});
    ASSERT_TRUE(world.wait_until([&] { return world.counters().acks_dropped == 1; }, kWaitDeadline));
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
    EXPECT_EQ(1u, world.counters().acks_out);
}

TEST_F(DevsimFaults, CountedSilenceIgnoresThatManyFrames) {
    world.inject(devsim::Fault::Silence, 2);
    port.write(bytes{0x00, 0x11, 0x95, 0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
    EXPECT_EQ(2u, world.counters().frames_ignored);
}

TEST_F(DevsimFaults, SilenceLastsUntilCleared) {
    world.inject(devsim::Fault::Silence, 0);
    port.write(bytes{0x00, 0x00});
    ASSERT_TRUE(world.wait_until([&] { return world.counters().frames_ignored == 2; }, kWaitDeadline));
    world.clear_faults();
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
}

TEST_F(DevsimFaults, VanishedPortHangsUpAndComesBackUnderANewPath) {
    const std::string old_path = world.pty_path();
    world.inject(devsim::Fault::Vanish);
    EXPECT_TRUE(port.hung_up());
    EXPECT_TRUE(world.vanished());
    EXPECT_FALSE(std::filesystem::exists(old_path));
    world.clear_faults();
    ASSERT_FALSE(world.pty_path().empty());
    CSerialEnd again(world.pty_path());
    again.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, again.read(1));
}

TEST_F(DevsimFaults, ReopenedPortWorksAfterTheProgramClosedIt) {
    port.write(bytes{0x00});
    ASSERT_BYTES_EQ(bytes{0xAA}, port.read(1));
    port.close();
    CSerialEnd again(world.pty_path());
    again.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, again.read(1));
}

// Ten page reads, 400 bytes of 10 bits (11 with two stop bits) at 38400 baud: the answers never come before
// their last bit has crossed the line.
TEST_F(DevsimFaults, PacingTakesAtLeastTheWireTimeCountingStopBits) {
    world.set_pacing(true);
    for (auto [two_stop_bits, bits] : {std::pair{false, 10}, {true, 11}}) {
        port.set_line(38400, two_stop_bits);
        const auto wire = std::chrono::microseconds(10 * 40 * bits * 1'000'000LL / 38400);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i) {
            port.write(m6_frame(0x19, {0x00, 0x00}));
            ASSERT_EQ(36u, port.read(36).size());
        }
        EXPECT_GE(std::chrono::steady_clock::now() - start, wire) << two_stop_bits;
    }
}
