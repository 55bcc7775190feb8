// The window while a long device command runs: a 5,459-key database written from the window to the
// simulated 32 KB controller, with the simulator pacing bytes at 38,400 baud. The window must keep drawing:
// the figures are the longest gap between two frames the window's frame clock drew, and the longest delay of
// a 10 ms main-loop timer, over the whole write (question, progress lines, history and the end included),
// from a window that has drawn the opened database.
// Run: xvfb-run -a build-rel/bench/bench_device_flow  (GSETTINGS_SCHEMA_DIR is set from the build folder).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <gdkmm/frameclock.h>
#include <giomm/settings.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>

#include "WindowBench.h"
#include "keys/CKeyDocument.h"
#include "settings/CAppSettings.h"
#include "sim/devsim/CWorld.h"
#include "ui/CMainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kKeys = 5459;   // a full 32 KB controller
constexpr int kControllerType = 4; // 32 KB
constexpr unsigned kTimerMs = 10;
constexpr unsigned kSettleFrames = 3;

using window_bench::g_app;
using window_bench::g_home;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool run_until(const std::function<bool()>& done, std::chrono::seconds limit) {
    auto context = Glib::MainContext::get_default();
    const auto end = Clock::now() + limit;
    auto tick = Glib::signal_timeout().connect([] { return true; }, 50);
    while (!done() && Clock::now() < end)
        context->iteration(true);
    tick.disconnect();
    return done();
}

void make_database(const std::filesystem::path& file) {
    CKeyDocument doc;
    doc.set_filename(file);
    doc.open();
    for (unsigned i = 0; i < kKeys; ++i) {
        const std::uint8_t bytes[] = {
            std::uint8_t(i), std::uint8_t(i >> 8), 0x5A, std::uint8_t(i * 7), 0x01, std::uint8_t(i % 16)};
        doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, sizeof(bytes)), false,
                    static_cast<KeyAttr>(1 + i % 4), "key");
    }
    doc.save();
    doc.close(false);
}

// The longest gap between frames and between timer runs while `running` holds.
struct StallProbe {
    Clock::time_point last_frame{}, last_timer{};
    double frame_gap_ms = 0, timer_late_ms = 0;
    unsigned frames = 0;

    void on_frame() {
        const auto now = Clock::now();
        if (last_frame != Clock::time_point{})
            frame_gap_ms = std::max(frame_gap_ms, ms(now - last_frame));
        last_frame = now;
        ++frames;
    }
    void on_timer() {
        const auto now = Clock::now();
        if (last_timer != Clock::time_point{})
            timer_late_ms = std::max(timer_late_ms, ms(now - last_timer) - kTimerMs);
        last_timer = now;
    }
};

void BM_WindowWhileWritingAFullController(benchmark::State& state) {
    devsim::WorldOptions options;
    options.devices_file = (g_home / "world" / "devices").string();
    options.pace = true;
    devsim::CWorld world(options);
    world.set_controller_type(kControllerType);
    make_database(g_home / "bases" / "full.dbf");

    auto* window = new CMainWindow(g_app);
    window->present();
    if (!run_until([&] { return window->adapter().GetConnectStatus() == CONNECTION_CONNECTED; },
                   std::chrono::seconds(30))) {
        state.SkipWithError("the simulated adapter was not connected");
        window->destroy();
        delete window;
        return;
    }
    window->OpenDatabases({"full"});
    // The command starts from a window at rest: the first frames after opening lay out the new table's two
    // hundred rows, which belongs to opening the database, not to the command measured here.
    unsigned frames_after_open = 0;
    const auto settle = window->add_tick_callback([&](const Glib::RefPtr<Gdk::FrameClock>&) {
        ++frames_after_open;
        return true;
    });
    run_until([&] { return frames_after_open >= kSettleFrames; }, std::chrono::seconds(30));
    window->remove_tick_callback(settle);

    StallProbe probe;
    double write_s = 0;
    for (auto _ : state) {
        const auto tick = window->add_tick_callback([&](const Glib::RefPtr<Gdk::FrameClock>&) {
            probe.on_frame();
            return true;
        });
        auto timer = Glib::signal_timeout().connect(
            [&] {
                probe.on_timer();
                return true;
            },
            kTimerMs);
        const auto start = Clock::now();
        window->main_actions()->activate_action("q4t_from_db");
        const bool done = run_until(
            [&] {
                return window->adapter().GetCurrentCmd() == CAdapterThread::CMD_NONE &&
                       window->status_bar().get_info() == "End";
            },
            std::chrono::seconds(300));
        write_s = std::chrono::duration<double>(Clock::now() - start).count();
        timer.disconnect();
        window->remove_tick_callback(tick);
        if (!done || world.controller_keys().size() != kKeys)
            state.SkipWithError("the controller was not written");
    }
    state.counters["max_frame_gap_ms"] = probe.frame_gap_ms;
    state.counters["max_timer_delay_ms"] = probe.timer_late_ms;
    state.counters["frames"] = probe.frames;
    state.counters["write_s"] = write_s;
    window_bench::close_window(window);
}
BENCHMARK(BM_WindowWhileWritingAFullController)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return window_bench::main(argc, argv, "bench_device_flow",
                              [](const Glib::RefPtr<Gio::Settings>& settings) {
                                  std::filesystem::create_directories(g_home / "world");
                                  setenv("RDX_SIM_DIR", (g_home / "world").c_str(), 1);
                                  // A full controller takes exactly its capacity: the window would ask before
                                  // writing it.
                                  settings->set_boolean("key-list-confirm", false);
                              });
}
