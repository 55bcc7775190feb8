// The application's only top-level window: owner of everything the user works with.
#pragma once

#include <giomm/settings.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/cssprovider.h>
#include <sigc++/connection.h>

class CMainWindow : public Gtk::ApplicationWindow {
public:
    explicit CMainWindow(const Glib::RefPtr<Gtk::Application>& app);
    ~CMainWindow() override;

protected:
    void load_css();
    // Empties the log file when asked to (start-up only), then sets the level from the settings.
    void apply_debug_log_settings(bool at_startup);
    void save_window_size();

    void on_appset_changed(const Glib::ustring& key);
    void on_destroy();

    Glib::RefPtr<Gtk::Application> m_refApp;
    Glib::RefPtr<Gtk::CssProvider> m_refCssProvider;
    sigc::connection m_conn_destroy;
    bool m_bSizeSaved = false;
};
