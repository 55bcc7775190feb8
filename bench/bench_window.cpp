// The main window's own figures, on a real X display (Xvfb): the time from constructing the window to its
// first painted frame, and the CPU an idle window uses while the main loop runs (the adapter lamp's timer
// and the device search included; no devices are attached).
// Run: xvfb-run -a build-release/bench/bench_window  (GSETTINGS_SCHEMA_DIR is set from the build folder).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <gdkmm/frameclock.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>

#include "WindowBench.h"
#include "ui/CMainWindow.h"

namespace {

using window_bench::g_app;

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void run_until(const std::function<bool()>& done) {
    auto context = Glib::MainContext::get_default();
    while (!done())
        context->iteration(true);
}

// Runs the main loop for a while; one wake-up of the loop's own per 100 ms bounds the overshoot.
void run_for(std::chrono::steady_clock::duration span) {
    const auto end = std::chrono::steady_clock::now() + span;
    auto context = Glib::MainContext::get_default();
    while (std::chrono::steady_clock::now() < end) {
        auto stop = Glib::signal_timeout().connect([] { return false; }, 100);
        context->iteration(true);
        stop.disconnect();
    }
}

// Builds the window and runs the main loop until its first frame has been painted.
CMainWindow* show_window() {
    auto* window = new CMainWindow(g_app);
    bool painted = false;
    sigc::connection paint;
    auto realize = window->signal_realize().connect(
        [&] { paint = window->get_frame_clock()->signal_paint().connect([&] { painted = true; }); });
    window->present();
    run_until([&] { return painted; });
    paint.disconnect();
    realize.disconnect();
    return window;
}

void BM_WindowToFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        CMainWindow* window = show_window();
        state.PauseTiming();
        window_bench::close_window(window);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// CPU milliseconds per second of an idle window's main loop.
void BM_IdleWindowCpu(benchmark::State& state) {
    CMainWindow* window = show_window();
    // The first frames and idle handlers settle, and the focused entry stops blinking its cursor (GTK blinks
    // for 10 s after the last key press).
    run_for(std::chrono::seconds(11));
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpu_start = cpu_seconds();
        const auto start = std::chrono::steady_clock::now();
        run_for(std::chrono::seconds(2));
        cpu += cpu_seconds() - cpu_start;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["cpu_ms_per_s"] = wall > 0 ? 1000.0 * cpu / wall : 0.0;
    window_bench::close_window(window);
}
BENCHMARK(BM_IdleWindowCpu)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return window_bench::main(argc, argv, "bench_window");
}
