// The settings dialog: database folder, device search, adapter and reader ports, debug log and the
// confirmation switches. It edits the settings schema through its own settings object in delayed mode, so OK
// applies everything in one change and Cancel drops it; the main window reacts to the changed keys itself.
#pragma once

#include <giomm/liststore.h>
#include <giomm/settings.h>
#include <giomm/simpleactiongroup.h>
#include <gtkmm/box.h>
#include <gtkmm/builder.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/frame.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/popovermenu.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/window.h>
#include <sigc++/connection.h>

#include <memory>
#include <vector>

#include "app/CDebugLog.h"
#include "rdx.h"
#include "readers/CReaderInfo.h"

class CSettingsDialog : public Gtk::Window {
public:
    // `devices` is the window's list of discovered devices; devices found while the dialog is open appear in
    // the port drop-downs at once.
    CSettingsDialog(Gtk::Window& parent, std::shared_ptr<Gio::ListStore<CReaderInfo>> devices);
    ~CSettingsDialog() override;

    // A device's row text: port name, model name, " s/n: %d", " fw: %s" (the parts it has).
    static Glib::ustring _ReaderInfoToStr(const CReaderInfo& info);

    // false: values into the controls; true: controls back into the values.
    void UpdateCtrlData(bool save);

protected:
    // The widgets of the "Adapter" or the "Reader" frame and the port they edit.
    struct PortControls {
        Gtk::Frame frame;
        Gtk::Box box{Gtk::Orientation::HORIZONTAL};
        Gtk::Label label;
        Gtk::DropDown port;
        Gtk::DropDown type;
        Gtk::Entry entry;
        Glib::RefPtr<Gtk::StringList> rows;
        std::vector<Glib::ustring> row_ports; // port names of the device rows, from row 2 on
        rdx_port_type port_type = RDX_PORT_NONE;
        Glib::ustring port_name;
        rdx_port_type auto_type = RDX_PORT_NONE; // the device "<Auto>" stands for, type 0 when none
        Glib::ustring auto_name;
    };

    void on_button_ok();
    void on_button_cancel();
    void on_button_dbdir();
    void on_menu_debug_folder_popup_generic();
    void on_popup_debug_button_pressed(int n_press, double x, double y);
    void on_readerinfos_items_changed(guint position, guint removed, guint added);

    int APortDropDownPortToIdx(rdx_port_type type, const Glib::ustring& name) const;
    void APortDropDownIdxToPort(guint row, rdx_port_type& type, Glib::ustring& name) const;
    void UpdateAPortDropDown();
    void UpdateAutoAPort();
    void on_aport_dropdown_selected();
    void on_dropdown_aporttype_selected_changed();
    void on_entry_aport_changed();

    int RPortDropDownPortToIdx(rdx_port_type type, const Glib::ustring& name) const;
    void RPortDropDownIdxToPort(guint row, rdx_port_type& type, Glib::ustring& name) const;
    void UpdateRPortDropDown();
    void UpdateAutoRPort();
    void on_rport_dropdown_selected();
    void on_dropdown_rporttype_selected_changed();
    void on_entry_rport_changed();

private:
    void build_layout();
    void build_port_frame(PortControls& pc, const Glib::ustring& title);
    void build_debug_menu();
    void load_values();
    void connect_handlers();

    // Shared work of the two port frames.
    int port_to_idx(const PortControls& pc, rdx_port_type type, const Glib::ustring& name) const;
    void idx_to_port(const PortControls& pc, guint row, rdx_port_type& type, Glib::ustring& name) const;
    void refill_port_rows(PortControls& pc, bool adapters_only);
    // Selects the row of the edited port; `shown_row` is the row selected before the rows changed.
    void select_port_row(PortControls& pc, guint shown_row);
    void set_auto_row(PortControls& pc, int device_index);
    void show_custom_controls(PortControls& pc);
    bool is_custom_row(const PortControls& pc, guint row) const;
    void on_custom_row_chosen(PortControls& pc, int auto_index);

    std::shared_ptr<Gio::ListStore<CReaderInfo>> m_devices;
    Glib::RefPtr<Gio::Settings> m_settings;
    Glib::RefPtr<Gtk::Builder> m_builder;
    Glib::RefPtr<Gio::SimpleActionGroup> m_debug_actions;
    int m_update = 0; // while not 0, change handlers of the controls do nothing
    sigc::connection m_conn_items_changed;

    // Edited values.
    Glib::ustring m_db_dir;
    bool m_search_usb = false;
    bool m_search_ccid = false;
    bool m_search_server = false;
    bool m_search_client = false;
    bool m_write_log = false;
    LogLevel m_log_level = LOGLEVEL_DEBUG;
    bool m_clear_log = false;
    bool m_delete_db_confirm = false;
    bool m_delete_key_confirm = false;
    bool m_lock_time_confirm = false;
    bool m_key_list_confirm = false;

    Gtk::Box m_box_main{Gtk::Orientation::VERTICAL};
    Gtk::Frame m_frame_db_dir;
    Gtk::Grid m_grid_db_dir;
    Gtk::Entry m_entry_db_dir;
    Gtk::Button m_button_db_dir;
    Gtk::Frame m_frame_search;
    Gtk::Box m_box_search{Gtk::Orientation::VERTICAL};
    Gtk::CheckButton m_check_search_usb;
    Gtk::CheckButton m_check_search_ccid;
    Gtk::CheckButton m_check_search_server;
    Gtk::CheckButton m_check_search_client;
    PortControls m_aport;
    PortControls m_rport;
    Gtk::Frame m_frame_debug;
    Gtk::Grid m_grid_debug;
    Gtk::CheckButton m_check_write_log;
    Gtk::Label m_label_log_level;
    Gtk::DropDown m_dropdown_log_level;
    Gtk::CheckButton m_check_clear_log;
    Glib::RefPtr<Gtk::GestureClick> m_gesture_debug;
    Gtk::PopoverMenu m_popover_debug;
    Gtk::Frame m_frame_confirm;
    Gtk::Box m_box_confirm{Gtk::Orientation::VERTICAL};
    Gtk::CheckButton m_check_delete_db_confirm;
    Gtk::CheckButton m_check_delete_key_confirm;
    Gtk::CheckButton m_check_lock_time_confirm;
    Gtk::CheckButton m_check_key_list_confirm;
    Gtk::Box m_box_buttons{Gtk::Orientation::HORIZONTAL};
    Gtk::Button m_button_cancel;
    Gtk::Button m_button_ok;
    Glib::RefPtr<Gtk::FileChooserNative> m_folder_chooser;
};
