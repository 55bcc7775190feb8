// The main window's widgets: menu row, toolbar, the editing frames, the notebook of lists and the status bar.
#include <iostream>

#include <giomm/menu.h>
#include <glibmm/main.h>
#include <gtkmm/adjustment.h>
#include <gtkmm/builder.h>
#include <gtkmm/popovermenubar.h>
#include <gtkmm/stringlist.h>

#include "settings/CAppSettings.h"
#include "app/CDebugLog.h"
#include "app/i18n.h"
#include "ui/Accessible.h"
#include "ui/CMainWindow.h"

namespace {
constexpr const char* kMenuResource = "/org/kestrix/Kestrix/menubar.ui";
constexpr const char* kToolbarResource = "/org/kestrix/Kestrix/toolbar.ui";
constexpr int kSpacing = 5;
constexpr int kOpenIdlePriority = 200;
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
    child.set_margin(kSpacing);
    frame.set_child(child);
}
} // namespace

void CMainWindow::build_layout() {
    m_MainBox.set_orientation(Gtk::Orientation::VERTICAL);
    m_MainBox.set_margin(kSpacing);
    m_MainBox.set_spacing(kSpacing);

    m_MenuRow.set_spacing(kSpacing);
    m_SearchEntry.set_hexpand(true);
    set_accessible_label(m_SearchEntry, _("Search"));
    build_menu_and_toolbar(m_MenuRow, m_MainBox);
    m_MenuRow.append(m_SearchEntry);
    m_MainBox.prepend(m_MenuRow);

    m_FramesRow.set_spacing(kSpacing);
    build_key_type_frame();
    build_database_frame();
    build_lock_frame();
    build_comparison_frame();
    build_key_frame();
    m_MainBox.append(m_FramesRow);

    build_notebook();
    m_MainBox.append(m_Notebook);

    m_StatusBar.add_css_class("status-bar");
    m_StatusBar.signal_details_requested().connect(
        sigc::mem_fun(*this, &CMainWindow::show_status_details_dialog));
    m_MainBox.append(m_StatusBar);

    set_child(m_MainBox);
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
        m_pToolbar = builder->get_widget<Gtk::Box>("toolbar");
        if (m_pToolbar != nullptr) {
            auto* toolbar = static_cast<Gtk::Box*>(m_pToolbar);
            toolbar->add_css_class("linked");
            toolbar->add_css_class("my-large-toolbar");
            toolbar->set_spacing(kSpacing);
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
    m_KeyTypeBox.set_orientation(Gtk::Orientation::VERTICAL);
    const std::array<std::pair<Gtk::CheckButton*, ScanKeyType>, 3> radios{{
        {&m_DallasRadio, SCAN_KEY_DALLAS},
        {&m_EmMarineRadio, SCAN_KEY_EM_MARINE},
        {&m_Kf300Radio, SCAN_KEY_KF300},
    }};
    set_labelled_check(m_DallasRadio, _("Dallas"));
    set_labelled_check(m_EmMarineRadio, _("Em-Marine"));
    set_labelled_check(m_Kf300Radio, _("KF-300"));
    for (const auto& [radio, type] : radios) {
        if (radio != &m_DallasRadio)
            radio->set_group(m_DallasRadio);
        radio->signal_toggled().connect(
            sigc::bind(sigc::mem_fun(*this, &CMainWindow::on_key_type_toggled), type));
        m_KeyTypeBox.append(*radio);
    }
    set_frame(m_KeyTypeFrame, _("Key type"), m_KeyTypeBox);
    m_FramesRow.append(m_KeyTypeFrame);
}

void CMainWindow::build_database_frame() {
    m_DatabaseGrid.set_row_spacing(kSpacing);
    m_DatabaseGrid.set_column_spacing(kSpacing);
    m_DbNameLabel.set_text(_("Name:"));
    m_DbNameLabel.set_xalign(0.0f);
    m_DbDescriptionLabel.set_text(_("Description:"));
    m_DbDescriptionLabel.set_xalign(0.0f);
    set_small_entry(m_DbNameEntry, _("Database name"));
    set_small_entry(m_DbDescriptionEntry, _("Database description"));
    m_DbNameEntry.set_hexpand(true);
    m_DbDescriptionEntry.set_hexpand(true);
    set_small_button(m_DbCreateButton, _("Create"));
    set_small_button(m_DbApplyButton, _("Apply"));
    // Creating and renaming databases come with the database editor.
    m_DbCreateButton.set_sensitive(false);
    m_DbApplyButton.set_sensitive(false);
    m_DatabaseGrid.attach(m_DbNameLabel, 0, 0);
    m_DatabaseGrid.attach(m_DbNameEntry, 1, 0);
    m_DatabaseGrid.attach(m_DbCreateButton, 2, 0);
    m_DatabaseGrid.attach(m_DbDescriptionLabel, 0, 1);
    m_DatabaseGrid.attach(m_DbDescriptionEntry, 1, 1);
    m_DatabaseGrid.attach(m_DbApplyButton, 2, 1);
    set_frame(m_DatabaseFrame, _("Database"), m_DatabaseGrid);
    m_DatabaseFrame.set_hexpand(true);
    m_FramesRow.append(m_DatabaseFrame);
}

void CMainWindow::build_lock_frame() {
    m_LockBox.set_orientation(Gtk::Orientation::VERTICAL);
    m_LockBox.set_spacing(kSpacing);
    m_LockLabel.set_text(_("T (0-255), sec"));
    m_LockSpin.set_adjustment(Gtk::Adjustment::create(0.0, 0.0, kLockMax, kLockStep, kLockPage, 0.0));
    m_LockSpin.set_digits(1);
    set_accessible_label(m_LockSpin, _("Lock open time, seconds"));
    set_small_button(m_PowerOffButton, _("POWER OFF"));
    // Pressing and releasing it drives the adapter once the key editor is in place.
    m_PowerOffButton.set_sensitive(false);
    m_LockBox.append(m_LockLabel);
    m_LockBox.append(m_LockSpin);
    m_LockBox.append(m_PowerOffButton);
    set_frame(m_LockFrame, _("Lock"), m_LockBox);
    m_FramesRow.append(m_LockFrame);
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
    m_ComparisonGrid.set_column_spacing(kSpacing);
    for (size_t i = 0; i < checks.size(); ++i) {
        set_labelled_check(m_CompareChecks[i], _(checks[i].first));
        m_refSettings->bind(checks[i].second, m_CompareChecks[i].property_active());
        m_ComparisonGrid.attach(m_CompareChecks[i], static_cast<int>(i % 2), static_cast<int>(i / 2));
    }
    set_small_button(m_CompareButton, _("Compare"));
    // Comparing the two tables comes with the key tables' columns.
    m_CompareButton.set_sensitive(false);
    m_ComparisonGrid.attach(m_CompareButton, 0, 3, 2, 1);
    set_frame(m_ComparisonFrame, _("Comparison"), m_ComparisonGrid);
    m_FramesRow.append(m_ComparisonFrame);
}

void CMainWindow::build_key_frame() {
    m_KeyGrid.set_row_spacing(kSpacing);
    m_KeyGrid.set_column_spacing(kSpacing);
    const std::array<const char*, 4> attributes{N_("Normal"), N_("Blocking"), N_("Master"), N_("Inactive")};
    for (size_t i = 0; i < attributes.size(); ++i) {
        set_labelled_check(m_AttrRadios[i], _(attributes[i]));
        if (i > 0)
            m_AttrRadios[i].set_group(m_AttrRadios[0]);
        m_AttrBox.append(m_AttrRadios[i]);
    }
    m_AttrBox.set_spacing(kSpacing);
    m_KeyGrid.attach(m_AttrBox, 0, 0, 4, 1);

    m_KeyNumberLabel.set_text(_("ID code:"));
    m_KeyNumberLabel.set_xalign(0.0f);
    set_small_entry(m_KeyNumberEntry, _("Key number"));
    m_KeyNumberEntry.set_hexpand(true);
    m_KeyFormatDropDown.set_model(
        Gtk::StringList::create({_("Hexadecimal"), _("Em-Marine"), _("Em-Marine + code"), _("Decimal"),
                                 _("Decimal bytes"), _("Keypad code")}));
    m_KeyFormatDropDown.set_selected(static_cast<guint>(g_AppSet->get_key_format()));
    set_accessible_label(m_KeyFormatDropDown, _("Key number format"));
    set_labelled_check(m_KeyShortCheck, _("Short"));
    m_KeyGrid.attach(m_KeyNumberLabel, 0, 1);
    m_KeyGrid.attach(m_KeyNumberEntry, 1, 1);
    m_KeyGrid.attach(m_KeyFormatDropDown, 2, 1);
    m_KeyGrid.attach(m_KeyShortCheck, 3, 1);

    m_KeyDescriptionLabel.set_text(_("Description:"));
    m_KeyDescriptionLabel.set_xalign(0.0f);
    set_small_entry(m_KeyDescriptionEntry, _("Key description"));
    m_KeyGrid.attach(m_KeyDescriptionLabel, 0, 2);
    m_KeyGrid.attach(m_KeyDescriptionEntry, 1, 2, 3, 1);

    m_KeyButtonsBox.set_spacing(kSpacing);
    for (auto [button, label] :
         {std::pair{&m_KeyAddButton, _("Add")}, std::pair{&m_KeyFindButton, _("Find")},
          std::pair{&m_KeyApplyButton, _("Apply")}, std::pair{&m_KeyEmulateButton, _("Emulate")}}) {
        set_small_button(*button, label);
        // Adding, finding, applying and emulating keys come with the key editor.
        button->set_sensitive(false);
        m_KeyButtonsBox.append(*button);
    }
    m_KeyGrid.attach(m_KeyButtonsBox, 0, 3, 4, 1);
    set_frame(m_KeyFrame, _("Key"), m_KeyGrid);
    m_KeyFrame.set_hexpand(true);
    m_FramesRow.append(m_KeyFrame);
}

void CMainWindow::build_notebook() {
    m_Notebook.set_show_tabs(false);
    m_Notebook.set_vexpand(true);
    set_accessible_label(m_Notebook, _("Lists"));
    m_Notebook.append_page(m_DbPanel);
    m_DbPanel.signal_selection_changed().connect(sigc::mem_fun(*this, &CMainWindow::update_action_states));
    m_DbPanel.signal_activated().connect([this](guint) {
        // From an idle call, so that the activation's own event handling ends first.
        Glib::signal_idle().connect_once(sigc::mem_fun(*this, &CMainWindow::DoOpen), kOpenIdlePriority);
    });

    for (int i = 0; i < 2; ++i) {
        m_KeyPanels[i] = std::make_unique<CKeyPanel>(i, m_Docs[i]);
        m_KeyPanels[i]->signal_focus_entered().connect(
            sigc::mem_fun(*this, &CMainWindow::on_key_table_focus));
        m_KeyPanels[i]->signal_selection_changed().connect(
            sigc::mem_fun(*this, &CMainWindow::on_key_table_selection_changed));
    }
    m_KeyPanels[0]->set_focused(true);
    m_Paned.set_orientation(Gtk::Orientation::HORIZONTAL);
    m_Paned.set_start_child(*m_KeyPanels[0]);
    m_Paned.set_end_child(*m_KeyPanels[1]);
    m_Paned.set_resize_start_child(true);
    m_Paned.set_resize_end_child(true);
    m_Notebook.append_page(m_Paned);
}
