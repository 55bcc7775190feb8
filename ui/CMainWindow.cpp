// The main window frame: construction, settings reactions, debug log set-up and closing.
#include "ui/CMainWindow.h"

#include <filesystem>
#include <system_error>

#include <giomm/resource.h>
#include <gtkmm/stylecontext.h>

#include "app/CAppSettings.h"
#include "app/CDebugLog.h"
#include "app/i18n.h"

namespace {
constexpr const char* kLogTag = "main";
constexpr const char* kCssResource = "/org/kestrix/Kestrix/style.css";
constexpr int kFirstWidth = 700;
constexpr int kFirstHeight = 250;
} // namespace

CMainWindow::CMainWindow(const Glib::RefPtr<Gtk::Application>& app) : m_refApp(app) {
    g_AppSet = std::make_unique<CAppSettings>();

    load_css();
    set_title(_("Kestrix"));
    set_default_size(kFirstWidth, kFirstHeight);

    g_AppSet->signal_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_appset_changed));
    m_conn_destroy = signal_destroy().connect(sigc::mem_fun(*this, &CMainWindow::on_destroy));

    set_default_size(g_AppSet->get_window_width(), g_AppSet->get_window_height());
    apply_debug_log_settings(true);
    if (g_Debug.IsLoggable(LOGLEVEL_INFO))
        g_Debug.LogMsg(LOGLEVEL_INFO, kLogTag, "Kestrix started");
}

CMainWindow::~CMainWindow() {
    m_conn_destroy.disconnect();
    // Deleted by C++ rather than by the toolkit: the destroy signal has not run yet.
    if (!m_bSizeSaved && gobj() != nullptr)
        save_window_size();
    g_AppSet.reset();
}

void CMainWindow::load_css() {
    // Without the compiled-in bundle (as in some test programs) the window simply stays unstyled.
    if (!Gio::Resource::get_file_exists_global_nothrow(kCssResource))
        return;
    m_refCssProvider = Gtk::CssProvider::create();
    m_refCssProvider->load_from_resource(kCssResource);
    Gtk::StyleContext::add_provider_for_display(get_display(), m_refCssProvider,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void CMainWindow::apply_debug_log_settings(bool at_startup) {
    if (at_startup && g_AppSet->get_debug_clear_log()) {
        std::error_code ec;
        if (std::filesystem::exists(g_Debug.get_filename(), ec))
            g_Debug.clear();
    }
    g_Debug.set_log_level(g_AppSet->get_debug_write_log() ? g_AppSet->get_debug_loglevel() : LOGLEVEL_NONE);
}

void CMainWindow::save_window_size() {
    int width = 0;
    int height = 0;
    get_default_size(width, height);
    if (g_AppSet && width > 0 && height > 0)
        g_AppSet->set_window_size(width, height);
    m_bSizeSaved = true;
}

void CMainWindow::on_appset_changed(const Glib::ustring& key) {
    if (key == "debug-write-log" || key == "debug-log-level")
        apply_debug_log_settings(false);
}

void CMainWindow::on_destroy() {
    save_window_size();
}
