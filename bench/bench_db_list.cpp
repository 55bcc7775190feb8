// Listing a database folder of 2,000 databases into the real main window on a real X display (Xvfb): the
// time from rebuilding the list to the next painted frame of the window.
// Run: xvfb-run -a build-rel/bench/bench_db_list  (GSETTINGS_SCHEMA_DIR is set from the build folder).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gdkmm/frameclock.h>
#include <giomm/settings.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>

#include "WindowBench.h"
#include "keys/CKeyDb.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {

constexpr int kDatabases = 2000;
constexpr int kKeysPerDatabase = 20;

using window_bench::g_app;

void run_until(const std::function<bool()>& done) {
    auto context = Glib::MainContext::get_default();
    while (!done())
        context->iteration(true);
}

// One database with keys and a description, copied under 2,000 names.
void fill_folder(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path first = dir / "base0000.dbf";
    {
        CKeyDb db;
        db.Connect(first, true);
        db.SetComment("Entrance of building 7, staff and visitors");
        for (int k = 0; k < kKeysPerDatabase; ++k) {
            key_info info{};
            info.id = static_cast<std::uint32_t>(k + 1);
            info.type = CT_DALLAS;
            const std::uint8_t bytes[] = {static_cast<std::uint8_t>(k), 0x12, 0x34, 0x56, 0x78, 0x9A};
            info.number = CCardUID(bytes, sizeof bytes);
            info.attr = KA_NORMAL;
            info.comment = "key";
            db.AddKey(info);
        }
        db.Close();
    }
    for (int i = 1; i < kDatabases; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "base%04d.dbf", i);
        std::filesystem::copy_file(first, dir / name, std::filesystem::copy_options::overwrite_existing);
    }
}

void BM_ListDatabaseFolder(benchmark::State& state) {
    auto* window = new CMainWindow(g_app);
    window->present();
    run_until([&] { return window->get_mapped(); });
    for (auto _ : state) {
        bool painted = false;
        auto paint = window->get_frame_clock()->signal_paint().connect([&] { painted = true; });
        window->UpdateBasesView();
        window->queue_draw();
        run_until([&] { return painted; });
        paint.disconnect();
        if (window->db_store()->get_n_items() != kDatabases)
            state.SkipWithError("not every database was listed");
    }
    window_bench::close_window(window);
}
BENCHMARK(BM_ListDatabaseFolder)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return window_bench::main(argc, argv, "bench_db_list", [](const Glib::RefPtr<Gio::Settings>&) {
        fill_folder(window_bench::g_home / "bases");
    });
}
