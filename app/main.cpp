// Process entry: locale and translations, the application object, the application folder and the log
// file name, then the main window.
#include <clocale>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <libintl.h>

#include <gtkmm/application.h>

#include "app/CDebugLog.h"
#include "app/Paths.h"
#include "ui/CMainWindow.h"

namespace {
constexpr const char* kTextDomain = "kestrix";
constexpr const char* kCodeSet = "UTF-8";
constexpr const char* kApplicationId = "org.kestrix.Kestrix";
constexpr const char* kLogFileName = "kestrix.log";

// $TEXTDOMAINDIR whenever it is set, even to an empty string; otherwise <resources root>/locale.
std::filesystem::path translations_dir() {
    if (const char* dir = std::getenv("TEXTDOMAINDIR"))
        return dir;
    return get_resources_path() / "locale";
}
} // namespace

int main(int argc, char* argv[]) {
    std::setlocale(LC_ALL, "");
    bindtextdomain(kTextDomain, translations_dir().c_str());
    bind_textdomain_codeset(kTextDomain, kCodeSet);
    textdomain(kTextDomain);

    auto app = Gtk::Application::create(kApplicationId);

    std::filesystem::path app_dir;
    try {
        app_dir = get_app_dir();
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return -1;
    }
    if (!create_app_folder(app_dir, std::cerr))
        return -1;
    g_Debug.set_filename(app_dir / kLogFileName);

    return app->make_window_and_run<CMainWindow>(argc, argv, app);
}
