// The adapter worker's window side (hand-over fields, starters, answers), its notifications and the common
// frame every command runs in.
#include "adapter/CAdapterThread.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "adapter/MyStatusText.h"
#include "app/CDebugLog.h"
#include "app/Events.h"
#include "app/i18n.h"

CAdapterThread::CAdapterThread(const AdapterTiming& timing) : m_timing(timing) {
    m_poll_fds[0] = {-1, POLLIN, 0};
    m_poll_fds[1] = {-1, 0, 0};
}

CAdapterThread::~CAdapterThread() {
    Stop();
    m_port.reset();
}

void CAdapterThread::Start() {
    if (m_thread.joinable())
        return;
    if (!m_event_fd) {
        m_event_fd.reset(create_event(false));
        if (!m_event_fd)
            throw CMyException(MY_ERR_FAILURE);
    }
    m_poll_fds[0] = {m_event_fd.get(), POLLIN, 0};
    m_poll_fds[1] = {-1, 0, 0};
    m_poll_count = 1;
    m_running = true;
    m_thread = std::thread(&CAdapterThread::Execute, this);
}

void CAdapterThread::Stop() {
    if (!m_thread.joinable())
        return;
    m_running = false;
    Signal();
    m_thread.join();
}

void CAdapterThread::Signal() {
    if (m_event_fd)
        set_event(m_event_fd.get());
}

void CAdapterThread::set_on_notify(std::function<void()> callback) {
    m_notifier.set_callback(std::move(callback));
}

void CAdapterThread::get_notifications(unsigned int& flags) {
    flags = m_notifier.take();
}

void CAdapterThread::set_port_name(rdx_port_type type, const Glib::ustring& name, rdx_reader_model model) {
    {
        auto shared = m_shared.lock();
        shared->port_type = type;
        shared->port_name = name.raw();
        shared->model = model;
    }
    m_port_exist = false;
    Signal();
}

void CAdapterThread::get_port_name(rdx_port_type& type, Glib::ustring& name) const {
    auto shared = m_shared.lock();
    type = shared->port_type;
    name = shared->port_name;
}

rdx_reader_model CAdapterThread::get_port_model() const {
    auto shared = m_shared.lock();
    return shared->model;
}

void CAdapterThread::SetPortExist(bool exist) {
    if (m_port_exist.exchange(exist) != exist && exist)
        m_reconnect = true;
    Signal();
}

void CAdapterThread::Reconnect() {
    m_reconnect = true;
    Signal();
}

void CAdapterThread::UpdateThread() {
    Signal();
}

ConnectionStatus CAdapterThread::GetConnectStatus() const {
    auto shared = m_shared.lock();
    return shared->connect_status;
}

void CAdapterThread::set_scan_key_type(ScanKeyType type) {
    {
        auto shared = m_shared.lock();
        if (shared->scan_key_type == type)
            return;
        shared->scan_key_type = type;
        shared->scan_type_changed = true;
    }
    Signal();
}

void CAdapterThread::set_different_kf300(bool on) {
    auto shared = m_shared.lock();
    shared->different_kf300 = on;
}

void CAdapterThread::set_xor_mode(bool on) {
    auto shared = m_shared.lock();
    shared->xor_mode = on;
}

void CAdapterThread::set_temic_library(std::shared_ptr<ITemicLibrary> library) {
    auto shared = m_shared.lock();
    shared->temic_library = std::move(library);
}

Glib::ustring CAdapterThread::GetStatusText() const {
    auto shared = m_shared.lock();
    return shared->status_text;
}

Glib::ustring CAdapterThread::GetInfoStatus() const {
    auto shared = m_shared.lock();
    return shared->info_status;
}

void CAdapterThread::GetHistoryStatusText(std::vector<Glib::ustring>& lines) {
    auto shared = m_shared.lock();
    lines = std::move(shared->history);
    shared->history.clear();
}

void CAdapterThread::GetCurrentKey(CardType& type, CCardUID& number) const {
    auto shared = m_shared.lock();
    type = shared->key_type;
    number = shared->key_number;
}

void CAdapterThread::SetDbData(const std::vector<m6::_db_key>& keys, unsigned short lock_code) {
    auto shared = m_shared.lock();
    shared->db_keys = keys;
    shared->lock_code = lock_code;
}

void CAdapterThread::GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const {
    auto shared = m_shared.lock();
    keys = shared->db_keys;
    lock_code = shared->lock_code;
}

void CAdapterThread::set_cmd_file_data(std::vector<unsigned char>& data) {
    auto shared = m_shared.lock();
    shared->cmd_file_data = std::move(data);
    data.clear();
}

void CAdapterThread::get_cmd_file_data(std::vector<unsigned char>& data) {
    auto shared = m_shared.lock();
    data = std::move(shared->cmd_file_data);
    shared->cmd_file_data.clear();
}

void CAdapterThread::GetAskUserData(AskUserKind& kind, unsigned long& param) const {
    auto shared = m_shared.lock();
    kind = shared->ask_kind;
    param = shared->ask_param;
}

void CAdapterThread::SetAskUserFinish(bool yes) {
    {
        auto shared = m_shared.lock();
        if (yes) {
            shared->ask_answered = true;
        } else {
            // A refusal cancels the command without a command-finished notification.
            shared->finished_cmd = m_cmd.load();
            shared->cmd_result = false;
            m_cmd = CMD_NONE;
        }
    }
    Signal();
}

void CAdapterThread::GetFinishedCmd(Cmd& cmd, bool& result) const {
    auto shared = m_shared.lock();
    cmd = shared->finished_cmd;
    result = shared->cmd_result;
}

// ---- Command starters ----

void CAdapterThread::StartCmd(Cmd cmd) {
    {
        auto shared = m_shared.lock();
        ++m_cmd_serial;
        m_cmd = cmd;
    }
    Signal();
}

void CAdapterThread::StartDS1996Prepare() {
    StartCmd(CMD_DS1996_PREPARE);
}
void CAdapterThread::StartDS1996FromDb() {
    StartCmd(CMD_DS1996_FROM_DB);
}
void CAdapterThread::StartDS1996ToDb() {
    StartCmd(CMD_DS1996_TO_DB);
}
void CAdapterThread::StartDS1996FromFile() {
    StartCmd(CMD_DS1996_FROM_FILE);
}
void CAdapterThread::StartDS1996ToFile() {
    StartCmd(CMD_DS1996_TO_FILE);
}
void CAdapterThread::StartQ4tClear() {
    StartCmd(CMD_Q4T_CLEAR);
}
void CAdapterThread::StartQ4tFromDb() {
    StartCmd(CMD_Q4T_FROM_DB);
}
void CAdapterThread::StartQ4tToDb() {
    StartCmd(CMD_Q4T_TO_DB);
}
void CAdapterThread::StartQ4tFromFile() {
    StartCmd(CMD_Q4T_FROM_FILE);
}
void CAdapterThread::StartQ4tToFile() {
    StartCmd(CMD_Q4T_TO_FILE);
}
void CAdapterThread::StartQ4tTest() {
    StartCmd(CMD_Q4T_TEST);
}
void CAdapterThread::StartQ4tFormat() {
    StartCmd(CMD_Q4T_FORMAT);
}
void CAdapterThread::StartEmuFromDb() {
    StartCmd(CMD_EMU_FROM_DB);
}
void CAdapterThread::StartEmuToDb() {
    StartCmd(CMD_EMU_TO_DB);
}
void CAdapterThread::StartPowerOff() {
    StartCmd(CMD_POWER_OFF);
}

void CAdapterThread::StartEmuDallas(const unsigned char* id) {
    {
        auto shared = m_shared.lock();
        std::memcpy(shared->emu_id, id, sizeof shared->emu_id);
        ++m_cmd_serial;
        m_cmd = CMD_EMU_DALLAS;
    }
    Signal();
}

void CAdapterThread::StartWriteEmMarineToTemic(const CCardUID& number, rdx_port_type type,
                                               const Glib::ustring& port_name) {
    StartTemic(CMD_EMMARINE_TO_TEMIC, number, type, port_name);
}

void CAdapterThread::StartWriteHidToTemic(const CCardUID& number, rdx_port_type type,
                                          const Glib::ustring& port_name) {
    StartTemic(CMD_HID_TO_TEMIC, number, type, port_name);
}

void CAdapterThread::StartTemic(Cmd cmd, const CCardUID& number, rdx_port_type type,
                                const Glib::ustring& port_name) {
    {
        auto shared = m_shared.lock();
        shared->temic = {number, type, port_name.raw(), nullptr};
        ++m_cmd_serial;
        m_cmd = cmd;
    }
    Signal();
}

// Taken under the mutex, so that a break never interleaves with the worker finishing the same command.
void CAdapterThread::BreakCmd() {
    {
        auto shared = m_shared.lock();
        m_cmd = CMD_NONE;
    }
    Signal();
}

// ---- Worker side: notifications ----

void CAdapterThread::SendNotifyMsg(NMsgFlag flag) {
    m_notifier.post(flag);
}

void CAdapterThread::SetConnectStatus(ConnectionStatus status) {
    std::string tag;
    {
        auto shared = m_shared.lock();
        if (shared->connect_status == status)
            return;
        shared->connect_status = status;
        tag = shared->port_name;
    }
    if (status != CONNECTION_CONNECTING && g_Debug.IsLoggable(LOGLEVEL_INFO))
        g_Debug.LogMsg(LOGLEVEL_INFO, tag.c_str(),
                       status == CONNECTION_CONNECTED ? "Adapter connected" : "Adapter disconnected");
    SendNotifyMsg(NMSG_CONNECT_STATUS);
}

void CAdapterThread::SetStatusText(const Glib::ustring& text, bool add_to_history) {
    {
        auto shared = m_shared.lock();
        if (add_to_history)
            shared->history.push_back(text);
        shared->status_text = text;
    }
    SendNotifyMsg(NMSG_STATUS_TEXT);
}

void CAdapterThread::SetInfoStatus(const Glib::ustring& text) {
    {
        auto shared = m_shared.lock();
        shared->info_status = text;
    }
    SendNotifyMsg(NMSG_INFO_STATUS);
}

// The countdown of a response wait: an unchanged number raises nothing, since every wait restarts it and a
// page written every few milliseconds would otherwise wake the window each time.
void CAdapterThread::SetCountdown(long seconds) {
    const std::string text = std::to_string(seconds);
    {
        auto shared = m_shared.lock();
        if (shared->info_status.raw() == text)
            return;
        shared->info_status = text;
    }
    SendNotifyMsg(NMSG_INFO_STATUS);
}

void CAdapterThread::SetCurrentKey(CardType type, const CCardUID& number) {
    {
        auto shared = m_shared.lock();
        if (shared->key_type == type && shared->key_number == number)
            return;
        shared->key_type = type;
        shared->key_number = number;
    }
    SendNotifyMsg(NMSG_CURRENT_KEY);
}

void CAdapterThread::StopCmd(Cmd cmd, bool result) {
    EndCmd(cmd, result);
}

bool CAdapterThread::FinishCmd(Cmd cmd) {
    return EndCmd(cmd, true);
}

bool CAdapterThread::EndCmd(Cmd cmd, bool result) {
    {
        auto shared = m_shared.lock();
        // A command started again under the same code after this run began is a new request: this run
        // must not end it.
        if (cmd == CMD_NONE || !IsCmdCurrent(cmd))
            return false;
        shared->finished_cmd = cmd;
        shared->cmd_result = result;
        m_cmd = CMD_NONE;
    }
    SendNotifyMsg(NMSG_CMD_FINISH);
    return true;
}

bool CAdapterThread::AskUser(Cmd cmd, AskUserKind kind, unsigned long param) {
    {
        auto shared = m_shared.lock();
        shared->ask_kind = kind;
        shared->ask_param = param;
        shared->ask_answered = false;
    }
    SendNotifyMsg(NMSG_ASK_USER);
    while (m_running) {
        if (!IsCmdCurrent(cmd))
            return false;
        {
            auto shared = m_shared.lock();
            if (shared->ask_answered)
                return true;
        }
        WaitEvents(-1);
        // Whatever the adapter says while the user thinks is of no use afterwards.
        if (m_port)
            m_port->GetInBuffer().clear();
    }
    return false;
}

// ---- Command frame ----

void CAdapterThread::RunCommand(Cmd cmd, CmdExit exit, const std::function<void()>& steps) {
    m_run_serial = m_cmd_serial.load();
    try {
        // A Temic command may write through a reader instead; it connects the adapter itself when needed.
        if (exit == CmdExit::Temic || GetConnectStatus() == CONNECTION_CONNECTED || TryConnect())
            steps();
    } catch (const CMyException& e) {
        std::fprintf(stderr, "%s\n", e.what());
        SetStatusText(my_status_text(e.get_status()), true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        SetStatusText(e.what(), true);
    }
    RunExitAction(cmd, exit);
}

void CAdapterThread::RunExitAction(Cmd cmd, CmdExit exit) {
    if (exit == CmdExit::Temic && m_proto != PROTO_M6) {
        try {
            SetProto(PROTO_M6);
        } catch (const std::exception& e) {
            HandleException(e);
        }
    }
    SetInfoStatus(_("End"));
    StopCmd(cmd, false);
    if (exit == CmdExit::RestartReading ||
        (exit == CmdExit::Temic && GetConnectStatus() == CONNECTION_CONNECTED))
        SetModeCom(COM_DETECT_POWER);
    m_poll_timeout = 0;
}

void CAdapterThread::DoCmd() {
    switch (m_cmd.load()) {
    case CMD_DS1996_PREPARE:
        DoDS1996Prepare();
        break;
    case CMD_DS1996_FROM_DB:
        DoDS1996FromDb();
        break;
    case CMD_DS1996_TO_DB:
        DoDS1996ToDb();
        break;
    case CMD_DS1996_FROM_FILE:
        DoDS1996FromFile();
        break;
    case CMD_DS1996_TO_FILE:
        DoDS1996ToFile();
        break;
    case CMD_Q4T_CLEAR:
        DoQ4tClear();
        break;
    case CMD_Q4T_FROM_DB:
        DoQ4tFromDb();
        break;
    case CMD_Q4T_TO_DB:
        DoQ4tToDb();
        break;
    case CMD_Q4T_FROM_FILE:
        DoQ4tFromFile();
        break;
    case CMD_Q4T_TO_FILE:
        DoQ4tToFile();
        break;
    case CMD_Q4T_TEST:
        DoQ4tTest();
        break;
    case CMD_Q4T_FORMAT:
        DoQ4tFormat();
        break;
    case CMD_EMU_FROM_DB:
        DoEmuFromDb();
        break;
    case CMD_EMU_TO_DB:
        DoEmuToDb();
        break;
    case CMD_EMU_DALLAS:
        DoEmuDallas();
        break;
    case CMD_POWER_OFF:
        DoPowerOff();
        break;
    case CMD_EMMARINE_TO_TEMIC:
        DoWriteEmMarineToTemic();
        break;
    case CMD_HID_TO_TEMIC:
        DoWriteHidToTemic();
        break;
    default:
        break;
    }
}
