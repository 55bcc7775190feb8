// The main window frame: construction order, settings reactions, the periodic and idle handlers and the
// window's lifetime.
#include "ui/CMainWindow.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include <giomm/resource.h>
#include <glibmm/main.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/stylecontext.h>

#include "app/CDebugLog.h"
#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/CHistoryDialog.h"
#include "ui/CSettingsDialog.h"

namespace {
constexpr const char* kCssResource = "/org/kestrix/Kestrix/style.css";
constexpr int kFirstWidth = 700;
constexpr int kFirstHeight = 250;
constexpr unsigned int kComModeIntervalMs = 333;
constexpr int kIdleOncePriority = 200;
constexpr unsigned int kSettledDelayMs = 50;
} // namespace

CMainWindow::CMainWindow(const Glib::RefPtr<Gtk::Application>& app)
    : Gtk::ApplicationWindow(app), m_app(app), m_db_store(Gio::ListStore<CDbInfo>::create()),
      m_history(Gio::ListStore<CHistoryRec>::create()), m_prop(CMyProp::create()),
      m_db_panel(m_db_store, m_prop) {
    g_AppSet = std::make_unique<CAppSettings>();
    // A second view of the same store for the settings actions and the bound check buttons.
    m_settings = Gio::Settings::create(CAppSettings::kSchemaId);
    m_xor_mode = g_AppSet->get_xor_mode();

    // 1-3: widgets, style, title and size, actions.
    build_layout();
    load_css();
    set_title(_("Kestrix"));
    set_default_size(kFirstWidth, kFirstHeight);
    create_actions();
    m_conn_focus = property_focus_widget().signal_changed().connect(
        sigc::mem_fun(*this, &CMainWindow::on_focus_widget_changed));
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CMainWindow::on_key_pressed), false);
    add_controller(keys);

    // 4: about dialog.

    // 5: settings changes and lifetime.
    m_conn_settings =
        g_AppSet->signal_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_appset_changed));
    m_conn_destroy = signal_destroy().connect(sigc::mem_fun(*this, &CMainWindow::on_destroy));
    connect_clipboard();

    // 6: the adapter lamp and the panes' first split.
    m_conn_com_mode = Glib::signal_timeout().connect(sigc::mem_fun(*this, &CMainWindow::on_timeout_com_mode),
                                                     kComModeIntervalMs);
    Glib::signal_idle().connect(sigc::mem_fun(*this, &CMainWindow::on_idle_once), kIdleOncePriority);

    // 7: size and log.
    set_default_size(g_AppSet->get_window_width(), g_AppSet->get_window_height());
    apply_debug_log_settings(true);
    if (g_Debug.IsLoggable(LOGLEVEL_INFO))
        g_Debug.LogMsg(LOGLEVEL_INFO, kWindowLogTag, "Kestrix started");

    // 8-9: the reader library's log and device search, the adapter worker and the key type buttons.
    m_dispatcher.connect(sigc::mem_fun(*this, &CMainWindow::on_disp));
    m_device_ports.signal_adapter_port_changed().connect(
        sigc::mem_fun(*this, &CMainWindow::on_adapter_port_changed));
    m_device_ports.signal_status_changed().connect(sigc::mem_fun(*this, &CMainWindow::UpdateDeviceStatus));
    try {
        m_device_ports.StartSearch();
    } catch (const std::exception& e) {
        SetStatusMessage(e.what());
    }
    start_adapter();
    set_key_type_buttons(g_AppSet->get_scan_key_type());

    // 10: ports, device state, database folder, first view.
    m_device_ports.UpdatePorts();
    UpdateDeviceStatus();
    UpdateDbDir();
    SetViewMode(VIEW_DATABASES);
}

CMainWindow::~CMainWindow() {
    m_conn_destroy.disconnect();
    m_conn_com_mode.disconnect();
    m_conn_focus.disconnect();
    m_conn_search_timer.disconnect();
    m_conn_port_timer.disconnect();
    m_settings_dialog.reset();
    m_adapter_thread.set_on_notify({});
    m_adapter_thread.Stop();
    // Deleted by C++ rather than by the toolkit: the destroy signal has not run yet.
    if (gobj() != nullptr)
        release_window_state();
    m_conn_settings.disconnect();
    m_docs[0].close(false);
    m_docs[1].close(false);
    g_AppSet.reset();
}

Glib::ustring CMainWindow::version_text(std::uint32_t packed) {
    return Glib::ustring::compose("%1.%2.%3", (packed >> 24) & 0xFF, (packed >> 16) & 0xFF,
                                  (packed >> 8) & 0xFF);
}

void CMainWindow::load_css() {
    // Without the compiled-in bundle (as in some test programs) the window simply stays unstyled.
    if (!Gio::Resource::get_file_exists_global_nothrow(kCssResource))
        return;
    m_css_provider = Gtk::CssProvider::create();
    m_css_provider->load_from_resource(kCssResource);
    Gtk::StyleContext::add_provider_for_display(get_display(), m_css_provider,
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

void CMainWindow::restart_search_options_timer() {
    restart_settled_timer(m_conn_search_timer, "set_search_timeout exception: %s",
                          [this] { m_device_ports.update_search_for_devices_options(); });
}

void CMainWindow::restart_port_timer() {
    restart_settled_timer(m_conn_port_timer, "set_port_timeout exception: %s", [this] {
        m_device_ports.UpdateAutoAPort();
        m_device_ports.UpdateDevicePort();
    });
}

void CMainWindow::restart_settled_timer(sigc::connection& timer, const char* failure_format,
                                        std::function<void()> work) {
    timer.disconnect();
    timer = Glib::signal_timeout().connect(
        [failure_format, work = std::move(work)] {
            try {
                work();
            } catch (const std::exception& e) {
                g_Debug.LogMsgFmt(LOGLEVEL_ERROR, kWindowLogTag, failure_format, e.what());
            }
            return false;
        },
        kSettledDelayMs);
}

bool CMainWindow::on_timeout_com_mode() {
    m_status_bar.com_mode_view().SetStatus(m_adapter_thread.GetComMode(), m_adapter_thread.GetPowerMode());
    return true;
}

bool CMainWindow::on_idle_once() {
    m_paned.set_position(get_width() / 2);
    return false;
}

void CMainWindow::on_appset_changed(const Glib::ustring& key) {
    if (key == "debug-write-log" || key == "debug-log-level") {
        apply_debug_log_settings(false);
        m_device_ports.apply_log_level();
    } else if (key == "db-dir") {
        UpdateDbDir();
    } else if (key == "search-for-usb" || key == "search-for-ccid" || key == "search-for-server" ||
               key == "search-for-client") {
        restart_search_options_timer();
    } else if (key == "reader-port-type" || key == "reader-port-name" || key == "adapter-port-type" ||
               key == "adapter-port-name") {
        restart_port_timer();
    } else if (key == "xor-mode") {
        m_xor_mode = g_AppSet->get_xor_mode();
        m_adapter_thread.set_xor_mode(m_xor_mode);
        UpdateTitle();
    } else if (key == "different-kf300") {
        m_adapter_thread.set_different_kf300(g_AppSet->get_different_kf300());
    } else if (key == "scan-key-type") {
        const ScanKeyType type = g_AppSet->get_scan_key_type();
        m_adapter_thread.set_scan_key_type(type);
        set_key_type_buttons(type);
    }
}

bool CMainWindow::on_close_request() {
    // A refused close is retried by the question's answer.
    if (!DoClose(true, [this] { destroy(); }))
        return true;
    return Gtk::ApplicationWindow::on_close_request();
}

void CMainWindow::on_action_quit() {
    // Ends the application without asking about unsaved changes.
    set_visible(false);
}

void CMainWindow::on_destroy() {
    release_window_state();
}

void CMainWindow::release_window_state() {
    if (m_released)
        return;
    m_released = true;
    int width = 0;
    int height = 0;
    get_default_size(width, height);
    if (g_AppSet && width > 0 && height > 0)
        g_AppSet->set_window_size(width, height);
    m_db_store->remove_all();
    m_docs[0].get_keys()->remove_all();
    m_docs[1].get_keys()->remove_all();
}

void CMainWindow::show_status_details_dialog() {
    if (!m_history_dialog) {
        m_history_dialog = std::make_unique<CHistoryDialog>(*this, m_history);
        m_history_dialog->set_hide_on_close(true);
        m_history_dialog->signal_hide().connect([this] { m_closed_windows.release(m_history_dialog); });
    }
    m_history_dialog->present();
}
