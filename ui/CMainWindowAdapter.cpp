// The window's link to the adapter worker: the cross-thread wake-up, the notifications in their fixed order,
// and the device status line.
#include <ctime>
#include <memory>

#include "app/i18n.h"
#include "readers/CRdxTemicLibrary.h"
#include "readers/DeviceDiscovery.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

void CMainWindow::start_adapter() {
    m_adapter_thread.set_on_notify([this] { on_adapter_notify(); });
    m_adapter_thread.set_temic_library(std::make_shared<CRdxTemicLibrary>());
    m_adapter_thread.set_scan_key_type(g_AppSet->get_scan_key_type());
    m_adapter_thread.set_different_kf300(g_AppSet->get_different_kf300());
    m_adapter_thread.set_xor_mode(g_AppSet->get_xor_mode());
    m_adapter_thread.Start();
}

void CMainWindow::on_adapter_notify() {
    m_dispatcher.emit();
}

void CMainWindow::on_disp() {
    take_adapter_notifications();
    m_device_ports.ProcessMessages();
}

void CMainWindow::take_adapter_notifications() {
    unsigned int flags = 0;
    m_adapter_thread.get_notifications(flags);
    if (flags == 0)
        return;
    m_in_notifications = true;
    try {
        ProcessAdapterNotifications(flags);
    } catch (...) {
        m_in_notifications = false;
        throw;
    }
    m_in_notifications = false;
}

void CMainWindow::ProcessAdapterNotifications(unsigned int flags) {
    if ((flags & CAdapterThread::NMSG_ASK_USER) != 0)
        on_adapter_ask_user();
    if ((flags & CAdapterThread::NMSG_CONNECT_STATUS) != 0)
        UpdateDeviceStatus();
    if ((flags & CAdapterThread::NMSG_STATUS_TEXT) != 0) {
        std::vector<Glib::ustring> lines;
        m_adapter_thread.GetHistoryStatusText(lines);
        if (!lines.empty()) {
            const auto now = static_cast<std::int64_t>(std::time(nullptr));
            std::vector<Glib::RefPtr<CHistoryRec>> records;
            records.reserve(lines.size());
            for (const auto& line : lines)
                records.push_back(CHistoryRec::create(now, line));
            m_history->splice(m_history->get_n_items(), 0, records);
        }
        SetStatusMessage(m_adapter_thread.GetStatusText(), false);
    }
    if ((flags & CAdapterThread::NMSG_INFO_STATUS) != 0)
        m_status_bar.set_info(m_adapter_thread.GetInfoStatus());
    if ((flags & CAdapterThread::NMSG_CURRENT_KEY) != 0)
        on_adapter_current_key();
    if ((flags & CAdapterThread::NMSG_CMD_FINISH) != 0)
        on_adapter_cmd_finish();
}

void CMainWindow::on_adapter_ask_user() {
    CAdapterThread::AskUserKind kind = CAdapterThread::ASK_DS1996_CONTENT;
    unsigned long param = 0;
    m_adapter_thread.GetAskUserData(kind, param);
    // A new question replaces whatever was still showing: the worker waits for one answer only.
    withdraw_worker_question();
    const CAdapterThread::Cmd cmd = m_adapter_thread.GetCurrentCmd();
    if (cmd == CAdapterThread::CMD_NONE)
        return; // the command that asked has already gone
    const unsigned int serial = ++m_question_serial;
    m_worker_question = std::make_unique<CWorkerQuestion>(
        *this, m_closed_windows, cmd, [this, serial](bool yes) { on_worker_answer(serial, yes); });
    switch (kind) {
    case CAdapterThread::ASK_DB_KEYS:
        ask_db_keys(param);
        break;
    case CAdapterThread::ASK_FILE_SIZE:
        m_worker_question->confirm(Glib::ustring::sprintf(_("The memory is limited, maximum %u bytes"),
                                                          static_cast<unsigned>(param)),
                                   [this] { m_worker_question->answer(true); });
        break;
    default:
        m_worker_question->ask_ds1996_content(static_cast<unsigned int>(param));
        break;
    }
    UpdateAdapterActionsState();
}

void CMainWindow::on_worker_answer(unsigned int serial, bool yes) {
    // An answer given from a dialog comes after what the worker reported meanwhile: that may have ended the
    // question (the command finished, or asked again), and then the answer belongs to nothing.
    if (!m_in_notifications)
        take_adapter_notifications();
    if (!m_worker_question || serial != m_question_serial)
        return;
    const bool still_asked = m_adapter_thread.GetCurrentCmd() == m_worker_question->cmd();
    m_worker_question.reset();
    if (still_asked)
        m_adapter_thread.SetAskUserFinish(yes);
    UpdateAdapterActionsState();
}

void CMainWindow::withdraw_worker_question() {
    m_worker_question.reset();
}

void CMainWindow::on_adapter_current_key() {
    CardType type = CT_UNKNOWN;
    CCardUID number;
    m_adapter_thread.GetCurrentKey(type, number);
    // A key taken off the reader is reported as no key: nothing to look up.
    if (!number.empty() && m_key_edit_mode != KEY_MODE_NONE && m_docs[m_active_table].is_open())
        ProcessKeyModeKey(type, number);
}

void CMainWindow::on_adapter_cmd_finish() {
    CAdapterThread::Cmd cmd = CAdapterThread::CMD_NONE;
    bool result = false;
    m_adapter_thread.GetFinishedCmd(cmd, result);
    // A question whose command is no longer running has nobody left to answer.
    if (m_worker_question && m_adapter_thread.GetCurrentCmd() != m_worker_question->cmd())
        withdraw_worker_question();
    try {
        if (result)
            take_finished_cmd_results(cmd);
    } catch (const std::exception& e) {
        // Whatever went wrong with the results, the window stays usable for the next command.
        report_device_error(e.what());
    }
    UpdateAdapterActionsState();
}

void CMainWindow::take_finished_cmd_results(CAdapterThread::Cmd cmd) {
    switch (cmd) {
    case CAdapterThread::CMD_DS1996_TO_DB:
    case CAdapterThread::CMD_Q4T_TO_DB:
    case CAdapterThread::CMD_EMU_TO_DB: {
        std::vector<m6::_db_key> keys;
        unsigned short lock_code = 0;
        m_adapter_thread.GetDbData(keys, lock_code);
        // Shift held keeps the keys the device did not have.
        ImportKeysFromAdapter(keys, lock_code, !m_shift_probe());
        break;
    }
    case CAdapterThread::CMD_DS1996_TO_FILE:
    case CAdapterThread::CMD_Q4T_TO_FILE: {
        // Taken now: another command may fill the hand-over area while the user picks the file.
        auto data = std::make_shared<std::vector<unsigned char>>();
        m_adapter_thread.get_cmd_file_data(*data);
        choose_dump_file(true, [this, data](std::optional<std::filesystem::path> path) {
            if (path)
                save_dump_file(std::move(*data), *path);
        });
        break;
    }
    default:
        break;
    }
}

void CMainWindow::UpdateDeviceStatus() {
    SetStatusMessage(m_device_ports.device_status_text(), false);
}

void CMainWindow::on_adapter_port_changed() {
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    m_adapter_thread.get_port_name(type, name);
    SetAdapterPortText(name);
}
