// The window's actions: the table they are made from, the one function that decides every action's enabled
// flag and toggle state, and the handlers of the frame's own actions.
#include <clocale>
#include <iostream>

#include <giomm/appinfo.h>
#include <gtkmm/editable.h>
#include <gtkmm/text.h>

#include "app/CDebugLog.h"
#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"
#include "ui/CSettingsDialog.h"
#include "ui/HelpFile.h"

namespace {
constexpr const char* kMainGroup = "main";
constexpr const char* kWebsite = "https://www.orvanta.com/";
} // namespace

std::span<const ActionEntry> main_window_actions() {
    using K = ActionEntry::Kind;
    using N = ActionEntry::Need;
    using W = CMainWindow;
    using A = CAdapterThread;
    static const ActionEntry actions[] = {
        {"open", K::Plain, "Return", &W::on_action_open, N::DatabaseList},
        {"close", K::Plain, "Escape", &W::on_action_close, N::OpenDatabase},
        {"save", K::Plain, "<Control>s", &W::on_action_save, N::OpenDatabase},
        {"import-csv", K::Plain, nullptr, &W::on_action_import_csv, N::OpenDatabase},
        {"export-csv", K::Plain, nullptr, &W::on_action_export_csv},
        {"delete", K::Plain, "Delete", &W::on_action_delete},
        {"select-all", K::Plain, "<Control>a", &W::on_action_select_all},
        {"find", K::Plain, "<Control>f", &W::on_action_find},
        {"find-in-files", K::Plain, "<Control><Shift>f", &W::on_action_find_in_files},
        {"mode_search", K::ModeToggle, "F2", &W::on_action_mode_search, N::Always, W::KEY_MODE_SEARCH},
        {"mode_add", K::ModeToggle, "F3", &W::on_action_mode_add, N::Always, W::KEY_MODE_ADD},
        {"mode_delete", K::ModeToggle, "F4", &W::on_action_mode_delete, N::Always, W::KEY_MODE_DELETE},
        {"different-kf300", K::Setting, nullptr, nullptr},
        {"xor-mode", K::Setting, nullptr, nullptr},
        {"write_em_marine", K::Plain, nullptr, &W::on_action_write_em_marine},
        {"write_hid", K::Plain, nullptr, &W::on_action_write_hid},
        {"quit", K::Plain, "<Control>q", &W::on_action_quit},
        {"help", K::Plain, "F1", &W::on_action_help},
        {"about", K::Plain, nullptr, &W::on_action_about},
        {"settings", K::Plain, "<Control>comma", &W::on_action_settings},
        {"ds1996_prepare", K::CmdToggle, "F6", nullptr, N::Always, A::CMD_DS1996_PREPARE},
        {"ds1996_from_db", K::CmdToggle, "F7", nullptr, N::Always, A::CMD_DS1996_FROM_DB},
        {"ds1996_to_db", K::CmdToggle, "F8", nullptr, N::Always, A::CMD_DS1996_TO_DB},
        {"ds1996_from_file", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_DS1996_FROM_FILE},
        {"ds1996_to_file", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_DS1996_TO_FILE},
        {"emu_from_db", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_EMU_FROM_DB},
        {"emu_to_db", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_EMU_TO_DB},
        {"q4t_clear", K::CmdToggle, "F9", nullptr, N::Always, A::CMD_Q4T_CLEAR},
        {"q4t_from_db", K::CmdToggle, "F11", nullptr, N::Always, A::CMD_Q4T_FROM_DB},
        {"q4t_to_db", K::CmdToggle, "F12", nullptr, N::Always, A::CMD_Q4T_TO_DB},
        {"q4t_from_file", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_Q4T_FROM_FILE},
        {"q4t_to_file", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_Q4T_TO_FILE},
        {"q4t_test", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_Q4T_TEST},
        {"q4t_format", K::CmdToggle, nullptr, nullptr, N::Always, A::CMD_Q4T_FORMAT},
        {"mf_prepare", K::Plain, nullptr, &W::on_action_mf_prepare},
        {"mf_from_db", K::Plain, nullptr, &W::on_action_mf_from_db},
        {"mf_to_db", K::Plain, nullptr, &W::on_action_mf_to_db},
        {"mf_clear", K::Plain, nullptr, &W::on_action_mf_clear},
        {"cut", K::Plain, "<Control>x", &W::on_action_cut, N::CutCopy, 0, true},
        {"copy", K::Plain, "<Control>c", &W::on_action_copy, N::CutCopy, 0, true},
        {"paste", K::Plain, "<Control>v", &W::on_action_paste, N::Paste, 0, true},
    };
    return actions;
}

void CMainWindow::create_actions() {
    m_actions = Gio::SimpleActionGroup::create();
    for (const ActionEntry& entry : main_window_actions()) {
        Glib::RefPtr<Gio::Action> action;
        if (entry.kind == ActionEntry::Kind::Setting) {
            action = m_settings->create_action(entry.name);
        } else {
            auto simple = entry.kind == ActionEntry::Kind::Plain
                              ? Gio::SimpleAction::create(entry.name)
                              : Gio::SimpleAction::create_bool(entry.name, false);
            simple->signal_activate().connect(
                [this, &entry](const Glib::VariantBase&) { activate_action(entry); });
            action = simple;
        }
        if (entry.window_scope)
            add_action(action);
        else
            m_actions->add_action(action);
        if (entry.accel != nullptr) {
            const Glib::ustring prefix = entry.window_scope ? "win." : Glib::ustring(kMainGroup) + ".";
            m_app->set_accels_for_action(prefix + entry.name, {entry.accel});
        }
    }
    insert_action_group(kMainGroup, m_actions);
}

void CMainWindow::activate_action(const ActionEntry& entry) {
    try {
        if (entry.handler != nullptr)
            (this->*entry.handler)();
        else if (entry.kind == ActionEntry::Kind::CmdToggle && entry.ready)
            ToggleAdapterCmd(static_cast<CAdapterThread::Cmd>(entry.value));
    } catch (const std::exception& e) {
        // The boundary of a user action: its failure is shown, and the window goes on.
        SetStatusMessage(e.what());
    }
    update_action_states();
}

Glib::RefPtr<Gio::SimpleAction> CMainWindow::find_simple_action(const ActionEntry& entry) const {
    auto action = entry.window_scope ? const_cast<CMainWindow*>(this)->lookup_action(entry.name)
                                     : m_actions->lookup_action(entry.name);
    return std::dynamic_pointer_cast<Gio::SimpleAction>(action);
}

bool CMainWindow::is_text_focused() const {
    const Gtk::Widget* focus = const_cast<CMainWindow*>(this)->get_focus();
    return focus != nullptr && dynamic_cast<const Gtk::Editable*>(focus) != nullptr;
}

bool CMainWindow::is_action_needed(ActionEntry::Need need) const {
    switch (need) {
    case ActionEntry::Need::Always:
        return true;
    case ActionEntry::Need::DatabaseList:
        // Opening takes one or two databases.
        return m_view_mode == VIEW_DATABASES && m_db_panel.selected_count() >= 1 &&
               m_db_panel.selected_count() <= 2;
    case ActionEntry::Need::OpenDatabase:
        return m_view_mode != VIEW_DATABASES;
    case ActionEntry::Need::CutCopy:
        if (is_text_focused())
            return true;
        return m_view_mode == VIEW_DATABASES ? m_db_panel.has_selection()
                                             : m_key_panels[m_active_table]->has_selection();
    case ActionEntry::Need::Paste:
        if (is_text_focused())
            return m_clipboard_kind == CLIPBOARD_TEXT;
        return m_clipboard_kind == (m_view_mode == VIEW_DATABASES ? CLIPBOARD_FILES : CLIPBOARD_KEYS);
    }
    return false;
}

void CMainWindow::update_action_states() {
    const CAdapterThread::Cmd running = m_adapter_thread.GetCurrentCmd();
    for (const ActionEntry& entry : main_window_actions()) {
        auto action = find_simple_action(entry);
        if (!action)
            continue; // settings actions follow their key by themselves
        const bool available =
            entry.ready && (entry.handler != nullptr || entry.kind == ActionEntry::Kind::CmdToggle);
        action->set_enabled(available && is_action_needed(entry.need));
        if (entry.kind == ActionEntry::Kind::ModeToggle)
            action->set_state(Glib::Variant<bool>::create(m_key_edit_mode == entry.value));
        else if (entry.kind == ActionEntry::Kind::CmdToggle)
            action->set_state(Glib::Variant<bool>::create(running == entry.value));
    }
}

void CMainWindow::UpdateAdapterActionsState() {
    update_action_states();
}

void CMainWindow::update_paste_action_state() {
    update_action_states();
}

void CMainWindow::set_clipboard_kind(ClipboardKind kind) {
    m_clipboard_kind = kind;
    update_paste_action_state();
}

void CMainWindow::on_focus_widget_changed() {
    update_action_states();
}

void CMainWindow::on_action_open() {
    DoOpen();
}

void CMainWindow::on_action_close() {
    DoClose(true, {});
}

void CMainWindow::on_action_save() {
    CKeyDocument& doc = m_docs[m_active_table];
    if (!doc.is_open() || !doc.is_modified())
        return;
    doc.save();
    const guint position = FindBaseByName(doc.extract_db_name());
    if (position != kNoBase)
        m_db_store->get_item(position)->set_keys(static_cast<int>(doc.get_keys()->get_n_items()));
    SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" has been saved"), doc.extract_db_name()));
}

void CMainWindow::on_action_select_all() {
    if (m_view_mode == VIEW_DATABASES)
        m_db_panel.select_all();
    else
        m_key_panels[m_active_table]->select_all();
}

void CMainWindow::on_action_find() {
    m_search_entry.grab_focus();
}

void CMainWindow::on_action_about() {
    if (!m_about_dialog) {
        m_about_dialog = std::make_unique<Gtk::AboutDialog>();
        m_about_dialog->set_transient_for(*this);
        m_about_dialog->set_hide_on_close(true);
        m_about_dialog->set_logo_icon_name("org.kestrix.Kestrix");
        m_about_dialog->set_program_name(_("Kestrix"));
        m_about_dialog->set_version(version_text(kVersion));
        m_about_dialog->set_comments(_("Software for servicing Orvanta standalone controllers."));
        m_about_dialog->set_website(kWebsite);
        m_about_dialog->set_website_label(_("Website"));
        m_about_dialog->signal_hide().connect([this] { m_closed_windows.release(m_about_dialog); });
    }
    m_about_dialog->present();
}

void CMainWindow::on_action_help() {
    const char* current = std::setlocale(LC_MESSAGES, nullptr);
    const std::string locale_name = current != nullptr ? current : "";
    if (g_Debug.IsLoggable(LOGLEVEL_INFO))
        g_Debug.LogMsgFmt(LOGLEVEL_INFO, kWindowLogTag, "help current locale: \"%s\"", locale_name.c_str());
    const std::filesystem::path file =
        std::filesystem::absolute(help_file_for_locale(help_dir(), locale_name));
    const std::string uri = "file://" + file.string();
    try {
        Gio::AppInfo::launch_default_for_uri(uri);
    } catch (const Glib::Error& e) {
        std::cerr << "Error opening PDF: " << e.what() << std::endl;
        // The toolkit's own launcher asks the desktop portal on behalf of this window.
        gtk_show_uri(GTK_WINDOW(gobj()), uri.c_str(), GDK_CURRENT_TIME);
    }
}

// Cut, copy and paste act on the focused text entry; keys and databases go through the clipboard exchange.
void CMainWindow::on_action_cut() {
    if (auto* focus = get_focus(); focus != nullptr && is_text_focused())
        focus->activate_action("clipboard.cut");
    else if (m_view_mode == VIEW_DATABASES)
        CutBasesToClipboard();
    else
        CutKeysToClipboard();
}

void CMainWindow::on_action_copy() {
    if (auto* focus = get_focus(); focus != nullptr && is_text_focused())
        focus->activate_action("clipboard.copy");
    else if (m_view_mode == VIEW_DATABASES)
        CopyBasesToClipboard();
    else
        CopyKeysToClipboard();
}

void CMainWindow::on_action_paste() {
    if (auto* focus = get_focus(); focus != nullptr && is_text_focused())
        focus->activate_action("clipboard.paste");
    else if (m_view_mode == VIEW_DATABASES)
        PasteBasesFromClipboard();
    else
        PasteKeysFromClipboard();
}

bool CMainWindow::on_key_pressed(guint keyval, guint, Gdk::ModifierType) {
    if (keyval != kKeyTab || m_view_mode != VIEW_TWO_DBS)
        return false;
    for (int i = 0; i < 2; ++i) {
        if (m_key_panels[i]->has_focus_within()) {
            m_key_panels[1 - i]->focus_view();
            return true;
        }
    }
    return false;
}

void CMainWindow::on_action_settings() {
    // A new dialog for every use, released once it is hidden.
    m_settings_dialog = std::make_unique<CSettingsDialog>(*this, m_device_ports.devices());
    m_settings_dialog->signal_hide().connect([this] { m_closed_windows.release(m_settings_dialog); });
    m_settings_dialog->present();
}
