// The key edit modes: keys read by the adapter or put on the reader are searched for, added to or removed
// from the active table.
#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
// Longer numbers (Mifare UIDs of 7 or 10 bytes) are keys by their first six bytes.
constexpr std::uint8_t kKeyModeBytes = 6;
// Numbers of three bytes or fewer are matched as short numbers.
constexpr std::uint8_t kShortBytes = 3;
} // namespace

void CMainWindow::on_action_mode_search() {
    toggle_key_mode(KEY_MODE_SEARCH);
}

void CMainWindow::on_action_mode_add() {
    toggle_key_mode(KEY_MODE_ADD);
}

void CMainWindow::on_action_mode_delete() {
    toggle_key_mode(KEY_MODE_DELETE);
}

void CMainWindow::toggle_key_mode(KeyEditMode mode) {
    SetKeyMode(m_key_edit_mode == mode ? KEY_MODE_NONE : mode);
}

void CMainWindow::SetKeyMode(KeyEditMode mode) {
    m_key_edit_mode = mode;
    // The reader stays open while a mode is on and a reader port resolves; it closes otherwise.
    try {
        m_device_ports.set_key_mode(mode != KEY_MODE_NONE);
    } catch (const std::exception& e) {
        m_device_ports.CloseKeyReader();
        SetStatusMessage(e.what());
    }
    update_action_states();
    UpdateDeviceStatus();
}

void CMainWindow::on_card_inserted(const rdx_card_info& card) {
    if (m_key_edit_mode == KEY_MODE_NONE || !m_docs[m_active_table].is_open())
        return;
    CardType type = CT_UNKNOWN;
    CCardUID number;
    CDevicePorts::card_to_key(card, g_AppSet->get_different_kf300(), type, number);
    ProcessKeyModeKey(type, number);
}

void CMainWindow::ProcessKeyModeKey(CardType type, const CCardUID& read) {
    if (m_key_edit_mode == KEY_MODE_NONE)
        return;
    const CCardUID number = read.length > kKeyModeBytes ? CCardUID(read.bytes, kKeyModeBytes) : read;
    CKeyDocument& doc = m_docs[m_active_table];
    CKeyPanel& panel = *m_key_panels[m_active_table];
    const auto& store = doc.get_keys();
    const int position = find_key_by_number(store, number, number.length <= kShortBytes, 0);
    const Glib::RefPtr<CKey> key = position < 0 ? nullptr : store->get_item(static_cast<guint>(position));

    switch (m_key_edit_mode) {
    case KEY_MODE_ADD:
        if (!key) {
            const std::uint32_t id = doc.generate_key_id();
            // The description only tells new keys apart until the user names them.
            auto added = doc.add_key(id, type, number, false, KA_NORMAL, Glib::ustring::sprintf("# %u", id));
            panel.select_key(added);
            report_key(_("Key \"%s\" added"), number);
            return;
        } else {
            bool changed = false;
            if (number.length > kShortBytes && is_short_number(key->number(), key->is_short())) {
                key->set_number(number);
                key->set_short(false);
                changed = true;
            }
            if (key->card_type() != type) {
                key->set_card_type(type);
                changed = true;
            }
            if (changed) {
                doc.set_modified_flag(true);
                report_key(_("The key \"%s\" has been updated"), number);
            }
            panel.select_key(key);
        }
        break;
    case KEY_MODE_DELETE:
        if (!key) {
            report_key(_("Key \"%s\" not found"), number);
            return;
        }
        doc.delete_key(static_cast<guint>(position));
        report_key(_("Key \"%s\" removed"), number);
        break;
    case KEY_MODE_SEARCH:
        if (!key) {
            report_key(_("Key \"%s\" not found"), number);
            return;
        }
        report_key(_("Key \"%s\" found"), number);
        panel.select_key(key);
        break;
    default:
        break;
    }
}
