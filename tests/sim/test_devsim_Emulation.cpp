// The emulation byte protocol over the pseudo-terminal: a controller reading a base from the emulated DS1996L
// page by page, a controller writing its base onto a prepared key, Dallas emulation and the key-line power.
#include <gtest/gtest.h>

#include "common/HexDiff.h"
#include "sim/devsim/CWorld.h"
#include "test_devsim_helpers.h"

using namespace devsim_test;
using bytes = std::vector<uint8_t>;

namespace {

std::vector<devsim::SimKey> some_keys(size_t n) {
    std::vector<devsim::SimKey> keys;
    for (size_t i = 0; i < n; ++i)
        keys.push_back({{static_cast<uint8_t>(i), 0x10, 0x20, 0x30, 0x40, 0x05},
                        i % 3 == 0,
                        1 + static_cast<int>(i % 4)});
    for (auto& k : keys)
        if (k.short_key)
            k.number[3] = k.number[4] = k.number[5] = 0;
    return keys;
}

bytes prepared_page0() {
    bytes page(32, 0xFF);
    page[0] = 0x01;
    page[1] = 0x00;
    page[3] = 0xFF;
    page[4] = 0xD1;
    page[5] = 0x15;
    page[11] = 0x80;
    page[12] = 0x04;
    return page;
}

class DevsimEmulation : public ::testing::Test {
protected:
    devsim::CWorld world;
    CSerialEnd port{world.pty_path()};
};

} // namespace

TEST_F(DevsimEmulation, ControllerReadsTheBasePageByPageAndTakesIt) {
    const auto keys = some_keys(10); // 6 + 11 * 6 bytes: pages 0, 32 and 64
    bytes image(8192, 0xFF);
    image[1] = 0x00;
    devsim::Image_BuildQ4(keys, 0x0100, image, 2);
    image[0] = 0x33;
    port.write(concat({0x5A, 0x41, 0x45}, bytes(image.begin(), image.begin() + 32)));
    std::vector<unsigned> asked;
    for (;;) {
        const bytes request = port.read(3);
        ASSERT_EQ(3u, request.size());
        ASSERT_EQ(0x51, request[0]);
        const unsigned address = request[1] | request[2] << 8;
        asked.push_back(address);
        if (address == 0)
            break;
        ASSERT_LT(address, 8192u);
        port.write(concat({0x53}, bytes(image.begin() + address, image.begin() + address + 32)));
    }
    port.write(bytes{0x57});
    EXPECT_EQ((std::vector<unsigned>{32, 64, 0}), asked);
    EXPECT_EQ(keys, world.controller_keys());
    EXPECT_EQ(0x33, world.controller_memory()[0]);
    EXPECT_EQ(2u, world.counters().emu_pages_served);
}

TEST_F(DevsimEmulation, ControllerWritesItsBaseOntoAPreparedKey) {
    const auto keys = some_keys(7); // 6 + 8 * 6 = 54 bytes: pages 0 and 32
    world.set_controller_keys(keys, 46);
    const bytes memory = world.controller_memory();
    port.write(concat({0x45}, prepared_page0()));
    bytes expected;
    auto page = [&](unsigned address, int format) {
        bytes frame{0x52, static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)};
        frame.insert(frame.end(), memory.begin() + address, memory.begin() + address + 32);
        if (format >= 0)
            frame[3] = static_cast<uint8_t>(format);
        expected = concat(expected, frame);
    };
    page(0, 0x34);
    page(32, -1);
    page(0, 0x33);
    EXPECT_BYTES_EQ(expected, port.read(expected.size()));
}

TEST_F(DevsimEmulation, LargeControllerWritesItsBaseInTheKeyLayout) {
    world.set_controller_type(4);
    const auto keys = some_keys(3);
    world.set_controller_keys(keys, 46);
    port.write(concat({0x45}, prepared_page0()));
    const bytes first = port.read(35);
    ASSERT_EQ(35u, first.size());
    bytes key(first.begin() + 3, first.end());
    key.resize(8192, 0xFF);
    EXPECT_EQ(0x34, key[0]);
    EXPECT_EQ(0x15, key[5]); // the DS1996L carries the 8 KB layout whatever the controller's own
    EXPECT_EQ(keys, devsim::Image_DecodeQ4(key));
}

TEST_F(DevsimEmulation, KeyThatIsNeitherPreparedNorCompleteIsIgnored) {
    bytes page0 = prepared_page0();
    page0[0] = 0x34;
    port.write(concat({0x45}, page0));
    port.write(bytes{0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, port.read(1));
    EXPECT_EQ(1u, world.counters().emu_starts);
}

TEST_F(DevsimEmulation, DallasEmulationHoldsTheIdentifierUntilEnded) {
    const bytes id{0x01, 0x2C, 0x1B, 0x0A, 0x00, 0x00, 0x00, 0x9E};
    port.write(concat({0x44}, id));
    ASSERT_TRUE(world.wait_until([&] { return world.counters().emu_dallas == 1; }, kDeadline));
    const auto held = world.with_adapter(
        [](devsim::CAdapterSim& a) { return std::make_pair(a.emulating(), a.emulated_dallas()); });
    EXPECT_TRUE(held.first);
    EXPECT_BYTES_EQ(id, bytes(held.second.begin(), held.second.end()));
    port.write(bytes{0x57});
    EXPECT_TRUE(world.wait_until(
        [&] { return !world.with_adapter([](devsim::CAdapterSim& a) { return a.emulating(); }); },
        kDeadline));
}

TEST_F(DevsimEmulation, KeyLinePowerFollowsOffAndOn) {
    port.write(bytes{0x5A});
    EXPECT_TRUE(world.wait_until([&] { return world.counters().line_offs == 1; }, kDeadline));
    EXPECT_FALSE(world.with_adapter([](devsim::CAdapterSim& a) { return a.key_line_on(); }));
    port.write(bytes{0x41});
    EXPECT_TRUE(world.wait_until(
        [&] { return world.with_adapter([](devsim::CAdapterSim& a) { return a.key_line_on(); }); },
        kDeadline));
}
