// The adapter posing as a DS1996L towards the simulated controller, as a Dallas key, and with its key line
// switched off.
#include "adapter/OpsFixture.h"

#include <algorithm>

using namespace ops;

class EmuCommandsTest : public COpsTest {
protected:
    static constexpr size_t kPage = 32;
};

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

// The controller reads its base from the emulated key. Its first request runs past the 8192-byte image (the
// simulator's stray-address hook): the program answers it as erased memory and then serves the real pages.
TEST_F(EmuCommandsTest, TheControllerReadsItsBaseAndAStrayRequestIsAnsweredAsErasedMemory) {
    keys_to_give = many_keys(20);
    lock_to_give = 0x0040;
    world.set_emu_stray_address(0x1FF0);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartEmuFromDb(); })) << seen_text();
    EXPECT_EQ(1363u, asked().at(0).param);
    Bytes image(8192, 0xFF);
    m6::PrepareQ4(keys_to_give, lock_to_give, image.data(), image.size(), m6::MEM_8K);
    image[0] = m6::kQ4FormatComplete;
    image[1] = 0x00;
    Bytes expected{0x45};
    const Bytes page0 = slice(image, 0, kPage), page1 = slice(image, kPage, kPage);
    expected.insert(expected.end(), page0.begin(), page0.end());
    expected.push_back(0x53);
    expected.insert(expected.end(), kPage, 0xFF);
    expected.push_back(0x53);
    expected.insert(expected.end(), page1.begin(), page1.end());
    const Bytes in = world.wire_in();
    const auto at = std::search(in.begin(), in.end(), page0.begin(), page0.end());
    ASSERT_NE(in.end(), at);
    ASSERT_NE(in.begin(), at); // the start code 0x45 comes right before page 0
    const size_t from = static_cast<size_t>(at - in.begin()) - 1;
    ASSERT_LE(from + expected.size(), in.size());
    EXPECT_BYTES_EQ(expected, slice(in, from, expected.size()));
    EXPECT_EQ(20u, world.controller_keys().size());
    EXPECT_EQ("Recording has completed successfully", history().back());
}

// The controller stores its base into the emulated key; a written page running past the image is dropped. A
// full base reaches the image's last bytes, so even a partly stored stray page would change keys.
TEST_F(EmuCommandsTest, TheControllerStoresItsBaseAndAStrayWrittenPageIsDropped) {
    std::vector<devsim::SimKey> sim;
    for (unsigned i = 0; i < 1363; ++i)
        sim.push_back({{uint8_t(i), uint8_t(i >> 8), 0x3C, uint8_t(i * 5), 0x02, uint8_t(i % 16)},
                       false,
                       int(1 + i % 4)});
    world.set_controller_keys(sim, 0x0077);
    const Bytes base = world.with_adapter([](devsim::CAdapterSim& a) { return a.controller().base_as_q4(); });
    ASSERT_GT(devsim::Image_Q4Length(base), 0x1FF0u);
    world.set_emu_stray_address(0x1FF0);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartEmuToDb(); })) << seen_text();
    Bytes stray{0x52, 0xF0, 0x1F};
    stray.insert(stray.end(), kPage, devsim::CAdapterSim::kStrayFill);
    const Bytes out = world.wire_out();
    EXPECT_NE(out.end(), std::search(out.begin(), out.end(), stray.begin(), stray.end()));
    const auto [keys, lock] = db_data();
    EXPECT_EQ(0x0077, lock);
    ASSERT_EQ(sim.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(0, std::memcmp(sim[i].number.data(), keys[i].number.bytes, 6)) << i;
    EXPECT_EQ(0u, history().back().rfind("1363 keys has been successfully read (", 0)) << history().back();
}

// Cancelled before the controller asked for anything: the adapter is still told to end the emulation.
TEST_F(EmuCommandsTest, ACancelledEmulationIsEndedWith0x57) {
    world.with_adapter([](devsim::CAdapterSim& a) { a.config().emu_delay = std::chrono::hours(1); });
    keys_to_give = many_keys(3);
    connect_pty();
    std::thread breaker([&] {
        world.wait_until([&] { return world.counters().emu_starts > 0; }, kDeadline);
        thread.BreakCmd();
    });
    EXPECT_FALSE(run([&] { thread.StartEmuFromDb(); }));
    breaker.join();
    EXPECT_TRUE(wait_until(
        [&] { return !world.with_adapter([](devsim::CAdapterSim& a) { return a.emulating(); }); }));
    const Bytes in = world.wire_in();
    const auto start = std::find(in.begin(), in.end(), 0x45);
    ASSERT_GT(std::distance(start, in.end()), std::ptrdiff_t(1 + kPage));
    EXPECT_EQ(0x57, *(start + 1 + kPage)); // right after the start frame and its page 0
    EXPECT_EQ("The record has not been made, please try again", history().back());
}
