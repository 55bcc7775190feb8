// View modes, the active key table, the database folder's list and opening databases into the documents.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "settings/CAppSettings.h"
#include "app/i18n.h"
#include "keys/CKeyDb.h"
#include "keys/KeyNumber.h"
#include "ui/CMainWindow.h"

namespace {
constexpr const char* kDbExtension = ".dbf";
constexpr int kListPage = 0;
constexpr int kTablesPage = 1;
} // namespace

void CMainWindow::SetViewMode(ViewMode mode) {
    m_nViewMode = mode;
    const bool tables = mode != VIEW_DATABASES;
    const bool two = mode == VIEW_TWO_DBS;
    m_DatabaseFrame.set_visible(!tables);
    m_LockFrame.set_visible(tables);
    m_KeyFrame.set_visible(tables);
    m_ComparisonFrame.set_visible(two);
    m_KeyPanels[1]->set_visible(two);
    m_KeyPanels[0]->header().set_visible(two);
    m_KeyPanels[1]->header().set_visible(two);
    m_Notebook.set_current_page(tables ? kTablesPage : kListPage);
    update_action_states();

    ProgrammaticChange change(m_nProgrammatic);
    if (tables) {
        show_active_document();
        if (two) {
            m_KeyPanels[0]->set_title(m_Docs[0].extract_db_name());
            m_KeyPanels[1]->set_title(m_Docs[1].extract_db_name());
        }
    } else {
        m_SearchEntry.set_text(m_refProp->property_bases_query().get_value());
    }
    UpdateTitle();
}

void CMainWindow::show_active_document() {
    m_SearchEntry.set_text(m_refProp->property_keys_query(m_nActiveTable).get_value());
    m_LockSpin.set_value(OtcToTime(m_Docs[m_nActiveTable].get_otc()));
}

void CMainWindow::SetActiveKeyTable(int index) {
    if (index == m_nActiveTable || index < 0 || index > 1)
        return;
    m_KeyPanels[m_nActiveTable]->set_focused(false);
    m_nActiveTable = index;
    m_KeyPanels[m_nActiveTable]->set_focused(true);
    if (m_Docs[m_nActiveTable].is_open()) {
        ProgrammaticChange change(m_nProgrammatic);
        show_active_document();
    }
    update_action_states();
}

void CMainWindow::on_key_table_focus(int index) {
    SetActiveKeyTable(index);
}

void CMainWindow::on_key_table_selection_changed(int index) {
    if (index == m_nActiveTable)
        update_action_states();
}

void CMainWindow::on_key_type_toggled(ScanKeyType type) {
    if (m_nProgrammatic != 0 || !g_AppSet)
        return;
    const std::array<Gtk::CheckButton*, 3> radios{&m_DallasRadio, &m_EmMarineRadio, &m_Kf300Radio};
    if (radios[type]->get_active() && g_AppSet->get_scan_key_type() != type)
        g_AppSet->set_scan_key_type(type);
}

void CMainWindow::set_key_type_buttons(ScanKeyType type) {
    ProgrammaticChange change(m_nProgrammatic);
    switch (type) {
    case SCAN_KEY_EM_MARINE:
        m_EmMarineRadio.set_active(true);
        break;
    case SCAN_KEY_KF300:
        m_Kf300Radio.set_active(true);
        break;
    default:
        m_DallasRadio.set_active(true);
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
    m_refDbStore->splice(0, m_refDbStore->get_n_items(), rows);
}

guint CMainWindow::FindBaseByName(const Glib::ustring& name) const {
    const guint count = m_refDbStore->get_n_items();
    for (guint i = 0; i < count; ++i) {
        if (m_refDbStore->get_item(i)->name() == name)
            return i;
    }
    return kNoBase;
}

void CMainWindow::DoOpen() {
    const auto selected = m_DbPanel.selected_items();
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
            CKeyDocument& doc = m_Docs[i];
            doc.set_filename(GetDbDir() / (names[i].raw() + kDbExtension));
            doc.open();
            SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" is open"), names[i]));
        }
        // One database is always shown in table 0.
        if (names.size() == 1)
            SetActiveKeyTable(0);
        SetViewMode(names.size() == 1 ? VIEW_ONE_DB : VIEW_TWO_DBS);
        CKeyPanel& active = *m_KeyPanels[m_nActiveTable];
        active.focus_view();
        active.select_only(0);
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        ShowMessage(e.what(), Gtk::MessageType::ERROR);
    }
}
