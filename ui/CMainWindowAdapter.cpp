// The window's link to the adapter worker: the cross-thread wake-up, the notifications in their fixed order,
// and the device status line.
#include <ctime>

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
    unsigned int flags = 0;
    m_adapter_thread.get_notifications(flags);
    if (flags != 0)
        ProcessAdapterNotifications(flags);
    m_device_ports.ProcessMessages();
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
    if ((flags & CAdapterThread::NMSG_CURRENT_KEY) != 0)
        on_adapter_current_key();
    if ((flags & CAdapterThread::NMSG_CMD_FINISH) != 0)
        on_adapter_cmd_finish();
}

void CMainWindow::on_adapter_ask_user() {
    CAdapterThread::AskUserKind kind = CAdapterThread::ASK_DS1996_CONTENT;
    unsigned long param = 0;
    m_adapter_thread.GetAskUserData(kind, param);
    // The commands that ask (key lists to hand over, files, a DS1996L's content) are not offered yet; a
    // question that still arrives is declined so that the worker never waits for an answer.
    m_adapter_thread.SetAskUserFinish(false);
    UpdateAdapterActionsState();
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
    // The commands offered so far leave nothing for the window to take over when they end.
    UpdateAdapterActionsState();
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
