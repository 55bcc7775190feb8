// The window's side of Temic writing: the selected key of the active table goes to the adapter worker with
// the Temic reader port (empty when the adapter itself writes); the worker reports the result as status text.
#include "ui/CMainWindow.h"

void CMainWindow::on_action_write_em_marine() {
    WriteSelectedKeyToTemic(CAdapterThread::CMD_EMMARINE_TO_TEMIC);
}

void CMainWindow::on_action_write_hid() {
    WriteSelectedKeyToTemic(CAdapterThread::CMD_HID_TO_TEMIC);
}

void CMainWindow::WriteSelectedKeyToTemic(CAdapterThread::Cmd cmd) {
    if (m_adapter_thread.GetCurrentCmd() == cmd) {
        m_adapter_thread.BreakCmd();
        return;
    }
    const auto selected = m_key_panels[m_active_table]->selected_keys();
    if (selected.empty())
        return;
    const CCardUID number = selected.front()->number();
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    m_device_ports.GetRealTemicReaderPort(type, name);
    if (cmd == CAdapterThread::CMD_EMMARINE_TO_TEMIC)
        m_adapter_thread.StartWriteEmMarineToTemic(number, type, name);
    else
        m_adapter_thread.StartWriteHidToTemic(number, type, name);
}
