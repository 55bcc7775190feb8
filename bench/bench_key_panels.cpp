// The key tables' own figures on a real X display (Xvfb), over a database of 100,000 keys: opening it to the
// first painted table (and the memory its document and rows take), a filter text applied, sorting by each
// column, and scrolling from top to bottom one frame at a time (over three such databases).
// Run: xvfb-run -a build-rel/bench/bench_key_panels  (GSETTINGS_SCHEMA_DIR is set from the build folder).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gdkmm/frameclock.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>

#include "WindowBench.h"
#include "keys/CKeyDocument.h"
#include "ui/CMainWindow.h"

namespace {

constexpr unsigned kKeys = 100000;
constexpr const char* kDbName = "big";
// The same keys, every one of them "Normal", as most real lists are.
constexpr const char* kNormalDbName = "normal";
// The same keys described in Russian, as the lists of the program's first users are.
constexpr const char* kCyrillicDbName = "cyrillic";
constexpr int kWidth = 1200;
constexpr int kHeight = 800;

using window_bench::g_app;
CMainWindow* g_window = nullptr;

double resident_mb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void run_until(const std::function<bool()>& done) {
    auto context = Glib::MainContext::get_default();
    while (!done())
        context->iteration(true);
}

void run_pending() {
    auto context = Glib::MainContext::get_default();
    while (context->pending())
        context->iteration(false);
}

// Runs the main loop until the window has painted a frame after this call.
void wait_for_paint() {
    bool painted = false;
    auto paint = g_window->get_frame_clock()->signal_paint().connect([&] { painted = true; });
    g_window->queue_draw();
    run_until([&] { return painted; });
    paint.disconnect();
}

// Keys take the four attributes in turn, unless `all_normal`.
void make_database(const std::filesystem::path& dir, const char* name, bool all_normal,
                   bool cyrillic = false) {
    CKeyDocument doc;
    doc.set_filename(dir / (std::string(name) + ".dbf"));
    doc.open();
    CKeyDocument::KeyList keys;
    keys.reserve(kKeys);
    for (unsigned i = 0; i < kKeys; ++i) {
        // Numbers spread over all six bytes, descriptions of a few words as people write them.
        const std::uint64_t value = (static_cast<std::uint64_t>(i) * 0x9E3779B97F4A7C15ull) >> 16;
        const Glib::ustring description = Glib::ustring::compose(cyrillic ? "Квартира %1, подъезд %2, ключ %3"
                                                                          : "Flat %1, entrance %2, key %3",
                                                                 i / 4 + 1, i % 7 + 1, i % 4 + 1);
        keys.push_back(CKey::create(doc.generate_key_id(), i % 3 == 0 ? CT_EM_MARINE : CT_DALLAS,
                                    all_normal ? KA_NORMAL : static_cast<KeyAttr>(i % 4 + 1),
                                    CCardUID(value, 6), i % 11 == 0,
                                    1600000000 + static_cast<std::int64_t>(i) * 60, description));
    }
    doc.add_keys(keys, 0);
    doc.save();
    doc.close(false);
}

void show_window() {
    g_window = new CMainWindow(g_app);
    g_window->set_default_size(kWidth, kHeight);
    bool painted = false;
    sigc::connection paint;
    auto realize = g_window->signal_realize().connect(
        [&] { paint = g_window->get_frame_clock()->signal_paint().connect([&] { painted = true; }); });
    g_window->present();
    run_until([&] { return painted; });
    paint.disconnect();
    realize.disconnect();
}

void open_database(const char* name = kDbName) {
    g_window->OpenDatabases({name});
    wait_for_paint();
}

void close_database() {
    g_window->DoClose(true, {});
    run_pending();
}

void BM_OpenToFirstPaintedTable(benchmark::State& state) {
    double grown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = resident_mb();
        state.ResumeTiming();
        open_database();
        state.PauseTiming();
        grown = std::max(grown, resident_mb() - before);
        if (g_window->key_panel(0).shown_count() != kKeys)
            state.SkipWithError("the table does not show every key");
        close_database();
        state.ResumeTiming();
    }
    state.counters["document_and_rows_mb"] = grown;
}
BENCHMARK(BM_OpenToFirstPaintedTable)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The filter as it runs once the typing pause is over, until the table is painted.
void BM_FilterAfterPause(benchmark::State& state) {
    open_database();
    CKeyPanel& panel = g_window->key_panel(0);
    const char* texts[] = {"entrance 3", "A1B", "flat 12"};
    unsigned shown = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        panel.set_filter_text(texts[i++ % 3]);
        wait_for_paint();
        state.PauseTiming();
        shown = panel.shown_count();
        panel.set_filter_text("");
        wait_for_paint();
        state.ResumeTiming();
    }
    state.counters["shown"] = shown;
    close_database();
}
BENCHMARK(BM_FilterAfterPause)->Unit(benchmark::kMillisecond)->Iterations(6)->UseRealTime();

void BM_SortByColumn(benchmark::State& state) {
    open_database();
    CKeyPanel& panel = g_window->key_panel(0);
    const Glib::ustring id = panel.columns()[static_cast<std::size_t>(state.range(0))].id;
    state.SetLabel(id);
    bool descending = false;
    for (auto _ : state) {
        panel.sort_by_column_id(id, descending);
        wait_for_paint();
        descending = !descending;
    }
    // After the measured loop: the clean-up is not timed.
    panel.sort_by_column_id("", false);
    close_database();
}
BENCHMARK(BM_SortByColumn)
    ->DenseRange(0, CKeyPanel::KEY_COL_COUNT - 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The processor time this thread has used: a frame's wall time less it is time the thread waited, for the
// X server or for a processor the machine gave to someone else.
double thread_cpu_ms() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Moment {
    Clock::time_point wall;
    double cpu_ms = 0;
};

Moment moment() {
    return {Clock::now(), thread_cpu_ms()};
}

// The frame clock's before-paint and after-paint: the frame's own work lies between them.
void on_frame_phase(GdkFrameClock*, gpointer data) {
    *static_cast<Moment*>(data) = moment();
}

// From top to bottom a page at a time (at most kScrollSteps frames). A frame's work is the scroll itself
// (the rows set to other keys) and the frame that lays out and draws it, from the frame clock's
// before-paint to its after-paint; the slowest counts. Until painted adds the wait for the frame's turn
// (the frame clock paints at most every 16.7 ms), which is not work of the table. The slowest frame's
// processor time is what the program's thread itself spent on that frame. Argument 0: keys of the four
// attributes in turn, so that almost every attribute cell shows another attribute in every frame; 1: every
// key "Normal"; 2: as 0, described in Russian.
void BM_ScrollTopToBottom(benchmark::State& state) {
    constexpr int kScrollSteps = 400;
    static constexpr const char* kDatabases[] = {kDbName, kNormalDbName, kCyrillicDbName};
    static constexpr const char* kLabels[] = {"attributes in turn", "all Normal",
                                              "attributes in turn, Cyrillic"};
    state.SetLabel(kLabels[state.range(0)]);
    open_database(kDatabases[state.range(0)]);
    CKeyPanel& panel = g_window->key_panel(0);
    auto adjustment = panel.scroll_position();
    GdkFrameClock* clock = g_window->get_frame_clock()->gobj();
    Moment before_paint;
    Moment after_paint;
    const gulong before = g_signal_connect(clock, "before-paint", G_CALLBACK(on_frame_phase), &before_paint);
    const gulong after = g_signal_connect(clock, "after-paint", G_CALLBACK(on_frame_phase), &after_paint);
    int layouts = 0;
    auto counted = g_window->get_surface()->signal_layout().connect([&](int, int) { ++layouts; });
    std::vector<double> frame_ms;
    double slowest_frame_cpu = 0;
    double slowest_until_painted = 0;
    for (auto _ : state) {
        adjustment->set_value(0);
        wait_for_paint();
        const double end = adjustment->get_upper() - adjustment->get_page_size();
        const double step = std::max(adjustment->get_page_size(), end / kScrollSteps);
        for (double value = step; value <= end + step; value += step) {
            const Moment start = moment();
            adjustment->set_value(std::min(value, end));
            const Moment scrolled = moment();
            wait_for_paint();
            run_until(
                [&] { return after_paint.wall >= before_paint.wall && before_paint.wall >= scrolled.wall; });
            frame_ms.push_back(ms_between(start.wall, scrolled.wall) +
                               ms_between(before_paint.wall, after_paint.wall));
            slowest_frame_cpu = std::max(slowest_frame_cpu, scrolled.cpu_ms - start.cpu_ms +
                                                                after_paint.cpu_ms - before_paint.cpu_ms);
            slowest_until_painted = std::max(slowest_until_painted, ms_between(start.wall, after_paint.wall));
        }
    }
    g_signal_handler_disconnect(clock, before);
    g_signal_handler_disconnect(clock, after);
    counted.disconnect();
    // The median and the upper percentiles tell the table's own cost from the machine's hiccups, which decide
    // the slowest frame.
    std::sort(frame_ms.begin(), frame_ms.end());
    const auto percentile = [&](double p) {
        return frame_ms[static_cast<std::size_t>(p * (frame_ms.size() - 1))];
    };
    state.counters["median_frame_ms"] = percentile(0.5);
    state.counters["p90_frame_ms"] = percentile(0.9);
    state.counters["p99_frame_ms"] = percentile(0.99);
    state.counters["slowest_frame_ms"] = frame_ms.back();
    state.counters["slowest_frame_cpu_ms"] = slowest_frame_cpu;
    state.counters["slowest_until_painted_ms"] = slowest_until_painted;
    state.counters["frames"] = static_cast<double>(frame_ms.size());
    // Frames that laid the window out as well (on X each waits for the server to finish the frame before).
    state.counters["window_layouts"] = layouts;
    close_database();
}
BENCHMARK(BM_ScrollTopToBottom)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return window_bench::main(
        argc, argv, "bench_key_panels",
        [](const Glib::RefPtr<Gio::Settings>&) {
            make_database(window_bench::g_home / "bases", kDbName, false);
            make_database(window_bench::g_home / "bases", kNormalDbName, true);
            make_database(window_bench::g_home / "bases", kCyrillicDbName, false, true);
            show_window();
        },
        [] { window_bench::close_window(g_window); });
}
