// Find in files from the window: the search dialog, created on first use and released once hidden.

#include "ui/CMainWindow.h"
#include "ui/CSearchDialog.h"

void CMainWindow::on_action_find_in_files() {
    if (!m_search_dialog) {
        m_search_dialog = std::make_shared<CSearchDialog>(m_docs.data(), static_cast<int>(m_docs.size()));
        m_search_dialog->set_transient_for(*this);
        m_search_dialog->signal_hide().connect([this] { m_closed_windows.release(m_search_dialog); });
    }
    m_search_dialog->present();
}
