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

CAdapterThread::CAdapterThread(const AdapterTiming& timing) : m_Timing(timing) {
    m_PollFds[0] = {-1, POLLIN, 0};
    m_PollFds[1] = {-1, 0, 0};
}

CAdapterThread::~CAdapterThread() {
    Stop();
    m_pPort.reset();
    if (m_EventFd >= 0)
        ::close(m_EventFd);
}

void CAdapterThread::Start() {
    if (m_Thread.joinable())
        return;
    if (m_EventFd < 0) {
        m_EventFd = create_event(false);
        if (m_EventFd < 0)
            throw CMyException(MY_ERR_FAILURE);
    }
    m_PollFds[0] = {m_EventFd, POLLIN, 0};
    m_PollFds[1] = {-1, 0, 0};
    m_nPollCount = 1;
    m_bRunning = true;
    m_Thread = std::thread(&CAdapterThread::Execute, this);
}

void CAdapterThread::Stop() {
    if (!m_Thread.joinable())
        return;
    m_bRunning = false;
    Signal();
    m_Thread.join();
}

void CAdapterThread::Signal() {
    if (m_EventFd >= 0)
        set_event(m_EventFd);
}

void CAdapterThread::set_on_notify(std::function<void()> callback) {
    std::lock_guard lock(m_Mutex);
    m_OnNotify = std::move(callback);
}

void CAdapterThread::get_notifications(unsigned int& flags) {
    std::lock_guard lock(m_Mutex);
    flags = m_nPending;
    m_nPending = 0;
}

void CAdapterThread::set_port_name(rdx_port_type type, const Glib::ustring& name, rdx_reader_model model) {
    {
        std::lock_guard lock(m_Mutex);
        m_nPortType = type;
        m_PortName = name.raw();
        m_nModel = model;
    }
    m_bPortExist = false;
    Signal();
}

void CAdapterThread::get_port_name(rdx_port_type& type, Glib::ustring& name) const {
    std::lock_guard lock(m_Mutex);
    type = m_nPortType;
    name = m_PortName;
}

rdx_reader_model CAdapterThread::get_port_model() const {
    std::lock_guard lock(m_Mutex);
    return m_nModel;
}

void CAdapterThread::SetPortExist(bool exist) {
    if (m_bPortExist.exchange(exist) != exist && exist)
        m_bReconnect = true;
    Signal();
}

void CAdapterThread::Reconnect() {
    m_bReconnect = true;
    Signal();
}

void CAdapterThread::UpdateThread() {
    Signal();
}

ConnectionStatus CAdapterThread::GetConnectStatus() const {
    std::lock_guard lock(m_Mutex);
    return m_nConnectStatus;
}

void CAdapterThread::set_scan_key_type(ScanKeyType type) {
    {
        std::lock_guard lock(m_Mutex);
        if (m_nScanKeyType == type)
            return;
        m_nScanKeyType = type;
        m_bScanTypeChanged = true;
    }
    Signal();
}

void CAdapterThread::set_different_kf300(bool on) {
    std::lock_guard lock(m_Mutex);
    m_bDifferentKf300 = on;
}

void CAdapterThread::set_xor_mode(bool on) {
    std::lock_guard lock(m_Mutex);
    m_bXorMode = on;
}

Glib::ustring CAdapterThread::GetStatusText() const {
    std::lock_guard lock(m_Mutex);
    return m_StatusText;
}

Glib::ustring CAdapterThread::GetInfoStatus() const {
    std::lock_guard lock(m_Mutex);
    return m_InfoStatus;
}

void CAdapterThread::GetHistoryStatusText(std::vector<Glib::ustring>& lines) {
    std::lock_guard lock(m_Mutex);
    lines = std::move(m_History);
    m_History.clear();
}

void CAdapterThread::GetCurrentKey(CardType& type, CCardUID& number) const {
    std::lock_guard lock(m_Mutex);
    type = m_nKeyType;
    number = m_KeyNumber;
}

void CAdapterThread::SetDbData(const std::vector<m6::_db_key>& keys, unsigned short lock_code) {
    std::lock_guard lock(m_Mutex);
    m_DbKeys = keys;
    m_nLockCode = lock_code;
}

void CAdapterThread::GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const {
    std::lock_guard lock(m_Mutex);
    keys = m_DbKeys;
    lock_code = m_nLockCode;
}

void CAdapterThread::set_cmd_file_data(std::vector<unsigned char>& data) {
    std::lock_guard lock(m_Mutex);
    m_CmdFileData = std::move(data);
    data.clear();
}

void CAdapterThread::get_cmd_file_data(std::vector<unsigned char>& data) {
    std::lock_guard lock(m_Mutex);
    data = std::move(m_CmdFileData);
    m_CmdFileData.clear();
}

void CAdapterThread::GetAskUserData(AskUserKind& kind, unsigned long& param) const {
    std::lock_guard lock(m_Mutex);
    kind = m_nAskKind;
    param = m_nAskParam;
}

void CAdapterThread::SetAskUserFinish(bool yes) {
    {
        std::lock_guard lock(m_Mutex);
        if (yes) {
            m_bAskAnswered = true;
        } else {
            // A refusal cancels the command without a command-finished notification.
            m_nFinishedCmd = m_nCmd.load();
            m_bCmdResult = false;
            m_nCmd = CMD_NONE;
        }
    }
    Signal();
}

void CAdapterThread::GetFinishedCmd(Cmd& cmd, bool& result) const {
    std::lock_guard lock(m_Mutex);
    cmd = m_nFinishedCmd;
    result = m_bCmdResult;
}

// ---- Command starters ----

void CAdapterThread::StartCmd(Cmd cmd) {
    {
        std::lock_guard lock(m_Mutex);
        ++m_nCmdSerial;
        m_nCmd = cmd;
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
        std::lock_guard lock(m_Mutex);
        std::memcpy(m_EmuId, id, sizeof m_EmuId);
        ++m_nCmdSerial;
        m_nCmd = CMD_EMU_DALLAS;
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
        std::lock_guard lock(m_Mutex);
        m_Temic = {number, type, port_name.raw()};
        ++m_nCmdSerial;
        m_nCmd = cmd;
    }
    Signal();
}

// Taken under the mutex, so that a break never interleaves with the worker finishing the same command.
void CAdapterThread::BreakCmd() {
    {
        std::lock_guard lock(m_Mutex);
        m_nCmd = CMD_NONE;
    }
    Signal();
}

// ---- Worker side: notifications ----

void CAdapterThread::SendNotifyMsg(NMsgFlag flag) {
    std::function<void()> callback;
    {
        std::lock_guard lock(m_Mutex);
        m_nPending |= flag;
        callback = m_OnNotify;
    }
    if (callback)
        callback();
}

void CAdapterThread::SetConnectStatus(ConnectionStatus status) {
    std::string tag;
    {
        std::lock_guard lock(m_Mutex);
        if (m_nConnectStatus == status)
            return;
        m_nConnectStatus = status;
        tag = m_PortName;
    }
    if (status != CONNECTION_CONNECTING && g_Debug.IsLoggable(LOGLEVEL_INFO))
        g_Debug.LogMsg(LOGLEVEL_INFO, tag.c_str(),
                       status == CONNECTION_CONNECTED ? "Adapter connected" : "Adapter disconnected");
    SendNotifyMsg(NMSG_CONNECT_STATUS);
}

void CAdapterThread::SetStatusText(const Glib::ustring& text, bool add_to_history) {
    {
        std::lock_guard lock(m_Mutex);
        if (add_to_history)
            m_History.push_back(text);
        m_StatusText = text;
    }
    SendNotifyMsg(NMSG_STATUS_TEXT);
}

void CAdapterThread::SetInfoStatus(const Glib::ustring& text) {
    {
        std::lock_guard lock(m_Mutex);
        m_InfoStatus = text;
    }
    SendNotifyMsg(NMSG_INFO_STATUS);
}

// The countdown of a response wait: an unchanged number raises nothing, since every wait restarts it and a
// page written every few milliseconds would otherwise wake the window each time.
void CAdapterThread::SetCountdown(long seconds) {
    const std::string text = std::to_string(seconds);
    {
        std::lock_guard lock(m_Mutex);
        if (m_InfoStatus.raw() == text)
            return;
        m_InfoStatus = text;
    }
    SendNotifyMsg(NMSG_INFO_STATUS);
}

void CAdapterThread::SetCurrentKey(CardType type, const CCardUID& number) {
    {
        std::lock_guard lock(m_Mutex);
        if (m_nKeyType == type && m_KeyNumber == number)
            return;
        m_nKeyType = type;
        m_KeyNumber = number;
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
        std::lock_guard lock(m_Mutex);
        // A command started again under the same code after this run began is a new request: this run
        // must not end it.
        if (cmd == CMD_NONE || !IsCmdCurrent(cmd))
            return false;
        m_nFinishedCmd = cmd;
        m_bCmdResult = result;
        m_nCmd = CMD_NONE;
    }
    SendNotifyMsg(NMSG_CMD_FINISH);
    return true;
}

bool CAdapterThread::AskUser(Cmd cmd, AskUserKind kind, unsigned long param) {
    {
        std::lock_guard lock(m_Mutex);
        m_nAskKind = kind;
        m_nAskParam = param;
        m_bAskAnswered = false;
    }
    SendNotifyMsg(NMSG_ASK_USER);
    while (m_bRunning) {
        if (!IsCmdCurrent(cmd))
            return false;
        {
            std::lock_guard lock(m_Mutex);
            if (m_bAskAnswered)
                return true;
        }
        WaitEvents(-1);
        // Whatever the adapter says while the user thinks is of no use afterwards.
        if (m_pPort)
            m_pPort->GetInBuffer().clear();
    }
    return false;
}

// ---- Command frame ----

void CAdapterThread::RunCommand(Cmd cmd, CmdExit exit, const std::function<void()>& steps) {
    m_nRunSerial = m_nCmdSerial.load();
    try {
        // A Temic command may write through a reader instead; it connects the adapter itself when needed.
        if (exit == CmdExit::Temic || m_nConnectStatus == CONNECTION_CONNECTED || TryConnect())
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
    if (exit == CmdExit::Temic && m_nProto != PROTO_M6) {
        try {
            SetProto(PROTO_M6);
        } catch (const std::exception& e) {
            HandleException(e);
        }
    }
    SetInfoStatus(_("End"));
    StopCmd(cmd, false);
    if (exit == CmdExit::RestartReading ||
        (exit == CmdExit::Temic && m_nConnectStatus == CONNECTION_CONNECTED))
        SetModeCom(COM_DETECT_POWER);
    m_nPollTimeout = 0;
}

void CAdapterThread::DoCmd() {
    switch (m_nCmd.load()) {
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
