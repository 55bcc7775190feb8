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

#include "settings/CAppSettings.h"
#include "app/Paths.h"
#include "app/i18n.h"

namespace {
constexpr int kMargin = 5;
constexpr int kSpacing = 5;
constexpr int kCheckSpacing = 2;
constexpr int kDefaultWidth = 500;
constexpr int kDefaultHeight = 150;
constexpr const char* kLogTag = "main";
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

    m_refSettings = Gio::Settings::create(CAppSettings::kSchemaId);
    m_refSettings->delay();
    load_values();

    set_transient_for(parent);
    connect_handlers();
    UpdateAPortDropDown();
    UpdateRPortDropDown();
    UpdateCtrlData(false);
}

CSettingsDialog::~CSettingsDialog() {
    m_conn_items_changed.disconnect();
    m_popoverDebug.unparent();
}

void CSettingsDialog::build_layout() {
    set_title(_("Settings"));
    set_modal(true);
    set_default_size(kDefaultWidth, kDefaultHeight);

    m_boxMain.set_margin(kMargin);
    m_boxMain.set_expand(true);

    m_gridDbDir.set_margin(kMargin);
    m_gridDbDir.set_row_spacing(kSpacing);
    m_gridDbDir.set_column_spacing(kSpacing);
    m_entryDbDir.set_hexpand(true);
    m_buttonDbDir.set_label(_("Browse..."));
    m_gridDbDir.attach(m_entryDbDir, 0, 0);
    m_gridDbDir.attach(m_buttonDbDir, 1, 0);
    set_frame_child(m_frameDbDir, _("Database folder"), m_gridDbDir);

    m_boxSearch.set_margin(kMargin);
    m_boxSearch.set_spacing(kCheckSpacing);
    m_checkSearchUsb.set_label(_("Search for USB devices"));
    m_checkSearchCcid.set_label(_("Search for CCID readers"));
    m_checkSearchServer.set_label(_("Search for IP converters in \"Server\" mode"));
    m_checkSearchClient.set_label(_("Search for IP converters in \"Client\" mode (port 25000)"));
    for (auto* check : {&m_checkSearchUsb, &m_checkSearchCcid, &m_checkSearchServer, &m_checkSearchClient})
        m_boxSearch.append(*check);
    set_frame_child(m_frameSearch, _("Search for devices"), m_boxSearch);

    build_port_frame(m_aport, _("Adapter"));
    build_port_frame(m_rport, _("Reader"));

    m_gridDebug.set_margin(kMargin);
    m_gridDebug.set_row_spacing(kSpacing);
    m_gridDebug.set_column_spacing(kSpacing);
    m_checkWriteLog.set_label(_("Writing a log file"));
    m_labelLogLevel.set_label(_("Log level:"));
    m_labelLogLevel.set_halign(Gtk::Align::START);
    m_dropdownLogLevel.set_model(Gtk::StringList::create({_("Error"), _("Warning"), _("Info"), _("Debug")}));
    m_checkClearLog.set_label(_("Clear log on startup"));
    m_gridDebug.attach(m_checkWriteLog, 0, 0, 2, 1);
    m_gridDebug.attach(m_labelLogLevel, 0, 1);
    m_gridDebug.attach(m_dropdownLogLevel, 1, 1);
    m_gridDebug.attach(m_checkClearLog, 0, 2, 2, 1);
    set_frame_child(m_frameDebug, _("Debug"), m_gridDebug);

    m_boxConfirm.set_margin(kMargin);
    m_boxConfirm.set_spacing(kCheckSpacing);
    m_checkDeleteDbConfirm.set_label(_("Deleting a database"));
    m_checkDeleteKeyConfirm.set_label(_("Deleting a key"));
    m_checkLockTimeConfirm.set_label(_("Record the big lock time"));
    m_checkKeyListConfirm.set_label(_("Recording an incomplete list of keys due to limited device memory"));
    for (auto* check :
         {&m_checkDeleteDbConfirm, &m_checkDeleteKeyConfirm, &m_checkLockTimeConfirm, &m_checkKeyListConfirm})
        m_boxConfirm.append(*check);
    set_frame_child(m_frameConfirm, _("Confirmations"), m_boxConfirm);

    m_boxButtons.set_margin(kMargin);
    m_boxButtons.set_spacing(kSpacing);
    m_boxButtons.set_halign(Gtk::Align::END);
    m_boxButtons.set_valign(Gtk::Align::END);
    m_boxButtons.set_expand(true);
    m_buttonCancel.set_label(_("Cancel"));
    m_buttonOk.set_label(_("OK"));
    m_boxButtons.append(m_buttonCancel);
    m_boxButtons.append(m_buttonOk);

    for (Gtk::Widget* w :
         std::initializer_list<Gtk::Widget*>{&m_frameDbDir, &m_frameSearch, &m_aport.frame, &m_rport.frame,
                                             &m_frameDebug, &m_frameConfirm, &m_boxButtons})
        m_boxMain.append(*w);
    set_child(m_boxMain);
    set_default_widget(m_buttonOk);
}

void CSettingsDialog::build_port_frame(PortControls& pc, const Glib::ustring& title) {
    pc.box.set_margin(kMargin);
    pc.box.set_spacing(kSpacing);
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
    m_refDebugActions = Gio::SimpleActionGroup::create();
    m_refDebugActions->add_action("folder",
                                  sigc::mem_fun(*this, &CSettingsDialog::on_menu_debug_folder_popup_generic));
    insert_action_group("debug", m_refDebugActions);

    Glib::RefPtr<Gio::MenuModel> menu;
    if (Gio::Resource::get_file_exists_global_nothrow(kDebugMenuResource)) {
        m_refBuilder = Gtk::Builder::create_from_resource(kDebugMenuResource);
        menu = m_refBuilder->get_object<Gio::MenuModel>("menudebug");
    }
    if (!menu) {
        // A program built without the resource bundle (the widget tests) gets the same one-item menu.
        auto own = Gio::Menu::create();
        own->append(_("Open the folder containing the log file"), "debug.folder");
        menu = own;
    }
    m_popoverDebug.set_menu_model(menu);
    m_popoverDebug.set_has_arrow(false);
    m_popoverDebug.set_parent(m_frameDebug);

    m_gestureDebug = Gtk::GestureClick::create();
    m_gestureDebug->set_button(GDK_BUTTON_SECONDARY);
    m_gestureDebug->signal_pressed().connect(
        sigc::mem_fun(*this, &CSettingsDialog::on_popup_debug_button_pressed));
    m_frameDebug.add_controller(m_gestureDebug);
}

void CSettingsDialog::load_values() {
    m_dbDir = m_refSettings->get_string(kKeyDbDir);
    if (m_dbDir.empty())
        m_dbDir = (get_user_data_dir() / "kestrix" / "bases").string();
    m_bSearchUsb = m_refSettings->get_boolean(kKeySearchUsb);
    m_bSearchCcid = m_refSettings->get_boolean(kKeySearchCcid);
    m_bSearchServer = m_refSettings->get_boolean(kKeySearchServer);
    m_bSearchClient = m_refSettings->get_boolean(kKeySearchClient);
    m_aport.port_type = CAppSettings::string_to_port_type(m_refSettings->get_string(kKeyAdapterPortType));
    m_aport.port_name = m_refSettings->get_string(kKeyAdapterPortName);
    m_rport.port_type = CAppSettings::string_to_port_type(m_refSettings->get_string(kKeyReaderPortType));
    m_rport.port_name = m_refSettings->get_string(kKeyReaderPortName);
    m_bWriteLog = m_refSettings->get_boolean(kKeyWriteLog);
    m_nLogLevel = CAppSettings::string_to_loglevel(m_refSettings->get_string(kKeyLogLevel));
    m_bClearLog = m_refSettings->get_boolean(kKeyClearLog);
    m_bDeleteDbConfirm = m_refSettings->get_boolean(kKeyDeleteDbConfirm);
    m_bDeleteKeyConfirm = m_refSettings->get_boolean(kKeyDeleteKeyConfirm);
    m_bLockTimeConfirm = m_refSettings->get_boolean(kKeyLockTimeConfirm);
    m_bKeyListConfirm = m_refSettings->get_boolean(kKeyKeyListConfirm);
}

void CSettingsDialog::connect_handlers() {
    m_buttonOk.signal_clicked().connect(sigc::mem_fun(*this, &CSettingsDialog::on_button_ok));
    m_buttonCancel.signal_clicked().connect(sigc::mem_fun(*this, &CSettingsDialog::on_button_cancel));
    m_buttonDbDir.signal_clicked().connect(sigc::mem_fun(*this, &CSettingsDialog::on_button_dbdir));
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
        m_dbDir = m_entryDbDir.get_text();
        m_bSearchUsb = m_checkSearchUsb.get_active();
        m_bSearchCcid = m_checkSearchCcid.get_active();
        m_bSearchServer = m_checkSearchServer.get_active();
        m_bSearchClient = m_checkSearchClient.get_active();
        m_bWriteLog = m_checkWriteLog.get_active();
        const guint level_row = m_dropdownLogLevel.get_selected();
        if (level_row != GTK_INVALID_LIST_POSITION)
            m_nLogLevel = static_cast<LogLevel>(level_row + 1);
        m_bClearLog = m_checkClearLog.get_active();
        m_bDeleteDbConfirm = m_checkDeleteDbConfirm.get_active();
        m_bDeleteKeyConfirm = m_checkDeleteKeyConfirm.get_active();
        m_bLockTimeConfirm = m_checkLockTimeConfirm.get_active();
        m_bKeyListConfirm = m_checkKeyListConfirm.get_active();
        return;
    }
    ++m_nUpdate;
    m_entryDbDir.set_text(m_dbDir);
    m_checkSearchUsb.set_active(m_bSearchUsb);
    m_checkSearchCcid.set_active(m_bSearchCcid);
    m_checkSearchServer.set_active(m_bSearchServer);
    m_checkSearchClient.set_active(m_bSearchClient);
    m_checkWriteLog.set_active(m_bWriteLog);
    if (m_nLogLevel >= LOGLEVEL_ERROR && m_nLogLevel <= LOGLEVEL_DEBUG)
        m_dropdownLogLevel.set_selected(static_cast<guint>(m_nLogLevel) - 1);
    m_checkClearLog.set_active(m_bClearLog);
    m_checkDeleteDbConfirm.set_active(m_bDeleteDbConfirm);
    m_checkDeleteKeyConfirm.set_active(m_bDeleteKeyConfirm);
    m_checkLockTimeConfirm.set_active(m_bLockTimeConfirm);
    m_checkKeyListConfirm.set_active(m_bKeyListConfirm);
    --m_nUpdate;
}

void CSettingsDialog::on_button_ok() {
    UpdateCtrlData(true);
    m_refSettings->set_string(kKeyDbDir, m_dbDir);
    m_refSettings->set_boolean(kKeySearchUsb, m_bSearchUsb);
    m_refSettings->set_boolean(kKeySearchCcid, m_bSearchCcid);
    m_refSettings->set_boolean(kKeySearchServer, m_bSearchServer);
    m_refSettings->set_boolean(kKeySearchClient, m_bSearchClient);
    m_refSettings->set_string(kKeyAdapterPortType, CAppSettings::port_type_to_string(m_aport.port_type));
    m_refSettings->set_string(kKeyAdapterPortName, m_aport.port_name);
    m_refSettings->set_string(kKeyReaderPortType, CAppSettings::port_type_to_string(m_rport.port_type));
    m_refSettings->set_string(kKeyReaderPortName, m_rport.port_name);
    m_refSettings->set_boolean(kKeyWriteLog, m_bWriteLog);
    m_refSettings->set_string(kKeyLogLevel, CAppSettings::loglevel_to_string(m_nLogLevel));
    m_refSettings->set_boolean(kKeyClearLog, m_bClearLog);
    m_refSettings->set_boolean(kKeyDeleteDbConfirm, m_bDeleteDbConfirm);
    m_refSettings->set_boolean(kKeyDeleteKeyConfirm, m_bDeleteKeyConfirm);
    m_refSettings->set_boolean(kKeyLockTimeConfirm, m_bLockTimeConfirm);
    m_refSettings->set_boolean(kKeyKeyListConfirm, m_bKeyListConfirm);
    m_refSettings->apply();
    hide();
}

void CSettingsDialog::on_button_cancel() {
    m_refSettings->revert();
    hide();
}

void CSettingsDialog::on_button_dbdir() {
    m_folderChooser = Gtk::FileChooserNative::create(_("Select a directory"), *this,
                                                     Gtk::FileChooser::Action::SELECT_FOLDER);
    m_folderChooser->set_modal(true);
    m_folderChooser->signal_response().connect([this](int response) {
        if (response == Gtk::ResponseType::ACCEPT) {
            if (auto folder = m_folderChooser->get_file()) {
                m_dbDir = folder->get_path();
                m_entryDbDir.set_text(m_dbDir);
            }
        }
        m_folderChooser->hide();
    });
    m_folderChooser->show();
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
        g_Debug.LogMsg(LOGLEVEL_ERROR, kLogTag, "Failed to open file manager");
    // The user can still paste the path into a file manager of their own.
    get_clipboard()->set_text(log_file.string());
}

void CSettingsDialog::on_popup_debug_button_pressed(int, double x, double y) {
    m_popoverDebug.set_pointing_to(Gdk::Rectangle(static_cast<int>(x), static_cast<int>(y), 1, 1));
    m_popoverDebug.popup();
}

void CSettingsDialog::on_readerinfos_items_changed(guint, guint, guint) {
    UpdateAPortDropDown();
    UpdateRPortDropDown();
}
