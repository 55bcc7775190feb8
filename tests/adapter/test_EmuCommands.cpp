// The adapter posing as a DS1996L towards the simulated controller, as a Dallas key, and with its key line
// switched off.
#include "adapter/OpsFixture.h"

#include <algorithm>

using namespace ops;

class EmuCommandsTest : public COpsTest {
protected:
    bool wire_in_contains(const Bytes& needle) {
        const Bytes in = world.wire_in();
        return std::search(in.begin(), in.end(), needle.begin(), needle.end()) != in.end();
    }
};

TEST_F(EmuCommandsTest, TheControllerReadsItsBaseFromTheEmulatedKey) {
    keys_to_give = many_keys(20);
    lock_to_give = 0x0040;
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartEmuFromDb(); }));
    EXPECT_EQ(1363u, asked().at(0).param);
    const std::vector<devsim::SimKey> stored = world.controller_keys();
    ASSERT_EQ(20u, stored.size());
    for (size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(0, std::memcmp(stored[i].number.data(), keys_to_give[i].number.bytes, 6)) << i;
    // The request for address 0x0020 is answered with image bytes 32-63.
    Bytes image(8192, 0xFF);
    m6::PrepareQ4(keys_to_give, lock_to_give, image.data(), image.size(), m6::MEM_8K);
    Bytes answer{0x53};
    const Bytes page1 = slice(image, 32, 32);
    answer.insert(answer.end(), page1.begin(), page1.end());
    EXPECT_TRUE(wire_in_contains(answer));
    EXPECT_TRUE(wait_until(
        [&] { return !world.with_adapter([](devsim::CAdapterSim& a) { return a.emulating(); }); }));
    EXPECT_EQ("Recording has completed successfully", history().back());
}

TEST_F(EmuCommandsTest, TheControllerStoresItsBaseIntoTheEmulatedKey) {
    std::vector<devsim::SimKey> sim;
    for (unsigned i = 0; i < 30; ++i)
        sim.push_back({{uint8_t(i), 2, 3, 4, 5, uint8_t(i % 16)}, false, int(1 + i % 4)});
    world.set_controller_keys(sim, 0x0099);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartEmuToDb(); }));
    std::vector<m6::_db_key> keys;
    unsigned short lock = 0;
    thread.GetDbData(keys, lock);
    EXPECT_EQ(0x0099, lock);
    ASSERT_EQ(30u, keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(0, std::memcmp(sim[i].number.data(), keys[i].number.bytes, 6)) << i;
    EXPECT_EQ(0u, history().back().rfind("30 keys has been successfully read (", 0)) << history().back();
    EXPECT_TRUE(wait_until(
        [&] { return !world.with_adapter([](devsim::CAdapterSim& a) { return a.emulating(); }); }));
}

TEST_F(EmuCommandsTest, ADallasKeyIsEmulatedUntilTheWindowCancels) {
    const unsigned char id[8] = {0x01, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
    connect_pty();
    std::thread breaker([&] {
        world.wait_until([&] { return world.counters().emu_dallas > 0; }, kDeadline);
        thread.BreakCmd();
    });
    run([&] { thread.StartEmuDallas(id); });
    breaker.join();
    std::array<uint8_t, 8> expected;
    std::copy(id, id + 8, expected.begin());
    EXPECT_EQ(expected, world.with_adapter([](devsim::CAdapterSim& a) { return a.emulated_dallas(); }));
    EXPECT_TRUE(wait_until(
        [&] { return !world.with_adapter([](devsim::CAdapterSim& a) { return a.emulating(); }); }));
}

TEST_F(EmuCommandsTest, PowerOffHoldsTheKeyLineOffUntilCancelled) {
    connect_pty();
    std::thread breaker([&] {
        world.wait_until([&] { return world.counters().line_offs > 0; }, kDeadline);
        thread.BreakCmd();
    });
    run([&] { thread.StartPowerOff(); });
    breaker.join();
    EXPECT_TRUE(wait_until(
        [&] { return world.with_adapter([](devsim::CAdapterSim& a) { return a.key_line_on(); }); }));
}
