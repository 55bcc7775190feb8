// View modes, the active key table, the database folder's list and opening databases into the documents.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/i18n.h"
#include "keys/CKeyDb.h"
#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
constexpr const char* kDbExtension = ".dbf";
constexpr int kListPage = 0;
constexpr int kTablesPage = 1;
} // namespace

void CMainWindow::SetViewMode(ViewMode mode) {
    m_view_mode = mode;
    const bool tables = mode != VIEW_DATABASES;
    const bool two = mode == VIEW_TWO_DBS;
    m_database_frame.set_visible(!tables);
    m_lock_frame.set_visible(tables);
    m_key_frame.set_visible(tables);
    m_comparison_frame.set_visible(two);
    m_key_panels[1]->set_visible(two);
    m_key_panels[0]->header().set_visible(two);
    m_key_panels[1]->header().set_visible(two);
    m_notebook.set_current_page(tables ? kTablesPage : kListPage);
    update_action_states();

    ProgrammaticChange change(m_programmatic);
    if (tables) {
        show_active_document();
        if (two) {
            m_key_panels[0]->set_title(m_docs[0].extract_db_name());
            m_key_panels[1]->set_title(m_docs[1].extract_db_name());
        }
    } else {
        m_search_entry.set_text(m_prop->property_bases_query().get_value());
    }
    UpdateTitle();
}

void CMainWindow::show_active_document() {
    m_search_entry.set_text(m_prop->property_keys_query(m_active_table).get_value());
    m_lock_spin.set_value(OtcToTime(m_docs[m_active_table].get_otc()));
    UpdateCtrlForSelKey(m_active_table);
}

void CMainWindow::SetActiveKeyTable(int index) {
    if (index == m_active_table || index < 0 || index > 1)
        return;
    m_key_panels[m_active_table]->set_focused(false);
    m_active_table = index;
    m_key_panels[m_active_table]->set_focused(true);
    if (m_docs[m_active_table].is_open()) {
        ProgrammaticChange change(m_programmatic);
        show_active_document();
    }
    update_action_states();
}

void CMainWindow::on_key_table_focus(int index) {
    SetActiveKeyTable(index);
}

void CMainWindow::on_key_table_selection_changed(int index) {
    if (index == m_active_table)
        update_action_states();
}

void CMainWindow::on_key_type_toggled(ScanKeyType type) {
    if (m_programmatic != 0 || !g_AppSet)
        return;
    const std::array<Gtk::CheckButton*, 3> radios{&m_dallas_radio, &m_em_marine_radio, &m_kf300_radio};
    if (radios[type]->get_active() && g_AppSet->get_scan_key_type() != type)
        g_AppSet->set_scan_key_type(type);
}

void CMainWindow::set_key_type_buttons(ScanKeyType type) {
    ProgrammaticChange change(m_programmatic);
    switch (type) {
    case SCAN_KEY_EM_MARINE:
        m_em_marine_radio.set_active(true);
        break;
    case SCAN_KEY_KF300:
        m_kf300_radio.set_active(true);
        break;
    default:
        m_dallas_radio.set_active(true);
        break;
    }
}

void CMainWindow::UpdateDbDir() {
    const std::filesystem::path dir = GetDbDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        const Glib::ustring text = Glib::ustring("Error creating directories: ") + ec.message();
        std::cerr << text << std::endl;
        SetStatusMessage(text);
    }
    UpdateBasesView();
}

void CMainWindow::UpdateBasesView() {
    const std::filesystem::path dir = GetDbDir();
    std::error_code ec;
    std::vector<Glib::RefPtr<CDbInfo>> rows;
    if (std::filesystem::is_directory(dir, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            std::error_code entry_ec;
            if (!entry.is_regular_file(entry_ec) || entry.path().extension() != kDbExtension)
                continue;
            Glib::ustring description;
            int keys = 0;
            CKeyDb::GetKeyDbInfo(entry.path(), description, keys);
            rows.push_back(CDbInfo::create(entry.path().stem().string(), description, keys));
        }
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a->name() < b->name(); });
    m_db_store->splice(0, m_db_store->get_n_items(), rows);
}

guint CMainWindow::FindBaseByName(const Glib::ustring& name) const {
    const guint count = m_db_store->get_n_items();
    for (guint i = 0; i < count; ++i) {
        if (m_db_store->get_item(i)->name() == name)
            return i;
    }
    return kNoBase;
}

void CMainWindow::DoOpen() {
    const auto selected = m_db_panel.selected_items();
    if (selected.empty() || selected.size() > 2)
        return;
    std::vector<Glib::ustring> names;
    for (const auto& item : selected)
        names.push_back(item->name());
    OpenDatabases(names);
}

void CMainWindow::OpenDatabases(const std::vector<Glib::ustring>& names) {
    if (names.empty() || names.size() > 2)
        return;
    try {
        for (size_t i = 0; i < names.size(); ++i) {
            CKeyDocument& doc = m_docs[i];
            doc.set_filename(GetDbDir() / (names[i].raw() + kDbExtension));
            doc.open();
            SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" is open"), names[i]));
        }
        // One database is always shown in table 0.
        if (names.size() == 1)
            SetActiveKeyTable(0);
        SetViewMode(names.size() == 1 ? VIEW_ONE_DB : VIEW_TWO_DBS);
        CKeyPanel& active = *m_key_panels[m_active_table];
        active.focus_view();
        active.select_only(0);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        ShowMessage(e.what(), Gtk::MessageType::ERROR);
    }
}
