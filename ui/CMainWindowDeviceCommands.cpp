// The window's side of the adapter commands: the toggle rule every command action shares, the starters, and
// the key list handed to a command that writes from the database.
#include <gdkmm/display.h>
#include <gdkmm/seat.h>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
// Above this lock-open time the user confirms before it goes to a device.
constexpr double kLongLockSeconds = 60.0;
} // namespace

void CMainWindow::ToggleAdapterCmd(CAdapterThread::Cmd cmd) {
    // A question the worker raised before this click is settled first, so that it cannot be taken for the
    // question of the command started now.
    take_adapter_notifications();
    if (m_adapter_thread.GetCurrentCmd() == cmd) {
        withdraw_worker_question();
        m_adapter_thread.BreakCmd();
    } else if (cmd == CAdapterThread::CMD_DS1996_FROM_FILE || cmd == CAdapterThread::CMD_Q4T_FROM_FILE) {
        // The command starts once a file has been chosen, read and accepted.
        choose_dump_file(false, [this, cmd](std::optional<std::filesystem::path> path) {
            if (path)
                load_dump_file(cmd, *path);
        });
    } else {
        start_adapter_cmd(cmd);
    }
    UpdateAdapterActionsState();
}

void CMainWindow::start_adapter_cmd(CAdapterThread::Cmd cmd) {
    // The command replaced takes its question with it.
    withdraw_worker_question();
    m_file_question.reset();
    switch (cmd) {
    case CAdapterThread::CMD_DS1996_PREPARE:
        m_adapter_thread.StartDS1996Prepare();
        break;
    case CAdapterThread::CMD_DS1996_FROM_DB:
        m_adapter_thread.StartDS1996FromDb();
        break;
    case CAdapterThread::CMD_DS1996_TO_DB:
        m_adapter_thread.StartDS1996ToDb();
        break;
    case CAdapterThread::CMD_DS1996_FROM_FILE:
        m_adapter_thread.StartDS1996FromFile();
        break;
    case CAdapterThread::CMD_DS1996_TO_FILE:
        m_adapter_thread.StartDS1996ToFile();
        break;
    case CAdapterThread::CMD_Q4T_CLEAR:
        m_adapter_thread.StartQ4tClear();
        break;
    case CAdapterThread::CMD_Q4T_FROM_DB:
        m_adapter_thread.StartQ4tFromDb();
        break;
    case CAdapterThread::CMD_Q4T_TO_DB:
        m_adapter_thread.StartQ4tToDb();
        break;
    case CAdapterThread::CMD_Q4T_FROM_FILE:
        m_adapter_thread.StartQ4tFromFile();
        break;
    case CAdapterThread::CMD_Q4T_TO_FILE:
        m_adapter_thread.StartQ4tToFile();
        break;
    case CAdapterThread::CMD_Q4T_TEST:
        m_adapter_thread.StartQ4tTest();
        break;
    case CAdapterThread::CMD_Q4T_FORMAT:
        m_adapter_thread.StartQ4tFormat();
        break;
    case CAdapterThread::CMD_EMU_FROM_DB:
        m_adapter_thread.StartEmuFromDb();
        break;
    case CAdapterThread::CMD_EMU_TO_DB:
        m_adapter_thread.StartEmuToDb();
        break;
    default:
        // The key editor's buttons and the Temic actions start their commands with data of their own.
        break;
    }
}

// Kind 1: the worker wants the key list for a target of `maximum` keys.
void CMainWindow::ask_db_keys(unsigned long maximum) {
    const CKeyDocument& doc = m_docs[m_active_table];
    if (!doc.is_open()) {
        m_worker_question->answer(false);
        return;
    }
    if (lock_time_needs_question()) {
        m_worker_question->confirm(_("Really want to write down lock opening time greater than 1 minute?"),
                                   [this, maximum] { hand_over_db_keys(maximum); });
        return;
    }
    hand_over_db_keys(maximum);
}

void CMainWindow::hand_over_db_keys(unsigned long maximum) {
    // The document may have been closed while the lock time question showed.
    if (!m_docs[m_active_table].is_open()) {
        m_worker_question->answer(false);
        return;
    }
    std::vector<m6::_db_key> keys;
    unsigned short lock_code = 0;
    unsigned int key_count = 0;
    unsigned int duplicates = 0;
    const auto limit = static_cast<unsigned int>(maximum);
    GetDbForWrite(limit, keys, lock_code, key_count, duplicates);
    m_adapter_thread.SetDbData(keys, lock_code);
    const Glib::ustring text =
        key_list_question(limit, key_count, static_cast<unsigned>(keys.size()), duplicates);
    if (!text.empty()) {
        m_worker_question->confirm(text, [this] { m_worker_question->answer(true); });
        return;
    }
    m_worker_question->answer(true);
}

bool CMainWindow::lock_time_needs_question() const {
    return OtcToTime(m_docs[m_active_table].get_otc()) > kLongLockSeconds &&
           g_AppSet->get_lock_time_confirm();
}

Glib::ustring CMainWindow::key_list_question(unsigned maximum, unsigned count, unsigned listed,
                                             unsigned duplicates) {
    if ((listed < maximum && duplicates == 0) || !g_AppSet->get_key_list_confirm())
        return {};
    Glib::ustring text;
    if (count - duplicates > maximum)
        text += Glib::ustring::sprintf(NP_("The memory is limited, maximum %u keys.\n", maximum), maximum);
    if (duplicates > 0)
        text += Glib::ustring::sprintf(NP_("%u duplicate numbers will not be written.\n", duplicates),
                                       duplicates);
    return text + _("Continue?");
}

bool CMainWindow::is_shift_held() const {
    const auto seat = const_cast<CMainWindow*>(this)->get_display()->get_default_seat();
    const auto keyboard = seat ? seat->get_keyboard() : nullptr;
    return keyboard &&
           (keyboard->get_modifier_state() & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK;
}
