// The main window's widgets: menu row, toolbar, the editing frames, the notebook of lists and the status bar.
#include <iostream>

#include <giomm/menu.h>
#include <glibmm/main.h>
#include <gtkmm/adjustment.h>
#include <gtkmm/builder.h>
#include <gtkmm/popovermenubar.h>
#include <gtkmm/stringlist.h>

#include "app/CDebugLog.h"
#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/Accessible.h"
#include "ui/CMainWindow.h"
#include "ui/LayoutSpacing.h"

namespace {
constexpr const char* kMenuResource = "/org/kestrix/Kestrix/menubar.ui";
constexpr const char* kToolbarResource = "/org/kestrix/Kestrix/toolbar.ui";
constexpr double kLockMax = 255.0;
constexpr double kLockStep = 0.1;
constexpr double kLockPage = 10.0;

void set_small_button(Gtk::Button& button, const Glib::ustring& label) {
    button.set_label(label);
    button.set_use_underline(false);
    button.add_css_class("small-button");
    set_accessible_label(button, label);
}

void set_small_entry(Gtk::Entry& entry, const Glib::ustring& accessible) {
    entry.add_css_class("small-entry");
    set_accessible_label(entry, accessible);
}

void set_labelled_check(Gtk::CheckButton& check, const Glib::ustring& label) {
    check.set_label(label);
    set_accessible_label(check, label);
}

void set_frame(Gtk::Frame& frame, const Glib::ustring& label, Gtk::Widget& child) {
    frame.set_label(label);
    set_accessible_label(frame, label);
    child.set_margin(kLayoutMargin);
    frame.set_child(child);
}
} // namespace

void CMainWindow::build_layout() {
    m_main_box.set_orientation(Gtk::Orientation::VERTICAL);
    m_main_box.set_margin(kLayoutMargin);
    m_main_box.set_spacing(kLayoutSpacing);

    m_menu_row.set_spacing(kLayoutSpacing);
    m_search_entry.set_hexpand(true);
    set_accessible_label(m_search_entry, _("Search"));
    build_menu_and_toolbar(m_menu_row, m_main_box);
    m_menu_row.append(m_search_entry);
    m_main_box.prepend(m_menu_row);

    m_frames_row.set_spacing(kLayoutSpacing);
    build_key_type_frame();
    build_database_frame();
    build_lock_frame();
    build_comparison_frame();
    build_key_frame();
    m_main_box.append(m_frames_row);

    build_notebook();
    m_main_box.append(m_notebook);

    m_status_bar.add_css_class("status-bar");
    m_status_bar.signal_details_requested().connect(
        sigc::mem_fun(*this, &CMainWindow::show_status_details_dialog));
    m_main_box.append(m_status_bar);

    set_child(m_main_box);
}

void CMainWindow::build_menu_and_toolbar(Gtk::Box& menu_row, Gtk::Box& top) {
    try {
        auto builder = Gtk::Builder::create_from_resource(kMenuResource);
        builder->add_from_resource(kToolbarResource);
        auto menu = builder->get_object<Gio::Menu>("menubar");
        if (menu) {
            auto* bar = Gtk::make_managed<Gtk::PopoverMenuBar>(menu);
            set_accessible_label(*bar, _("Menu"));
            menu_row.append(*bar);
        } else {
            g_warning("GMenu not found");
        }
        m_toolbar = builder->get_widget<Gtk::Box>("toolbar");
        if (m_toolbar != nullptr) {
            auto* toolbar = static_cast<Gtk::Box*>(m_toolbar);
            toolbar->add_css_class("linked");
            toolbar->add_css_class("my-large-toolbar");
            toolbar->set_spacing(kLayoutSpacing);
            set_accessible_label(*toolbar, _("Toolbar"));
            top.append(*toolbar);
        } else {
            g_warning("toolbar not found");
        }
    } catch (const Glib::Error& e) {
        std::cerr << "Building menus and toolbar failed: " << e.what() << std::endl;
    }
}

void CMainWindow::build_key_type_frame() {
    m_key_type_box.set_orientation(Gtk::Orientation::VERTICAL);
    const std::array<std::pair<Gtk::CheckButton*, ScanKeyType>, 3> radios{{
        {&m_dallas_radio, SCAN_KEY_DALLAS},
        {&m_em_marine_radio, SCAN_KEY_EM_MARINE},
        {&m_kf300_radio, SCAN_KEY_KF300},
    }};
    set_labelled_check(m_dallas_radio, _("Dallas"));
    set_labelled_check(m_em_marine_radio, _("Em-Marine"));
    set_labelled_check(m_kf300_radio, _("KF-300"));
    for (const auto& [radio, type] : radios) {
        if (radio != &m_dallas_radio)
            radio->set_group(m_dallas_radio);
        radio->signal_toggled().connect(
            sigc::bind(sigc::mem_fun(*this, &CMainWindow::on_key_type_toggled), type));
        m_key_type_box.append(*radio);
    }
    set_frame(m_key_type_frame, _("Key type"), m_key_type_box);
    m_frames_row.append(m_key_type_frame);
}

void CMainWindow::build_database_frame() {
    m_database_grid.set_row_spacing(kLayoutSpacing);
    m_database_grid.set_column_spacing(kLayoutSpacing);
    m_db_name_label.set_text(_("Name:"));
    m_db_name_label.set_xalign(0.0f);
    m_db_description_label.set_text(_("Description:"));
    m_db_description_label.set_xalign(0.0f);
    set_small_entry(m_db_name_entry, _("Database name"));
    set_small_entry(m_db_description_entry, _("Database description"));
    m_db_name_entry.set_hexpand(true);
    m_db_description_entry.set_hexpand(true);
    set_small_button(m_db_create_button, _("Create"));
    set_small_button(m_db_apply_button, _("Apply"));
    m_database_grid.attach(m_db_name_label, 0, 0);
    m_database_grid.attach(m_db_name_entry, 1, 0);
    m_database_grid.attach(m_db_create_button, 2, 0);
    m_database_grid.attach(m_db_description_label, 0, 1);
    m_database_grid.attach(m_db_description_entry, 1, 1);
    m_database_grid.attach(m_db_apply_button, 2, 1);
    set_frame(m_database_frame, _("Database"), m_database_grid);
    m_database_frame.set_hexpand(true);
    m_frames_row.append(m_database_frame);
}

void CMainWindow::build_lock_frame() {
    m_lock_box.set_orientation(Gtk::Orientation::VERTICAL);
    m_lock_box.set_spacing(kLayoutSpacing);
    m_lock_label.set_text(_("T (0-255), sec"));
    m_lock_spin.set_adjustment(Gtk::Adjustment::create(0.0, 0.0, kLockMax, kLockStep, kLockPage, 0.0));
    m_lock_spin.set_digits(1);
    set_accessible_label(m_lock_spin, _("Lock open time, seconds"));
    set_small_button(m_power_off_button, _("POWER OFF"));
    m_lock_box.append(m_lock_label);
    m_lock_box.append(m_lock_spin);
    m_lock_box.append(m_power_off_button);
    set_frame(m_lock_frame, _("Lock"), m_lock_box);
    m_frames_row.append(m_lock_frame);
}

void CMainWindow::build_comparison_frame() {
    // Labels and the settings keys they are bound to, in display order.
    const std::array<std::pair<const char*, const char*>, 6> checks{{
        {N_("Type"), "compare-type"},
        {N_("Attribute"), "compare-attr"},
        {N_("Number"), "compare-number"},
        {N_("Short"), "compare-short"},
        {N_("Added"), "compare-created"},
        {N_("Description"), "compare-description"},
    }};
    m_comparison_grid.set_column_spacing(kLayoutSpacing);
    for (size_t i = 0; i < checks.size(); ++i) {
        set_labelled_check(m_compare_checks[i], _(checks[i].first));
        m_settings->bind(checks[i].second, m_compare_checks[i].property_active());
        m_comparison_grid.attach(m_compare_checks[i], static_cast<int>(i % 2), static_cast<int>(i / 2));
    }
    set_small_button(m_compare_button, _("Compare"));
    m_comparison_grid.attach(m_compare_button, 0, 3, 2, 1);
    set_frame(m_comparison_frame, _("Comparison"), m_comparison_grid);
    m_frames_row.append(m_comparison_frame);
}

void CMainWindow::build_key_frame() {
    m_key_grid.set_row_spacing(kLayoutSpacing);
    m_key_grid.set_column_spacing(kLayoutSpacing);
    const std::array<const char*, 4> attributes{N_("Normal"), N_("Blocking"), N_("Master"), N_("Inactive")};
    for (size_t i = 0; i < attributes.size(); ++i) {
        set_labelled_check(m_attr_radios[i], _(attributes[i]));
        if (i > 0)
            m_attr_radios[i].set_group(m_attr_radios[0]);
        m_attr_box.append(m_attr_radios[i]);
    }
    m_attr_box.set_spacing(kLayoutSpacing);
    m_key_grid.attach(m_attr_box, 0, 0, 4, 1);

    m_key_number_label.set_text(_("ID code:"));
    m_key_number_label.set_xalign(0.0f);
    set_small_entry(m_key_number_entry, _("Key number"));
    m_key_number_entry.set_hexpand(true);
    m_key_format_drop_down.set_model(
        Gtk::StringList::create({_("Hexadecimal"), _("Em-Marine"), _("Em-Marine + code"), _("Decimal"),
                                 _("Decimal bytes"), _("Keypad code")}));
    m_key_format_drop_down.set_selected(static_cast<guint>(g_AppSet->get_key_format()));
    set_accessible_label(m_key_format_drop_down, _("Key number format"));
    set_labelled_check(m_key_short_check, _("Short"));
    m_key_grid.attach(m_key_number_label, 0, 1);
    m_key_grid.attach(m_key_number_entry, 1, 1);
    m_key_grid.attach(m_key_format_drop_down, 2, 1);
    m_key_grid.attach(m_key_short_check, 3, 1);

    m_key_description_label.set_text(_("Description:"));
    m_key_description_label.set_xalign(0.0f);
    set_small_entry(m_key_description_entry, _("Key description"));
    m_key_grid.attach(m_key_description_label, 0, 2);
    m_key_grid.attach(m_key_description_entry, 1, 2, 3, 1);

    m_key_buttons_box.set_spacing(kLayoutSpacing);
    for (auto [button, label] :
         {std::pair{&m_key_add_button, _("Add")}, std::pair{&m_key_find_button, _("Find")},
          std::pair{&m_key_apply_button, _("Apply")}, std::pair{&m_key_emulate_button, _("Emulate")}}) {
        set_small_button(*button, label);
        m_key_buttons_box.append(*button);
    }
    m_key_grid.attach(m_key_buttons_box, 0, 3, 4, 1);
    set_frame(m_key_frame, _("Key"), m_key_grid);
    m_key_frame.set_hexpand(true);
    m_frames_row.append(m_key_frame);
}

void CMainWindow::build_notebook() {
    m_notebook.set_show_tabs(false);
    m_notebook.set_vexpand(true);
    set_accessible_label(m_notebook, _("Lists"));
    m_notebook.append_page(m_db_panel);
    connect_database_panel();

    for (int i = 0; i < 2; ++i) {
        m_key_panels[i] = std::make_unique<CKeyPanel>(i, m_docs[i], m_prop);
        m_key_panels[i]->persist_columns(CColumnViewState::keys_storage());
        m_key_panels[i]->signal_focus_entered().connect(
            sigc::mem_fun(*this, &CMainWindow::on_key_table_focus));
        m_key_panels[i]->signal_selection_changed().connect(
            sigc::mem_fun(*this, &CMainWindow::on_key_table_selection_changed));
    }
    m_key_panels[0]->set_focused(true);
    m_paned.set_orientation(Gtk::Orientation::HORIZONTAL);
    m_paned.set_start_child(*m_key_panels[0]);
    m_paned.set_end_child(*m_key_panels[1]);
    m_paned.set_resize_start_child(true);
    m_paned.set_resize_end_child(true);
    m_notebook.append_page(m_paned);
    connect_key_editor();
}
