// What every benchmark of the real window shares: a fresh home folder whose "bases" folder is the database
// folder, settings in memory, the build's schema, the cairo renderer (Xvfb has no GPU: software OpenGL would
// measure the emulator, not the window) and one registered application; and a window closed with the main
// loop left clean for the next measurement.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include <giomm/settings.h>
#include <glibmm/main.h>
#include <gtkmm/application.h>

#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace window_bench {

inline Glib::RefPtr<Gtk::Application> g_app;
inline std::filesystem::path g_home;

// Destroys the window and lets the main loop finish every pending thing about it.
inline void close_window(CMainWindow* window) {
    window->destroy();
    delete window;
    auto context = Glib::MainContext::get_default();
    while (context->pending())
        context->iteration(false);
}

// The whole program of a window benchmark: `prepare` fills the home (and may change settings) before the
// benchmarks run, `finish` releases what it made before the application goes. Without an X display there
// is nothing to measure: it says so and succeeds.
inline int main(int argc, char** argv, const char* name,
                const std::function<void(const Glib::RefPtr<Gio::Settings>&)>& prepare = {},
                const std::function<void()>& finish = {}) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "%s needs an X display (run it under xvfb-run)\n", name);
        return 0;
    }
    g_home = std::filesystem::temp_directory_path() / (std::string("kestrix-") + name);
    std::filesystem::remove_all(g_home);
    std::filesystem::create_directories(g_home / "bases");
    setenv("XDG_CONFIG_HOME", g_home.c_str(), 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("GSK_RENDERER", "cairo", 0);
    setenv("GSETTINGS_SCHEMA_DIR", KESTRIX_SCHEMA_DIR, 0);
    g_app = Gtk::Application::create("org.kestrix.KestrixBench", Gio::Application::Flags::NON_UNIQUE);
    g_app->register_application();
    auto settings = Gio::Settings::create(CAppSettings::kSchemaId);
    settings->set_string("db-dir", (g_home / "bases").string());
    if (prepare)
        prepare(settings);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (finish)
        finish();
    g_app.reset();
    std::filesystem::remove_all(g_home);
    return 0;
}

} // namespace window_bench
