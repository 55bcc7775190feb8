// View modes, the active key table and the key type buttons.

#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
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
        UpdateCtrlForSelDb();
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
