// The adapter's port disappearing in the middle of each command: the command ends with its own failure line,
// the reason is in the history and the link is dropped at once, so that reconnection can start.
#include "adapter/OpsFixture.h"

using namespace ops;

namespace {

const char* const kLost = "Connection with the adapter lost";

// Where the port goes: after `frames` more frames or lines from the program, or (frames 0) as soon as the
// world has seen `reached`, while the program waits there without end.
struct PortLostCase {
    const char* name;
    std::function<void(devsim::CWorld&)> setup;
    std::function<void(CAdapterThread&)> start;
    uint64_t frames;
    std::function<bool(const devsim::Counters&)> reached;
    const char* last_line; // the status line the command ends with
};

const unsigned char kDallasId[8] = {0x01, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};

void slow_controller(devsim::CWorld& world) {
    // The emulated controller never asks: the program waits for it until the port goes.
    world.with_adapter([](devsim::CAdapterSim& a) { a.config().emu_delay = std::chrono::hours(1); });
}

const PortLostCase kCases[] = {
    {"ControllerToFileInItsPageLoop", [](devsim::CWorld& w) { w.set_controller_type(4); },
     [](CAdapterThread& t) { t.StartQ4tToFile(); }, 60, nullptr,
     "Reading has not been completed, please try again"},
    // Adapter woken (2 frames), page 0 read (3), then the list is written: the port goes at its 20th page.
    {"ControllerFromDbInItsPageLoop", [](devsim::CWorld& w) { w.set_controller_type(4); },
     [](CAdapterThread& t) { t.StartQ4tFromDb(); }, 2 + 3 + 20 * 3, nullptr,
     "The record has not been made, please try again"},
    // Adapter woken (2 frames), page 0 read (3), then the memory is written (256 pages of 3 frames) and
    // read back: the port goes at the tenth read of the verification.
    {"MemoryTestInItsVerification", [](devsim::CWorld&) {}, [](CAdapterThread& t) { t.StartQ4tTest(); },
     2 + 3 + 256 * 3 + 30, nullptr, "Testing not completed, please try again"},
    // An unknown memory code makes the detection probe the size by writing: the port goes at the first
    // probe write (frames 6-8).
    {"MemoryDetectionInItsProbe", [](devsim::CWorld& w) { w.set_controller_unknown(8192, 0x42); },
     [](CAdapterThread& t) { t.StartQ4tClear(); }, 8, nullptr, "11 No connection!"},
    {"DS1996KeyWait", [](devsim::CWorld&) {}, [](CAdapterThread& t) { t.StartDS1996Prepare(); }, 3, nullptr,
     "13 No connection!"},
    {"DS1996ToFileInItsPageLoop", [](devsim::CWorld& w) { w.touch_ds1996(); },
     [](CAdapterThread& t) { t.StartDS1996ToFile(); }, 40, nullptr,
     "Reading has not been completed, please try again"},
    {"EmulationServingTheController", slow_controller, [](CAdapterThread& t) { t.StartEmuFromDb(); }, 0,
     [](const devsim::Counters& c) { return c.emu_starts > 0; },
     "The record has not been made, please try again"},
    {"EmulationTakingTheControllersBase", slow_controller, [](CAdapterThread& t) { t.StartEmuToDb(); }, 0,
     [](const devsim::Counters& c) { return c.emu_starts > 0; },
     "Reading has not been completed, please try again"},
    {"DallasEmulation", [](devsim::CWorld&) {}, [](CAdapterThread& t) { t.StartEmuDallas(kDallasId); }, 0,
     [](const devsim::Counters& c) { return c.emu_dallas > 0; }, kLost},
    {"PowerOff", [](devsim::CWorld&) {}, [](CAdapterThread& t) { t.StartPowerOff(); }, 0,
     [](const devsim::Counters& c) { return c.line_offs > 0; }, kLost},
    // The wake that ends the scan, then the first "t57" line goes unanswered.
    {"TemicExchange", [](devsim::CWorld& w) { w.touch_temic(); },
     [](CAdapterThread& t) {
         const uint8_t number[5] = {1, 2, 3, 4, 5};
         t.StartWriteEmMarineToTemic(CCardUID(number, 5), RDX_PORT_NONE, "");
     },
     2, nullptr, "The record has not been made, please try again"},
};

void PrintTo(const PortLostCase& c, std::ostream* os) {
    *os << c.name;
}

class PortLost : public COpsTest, public ::testing::WithParamInterface<PortLostCase> {};

} // namespace

TEST_P(PortLost, EndsTheCommandWithItsOwnFailureLine) {
    const PortLostCase& c = GetParam();
    c.setup(world);
    keys_to_give = many_keys(5);
    connect_pty();
    // Between two scans the idle adapter is left alone, so the frames counted from here are the command's.
    ASSERT_TRUE(wait_until([&] { return thread.GetComMode() == CAdapterThread::COM_SCANNING; }));
    std::thread vanisher;
    if (c.frames > 0) {
        world.vanish_after(c.frames);
    } else {
        vanisher = std::thread([&] {
            world.wait_until([&] { return c.reached(world.counters()); }, kDeadline);
            world.vanish();
        });
    }
    const bool ok = run([&] { c.start(thread); });
    if (vanisher.joinable())
        vanisher.join();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(world.vanished());
    const std::vector<std::string> lines = history();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), kLost)) << seen_text();
    EXPECT_EQ(c.last_line, thread.GetStatusText()) << seen_text();
    // Dropped at once, so that reconnection starts without waiting for the next failing read.
    std::lock_guard lock(mutex);
    EXPECT_EQ(CONNECTION_DISCONNECTED, connection_at_end);
}

INSTANTIATE_TEST_SUITE_P(Commands, PortLost, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
