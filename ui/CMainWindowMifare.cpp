// The window's side of the Mifare actions: each opens a Mifare dialog for one command; writing first takes
// the key list from the active document (with its questions), reading merges the list read back into it.
#include <gdkmm/device.h>
#include <gdkmm/display.h>
#include <gdkmm/seat.h>
#include <glibmm/main.h>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"
#include "ui/CMifareDialog.h"

namespace {
// A set of Mifare cards carries at most this many keys (an 8 KB controller image).
constexpr unsigned kMifareMaxKeys = 1363;
} // namespace

CMifareDialog& CMainWindow::OpenMifareDialog() {
    // One dialog per command: one still open is closed first, its worker stopped with it.
    m_closed_windows.release(m_mifare_dialog);
    m_mifare_dialog = std::make_shared<CMifareDialog>();
    m_mifare_dialog->set_transient_for(*this);
    m_mifare_dialog->set_modal(true);
    m_mifare_dialog->set_hide_on_close(true);
    m_mifare_dialog->signal_hide().connect([this, shown = m_mifare_dialog.get()] {
        if (m_mifare_dialog.get() == shown)
            m_closed_windows.release(m_mifare_dialog);
    });
    m_mifare_dialog->present();
    return *m_mifare_dialog;
}

void CMainWindow::on_action_mf_prepare() {
    OpenMifareDialog().StartPrepare();
}

void CMainWindow::on_action_mf_clear() {
    OpenMifareDialog().StartClear();
}

void CMainWindow::on_action_mf_from_db() {
    if (!m_docs[m_active_table].is_open())
        return;
    ConfirmLockTime([this] {
        if (!m_docs[m_active_table].is_open())
            return;
        std::vector<m6::_db_key> keys;
        unsigned short lock_code = 0;
        unsigned key_count = 0;
        unsigned duplicates = 0;
        GetDbForWrite(kMifareMaxKeys, keys, lock_code, key_count, duplicates);
        const auto listed = static_cast<unsigned>(keys.size());
        // The list is kept by the question's answer until it is given.
        auto shared = std::make_shared<std::vector<m6::_db_key>>(std::move(keys));
        ConfirmKeyList(kMifareMaxKeys, key_count, listed, duplicates,
                       [this, shared, lock_code] { StartMifareWrite(*shared, lock_code); });
    });
}

void CMainWindow::on_action_mf_to_db() {
    if (!m_docs[m_active_table].is_open())
        return;
    CMifareDialog& dialog = OpenMifareDialog();
    const int table = m_active_table;
    dialog.StartReadDb([this, table] {
        // The list goes to the document the read was started for, if it is still open.
        if (!m_mifare_dialog || !m_docs[table].is_open() || table != m_active_table)
            return;
        std::vector<m6::_db_key> keys;
        unsigned short lock_code = 0;
        m_mifare_dialog->GetDbData(keys, lock_code);
        try {
            ImportKeysFromAdapter(keys, lock_code, !m_shift_probe());
        } catch (const std::exception& e) {
            SetStatusMessage(e.what());
        }
    });
}

void CMainWindow::StartMifareWrite(const std::vector<m6::_db_key>& keys, unsigned short lock_code) {
    OpenMifareDialog().StartWriteDb(keys, lock_code);
}

void CMainWindow::ConfirmLockTime(const std::function<void()>& go) {
    if (!lock_time_needs_question()) {
        go();
        return;
    }
    ConfirmThenGo(_("Really want to write down lock opening time greater than 1 minute?"), go);
}

void CMainWindow::ConfirmKeyList(unsigned maximum, unsigned count, unsigned listed, unsigned duplicates,
                                 const std::function<void()>& go) {
    const Glib::ustring text = key_list_question(maximum, count, listed, duplicates);
    if (text.empty()) {
        go();
        return;
    }
    ConfirmThenGo(text, go);
}

void CMainWindow::ConfirmThenGo(const Glib::ustring& text, const std::function<void()>& go) {
    MessageDialog(text, Gtk::MessageType::WARNING, Gtk::ButtonsType::OK_CANCEL, [this, go](int response) {
        ReleaseMessageDialog();
        // The next question may need the message dialog: go on once this one is gone.
        if (response == Gtk::ResponseType::OK)
            Glib::signal_idle().connect_once([go] { go(); });
    });
}
