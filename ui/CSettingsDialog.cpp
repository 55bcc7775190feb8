// The settings dialog: layout, loading and storing the values, OK and Cancel, the folder chooser and the
// debug frame's menu. The port drop-downs are in CSettingsDialogPorts.cpp.
#include "ui/CSettingsDialog.h"

#include <giomm/appinfo.h>
#include <giomm/menu.h>
#include <giomm/resource.h>
#include <glibmm/convert.h>
#include <gtkmm/dialog.h>
#include <gtkmm/stringlist.h>

#include <filesystem>
#include <iostream>

#include "app/CDebugLog.h"
#include "app/Paths.h"
#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/LayoutSpacing.h"
#include "ui/WindowRelease.h"

namespace {
constexpr int kCheckSpacing = 2;
constexpr int kDefaultWidth = 500;
constexpr int kDefaultHeight = 150;
constexpr const char* kDebugMenuResource = "/org/kestrix/Kestrix/menudebug.ui";

// Settings keys edited here.
constexpr const char* kKeyDbDir = "db-dir";
constexpr const char* kKeySearchUsb = "search-for-usb";
constexpr const char* kKeySearchCcid = "search-for-ccid";
constexpr const char* kKeySearchServer = "search-for-server";
constexpr const char* kKeySearchClient = "search-for-client";
constexpr const char* kKeyAdapterPortType = "adapter-port-type";
constexpr const char* kKeyAdapterPortName = "adapter-port-name";
constexpr const char* kKeyReaderPortType = "reader-port-type";
constexpr const char* kKeyReaderPortName = "reader-port-name";
constexpr const char* kKeyWriteLog = "debug-write-log";
constexpr const char* kKeyLogLevel = "debug-log-level";
constexpr const char* kKeyClearLog = "debug-clear-log";
constexpr const char* kKeyDeleteDbConfirm = "delete-db-confirm";
constexpr const char* kKeyDeleteKeyConfirm = "delete-key-confirm";
constexpr const char* kKeyLockTimeConfirm = "lock-time-confirm";
constexpr const char* kKeyKeyListConfirm = "key-list-confirm";

void set_frame_child(Gtk::Frame& frame, const Glib::ustring& title, Gtk::Widget& child) {
    frame.set_label(title);
    frame.set_child(child);
}
} // namespace

CSettingsDialog::CSettingsDialog(Gtk::Window& parent, std::shared_ptr<Gio::ListStore<CReaderInfo>> devices)
    : m_devices(std::move(devices)) {
    build_layout();
    build_debug_menu();

    m_settings = Gio::Settings::create(CAppSettings::kSchemaId);
    m_settings->delay();
    load_values();

    set_transient_for(parent);
    connect_handlers();
    UpdateAPortDropDown();
    UpdateRPortDropDown();
    UpdateCtrlData(false);
}

CSettingsDialog::~CSettingsDialog() {
    m_conn_items_changed.disconnect();
    m_popover_debug.unparent();
}

void CSettingsDialog::build_layout() {
    set_title(_("Settings"));
    set_modal(true);
    set_default_size(kDefaultWidth, kDefaultHeight);

    m_box_main.set_margin(kLayoutMargin);
    m_box_main.set_expand(true);

    m_grid_db_dir.set_margin(kLayoutMargin);
    m_grid_db_dir.set_row_spacing(kLayoutSpacing);
    m_grid_db_dir.set_column_spacing(kLayoutSpacing);
    m_entry_db_dir.set_hexpand(true);
    m_button_db_dir.set_label(_("Browse..."));
    m_grid_db_dir.attach(m_entry_db_dir, 0, 0);
    m_grid_db_dir.attach(m_button_db_dir, 1, 0);
    set_frame_child(m_frame_db_dir, _("Database folder"), m_grid_db_dir);

    m_box_search.set_margin(kLayoutMargin);
    m_box_search.set_spacing(kCheckSpacing);
    m_check_search_usb.set_label(_("Search for USB devices"));
    m_check_search_ccid.set_label(_("Search for CCID readers"));
    m_check_search_server.set_label(_("Search for IP converters in \"Server\" mode"));
    m_check_search_client.set_label(_("Search for IP converters in \"Client\" mode (port 25000)"));
    for (auto* check :
         {&m_check_search_usb, &m_check_search_ccid, &m_check_search_server, &m_check_search_client})
        m_box_search.append(*check);
    set_frame_child(m_frame_search, _("Search for devices"), m_box_search);

    build_port_frame(m_aport, _("Adapter"));
    build_port_frame(m_rport, _("Reader"));

    m_grid_debug.set_margin(kLayoutMargin);
    m_grid_debug.set_row_spacing(kLayoutSpacing);
    m_grid_debug.set_column_spacing(kLayoutSpacing);
    m_check_write_log.set_label(_("Writing a log file"));
    m_label_log_level.set_label(_("Log level:"));
    m_label_log_level.set_halign(Gtk::Align::START);
    m_dropdown_log_level.set_model(
        Gtk::StringList::create({_("Error"), _("Warning"), _("Info"), _("Debug")}));
    m_check_clear_log.set_label(_("Clear log on startup"));
    m_grid_debug.attach(m_check_write_log, 0, 0, 2, 1);
    m_grid_debug.attach(m_label_log_level, 0, 1);
    m_grid_debug.attach(m_dropdown_log_level, 1, 1);
    m_grid_debug.attach(m_check_clear_log, 0, 2, 2, 1);
    set_frame_child(m_frame_debug, _("Debug"), m_grid_debug);

    m_box_confirm.set_margin(kLayoutMargin);
    m_box_confirm.set_spacing(kCheckSpacing);
    m_check_delete_db_confirm.set_label(_("Deleting a database"));
    m_check_delete_key_confirm.set_label(_("Deleting a key"));
    m_check_lock_time_confirm.set_label(_("Record the big lock time"));
    m_check_key_list_confirm.set_label(
        _("Recording an incomplete list of keys due to limited device memory"));
    for (auto* check : {&m_check_delete_db_confirm, &m_check_delete_key_confirm, &m_check_lock_time_confirm,
                        &m_check_key_list_confirm})
        m_box_confirm.append(*check);
    set_frame_child(m_frame_confirm, _("Confirmations"), m_box_confirm);

    m_box_buttons.set_margin(kLayoutMargin);
    m_box_buttons.set_spacing(kLayoutSpacing);
    m_box_buttons.set_halign(Gtk::Align::END);
    m_box_buttons.set_valign(Gtk::Align::END);
    m_box_buttons.set_expand(true);
    m_button_cancel.set_label(_("Cancel"));
    m_button_ok.set_label(_("OK"));
    m_box_buttons.append(m_button_cancel);
    m_box_buttons.append(m_button_ok);

    for (Gtk::Widget* w :
         std::initializer_list<Gtk::Widget*>{&m_frame_db_dir, &m_frame_search, &m_aport.frame, &m_rport.frame,
                                             &m_frame_debug, &m_frame_confirm, &m_box_buttons})
        m_box_main.append(*w);
    set_child(m_box_main);
    set_default_widget(m_button_ok);
}

void CSettingsDialog::build_port_frame(PortControls& pc, const Glib::ustring& title) {
    pc.box.set_margin(kLayoutMargin);
    pc.box.set_spacing(kLayoutSpacing);
    pc.label.set_label(_("Port:"));
    pc.rows = Gtk::StringList::create({_("<Auto>"), _("<None>"), _("Custom...")});
    pc.port.set_model(pc.rows);
    pc.port.set_hexpand(true);
    pc.type.set_model(Gtk::StringList::create({_("USB"), _("CCID"), _("Server"), _("Client"), _("Proxy")}));
    pc.entry.set_hexpand(true);
    pc.box.append(pc.label);
    pc.box.append(pc.port);
    pc.box.append(pc.type);
    pc.box.append(pc.entry);
    set_frame_child(pc.frame, title, pc.box);
}

void CSettingsDialog::build_debug_menu() {
    m_debug_actions = Gio::SimpleActionGroup::create();
    m_debug_actions->add_action("folder",
                                sigc::mem_fun(*this, &CSettingsDialog::on_menu_debug_folder_popup_generic));
    insert_action_group("debug", m_debug_actions);

    Glib::RefPtr<Gio::MenuModel> menu;
    if (Gio::Resource::get_file_exists_global_nothrow(kDebugMenuResource)) {
        m_builder = Gtk::Builder::create_from_resource(kDebugMenuResource);
        menu = m_builder->get_object<Gio::MenuModel>("menudebug");
    }
    if (!menu) {
        // A program built without the resource bundle (the widget tests) gets the same one-item menu.
        auto own = Gio::Menu::create();
        own->append(_("Open the folder containing the log file"), "debug.folder");
        menu = own;
    }
    m_popover_debug.set_menu_model(menu);
    m_popover_debug.set_has_arrow(false);
    m_popover_debug.set_parent(m_frame_debug);

    m_gesture_debug = Gtk::GestureClick::create();
    m_gesture_debug->set_button(GDK_BUTTON_SECONDARY);
    m_gesture_debug->signal_pressed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_popup_debug_button_pressed));
    m_frame_debug.add_controller(m_gesture_debug);
}

void CSettingsDialog::load_values() {
    m_db_dir = m_settings->get_string(kKeyDbDir);
    if (m_db_dir.empty())
        m_db_dir = (get_user_data_dir() / "kestrix" / "bases").string();
    m_search_usb = m_settings->get_boolean(kKeySearchUsb);
    m_search_ccid = m_settings->get_boolean(kKeySearchCcid);
    m_search_server = m_settings->get_boolean(kKeySearchServer);
    m_search_client = m_settings->get_boolean(kKeySearchClient);
    m_aport.port_type = CAppSettings::string_to_port_type(m_settings->get_string(kKeyAdapterPortType));
    m_aport.port_name = m_settings->get_string(kKeyAdapterPortName);
    m_rport.port_type = CAppSettings::string_to_port_type(m_settings->get_string(kKeyReaderPortType));
    m_rport.port_name = m_settings->get_string(kKeyReaderPortName);
    m_write_log = m_settings->get_boolean(kKeyWriteLog);
    m_log_level = CAppSettings::string_to_loglevel(m_settings->get_string(kKeyLogLevel));
    m_clear_log = m_settings->get_boolean(kKeyClearLog);
    m_delete_db_confirm = m_settings->get_boolean(kKeyDeleteDbConfirm);
    m_delete_key_confirm = m_settings->get_boolean(kKeyDeleteKeyConfirm);
    m_lock_time_confirm = m_settings->get_boolean(kKeyLockTimeConfirm);
    m_key_list_confirm = m_settings->get_boolean(kKeyKeyListConfirm);
}

void CSettingsDialog::connect_handlers() {
    m_button_ok.signal_clicked().connect(sigc::mem_fun(*this, &CSettingsDialog::on_button_ok));
    m_button_cancel.signal_clicked().connect(sigc::mem_fun(*this, &CSettingsDialog::on_button_cancel));
    m_button_db_dir.signal_clicked().connect(sigc::mem_fun(*this, &CSettingsDialog::on_button_dbdir));
    // Closing the window drops the changes, as Cancel does.
    signal_close_request().connect(
        [this] {
            on_button_cancel();
            return true;
        },
        false);

    m_aport.port.property_selected().signal_changed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_aport_dropdown_selected));
    m_aport.type.property_selected().signal_changed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_dropdown_aporttype_selected_changed));
    m_aport.entry.signal_changed().connect(sigc::mem_fun(*this, &CSettingsDialog::on_entry_aport_changed));
    m_rport.port.property_selected().signal_changed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_rport_dropdown_selected));
    m_rport.type.property_selected().signal_changed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_dropdown_rporttype_selected_changed));
    m_rport.entry.signal_changed().connect(sigc::mem_fun(*this, &CSettingsDialog::on_entry_rport_changed));

    m_conn_items_changed = m_devices->signal_items_changed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_readerinfos_items_changed));
}

void CSettingsDialog::UpdateCtrlData(bool save) {
    if (save) {
        m_db_dir = m_entry_db_dir.get_text();
        m_search_usb = m_check_search_usb.get_active();
        m_search_ccid = m_check_search_ccid.get_active();
        m_search_server = m_check_search_server.get_active();
        m_search_client = m_check_search_client.get_active();
        m_write_log = m_check_write_log.get_active();
        const guint level_row = m_dropdown_log_level.get_selected();
        if (level_row != GTK_INVALID_LIST_POSITION)
            m_log_level = static_cast<LogLevel>(level_row + 1);
        m_clear_log = m_check_clear_log.get_active();
        m_delete_db_confirm = m_check_delete_db_confirm.get_active();
        m_delete_key_confirm = m_check_delete_key_confirm.get_active();
        m_lock_time_confirm = m_check_lock_time_confirm.get_active();
        m_key_list_confirm = m_check_key_list_confirm.get_active();
        return;
    }
    ++m_update;
    m_entry_db_dir.set_text(m_db_dir);
    m_check_search_usb.set_active(m_search_usb);
    m_check_search_ccid.set_active(m_search_ccid);
    m_check_search_server.set_active(m_search_server);
    m_check_search_client.set_active(m_search_client);
    m_check_write_log.set_active(m_write_log);
    if (m_log_level >= LOGLEVEL_ERROR && m_log_level <= LOGLEVEL_DEBUG)
        m_dropdown_log_level.set_selected(static_cast<guint>(m_log_level) - 1);
    m_check_clear_log.set_active(m_clear_log);
    m_check_delete_db_confirm.set_active(m_delete_db_confirm);
    m_check_delete_key_confirm.set_active(m_delete_key_confirm);
    m_check_lock_time_confirm.set_active(m_lock_time_confirm);
    m_check_key_list_confirm.set_active(m_key_list_confirm);
    --m_update;
}

void CSettingsDialog::on_button_ok() {
    UpdateCtrlData(true);
    m_settings->set_string(kKeyDbDir, m_db_dir);
    m_settings->set_boolean(kKeySearchUsb, m_search_usb);
    m_settings->set_boolean(kKeySearchCcid, m_search_ccid);
    m_settings->set_boolean(kKeySearchServer, m_search_server);
    m_settings->set_boolean(kKeySearchClient, m_search_client);
    m_settings->set_string(kKeyAdapterPortType, CAppSettings::port_type_to_string(m_aport.port_type));
    m_settings->set_string(kKeyAdapterPortName, m_aport.port_name);
    m_settings->set_string(kKeyReaderPortType, CAppSettings::port_type_to_string(m_rport.port_type));
    m_settings->set_string(kKeyReaderPortName, m_rport.port_name);
    m_settings->set_boolean(kKeyWriteLog, m_write_log);
    m_settings->set_string(kKeyLogLevel, CAppSettings::loglevel_to_string(m_log_level));
    m_settings->set_boolean(kKeyClearLog, m_clear_log);
    m_settings->set_boolean(kKeyDeleteDbConfirm, m_delete_db_confirm);
    m_settings->set_boolean(kKeyDeleteKeyConfirm, m_delete_key_confirm);
    m_settings->set_boolean(kKeyLockTimeConfirm, m_lock_time_confirm);
    m_settings->set_boolean(kKeyKeyListConfirm, m_key_list_confirm);
    m_settings->apply();
    hide();
}

void CSettingsDialog::on_button_cancel() {
    m_settings->revert();
    hide();
}

void CSettingsDialog::on_button_dbdir() {
    m_folder_chooser = Gtk::FileChooserNative::create(_("Select a directory"), *this,
                                                      Gtk::FileChooser::Action::SELECT_FOLDER);
    m_folder_chooser->set_modal(true);
    m_folder_chooser->signal_response().connect([this](int response) {
        if (response == Gtk::ResponseType::ACCEPT) {
            if (auto folder = m_folder_chooser->get_file()) {
                m_db_dir = folder->get_path();
                m_entry_db_dir.set_text(m_db_dir);
            }
        }
    });
    destroy_after_response(m_folder_chooser);
    m_folder_chooser->show();
}

void CSettingsDialog::on_menu_debug_folder_popup_generic() {
    const std::filesystem::path log_file = g_Debug.get_filename();
    try {
        const Glib::ustring uri = Glib::filename_to_uri(log_file.parent_path().string());
        if (Gio::AppInfo::launch_default_for_uri(uri))
            return;
    } catch (const Glib::Error&) {
        // Reported below like a launcher that returned false.
    }
    std::cout << "Failed to open file manager." << std::endl;
    if (g_Debug.IsLoggable(LOGLEVEL_ERROR))
        g_Debug.LogMsg(LOGLEVEL_ERROR, kWindowLogTag, "Failed to open file manager");
    // The user can still paste the path into a file manager of their own.
    get_clipboard()->set_text(log_file.string());
}

void CSettingsDialog::on_popup_debug_button_pressed(int, double x, double y) {
    m_popover_debug.set_pointing_to(Gdk::Rectangle(static_cast<int>(x), static_cast<int>(y), 1, 1));
    m_popover_debug.popup();
}

void CSettingsDialog::on_readerinfos_items_changed(guint, guint, guint) {
    UpdateAPortDropDown();
    UpdateRPortDropDown();
}
