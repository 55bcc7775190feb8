// The adapter worker's loop: poll on the wake-up event and the port, connection attempts every few seconds
// while the port exists, and the handling of port failures.
#include "adapter/CAdapterThread.h"

#include <cerrno>

#include "adapter/CRdComPort.h"
#include "adapter/CRdTcpPort.h"
#include "app/Events.h"

namespace {

// Interest in the port descriptor while connected; writability is dropped again while nothing is queued.
constexpr short kFullInterest = POLLIN | POLLOUT | POLLHUP | POLLRDHUP;
// Any of these ends the connection.
constexpr short kClosedEvents = POLLHUP | POLLRDHUP | POLLERR | POLLNVAL;

// A poll timeout lowered to `ms`; -1 (no limit) counts as the longest.
void lower_timeout(int& timeout, int ms) {
    if (ms < 0)
        ms = 0;
    if (timeout < 0 || ms < timeout)
        timeout = ms;
}

} // namespace

void CAdapterThread::Execute() {
    while (m_bRunning) {
        try {
            m_nPollTimeout = -1;
            if (m_bReconnect) {
                if (m_nConnectStatus != CONNECTION_DISCONNECTED)
                    Disconnect();
                TryConnect();
            }
            if (m_nCmd.load() != CMD_NONE)
                DoCmd();
            const bool exist = m_bPortExist;
            if (m_nConnectStatus == CONNECTION_CONNECTED && exist) {
                ApplyScanKeyType();
                CheckRead();
                ProcessModeCom();
            } else if (m_nConnectStatus == CONNECTION_CONNECTED) {
                Disconnect();
                continue;
            } else if (exist) {
                const int elapsed = ElapsedMs();
                const int period = static_cast<int>(m_Timing.reconnect_ms);
                if (elapsed < period) {
                    lower_timeout(m_nPollTimeout, period - elapsed);
                } else {
                    if (TryConnect())
                        continue;
                    lower_timeout(m_nPollTimeout, period);
                }
            }
            if (!m_bRunning)
                break;
            WaitEvents(m_nPollTimeout);
        } catch (const std::exception& e) {
            HandleException(e);
        }
    }
    OnExitThread();
}

void CAdapterThread::ApplyScanKeyType() {
    ScanKeyType type;
    rdx_reader_model model;
    {
        std::lock_guard lock(m_Mutex);
        if (!m_bScanTypeChanged)
            return;
        m_bScanTypeChanged = false;
        type = m_nScanKeyType;
        model = m_nModel;
    }
    // Only the desktop adapter reads radio fobs; the others scan Dallas keys instead.
    m_nScanMode = (type == SCAN_KEY_KF300 && model != kDesktopAdapterModel) ? SCAN_KEY_DALLAS : type;
    SetModeCom(COM_DETECT_POWER);
}

void CAdapterThread::WaitEvents(int timeout_ms) {
    const int n = ::poll(m_PollFds, static_cast<nfds_t>(m_nPollCount), timeout_ms);
    if (n > 0)
        ProcessEvents();
}

bool CAdapterThread::WaitFor(unsigned int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (m_bRunning) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        WaitEvents(static_cast<int>(left));
    }
    return false;
}

void CAdapterThread::ProcessEvents() {
    if (m_PollFds[0].revents & POLLIN) {
        reset_event(m_EventFd);
        m_nPollTimeout = 0;
    }
    if (m_nPollCount < 2 || !m_pPort)
        return;
    const short events = m_PollFds[1].revents;
    m_PollFds[1].revents = 0;
    if (events & POLLOUT) {
        m_pPort->ProcessSendEvent();
        UpdateWriteInterest();
    }
    if (events & POLLIN)
        m_pPort->ProcessReceiveEvent();
    // An error or invalid descriptor would be reported on every poll; it ends the connection like a hang-up.
    if (events & kClosedEvents)
        m_pPort->ProcessConnectionClosedEvent();
}

void CAdapterThread::UpdateWriteInterest() {
    if (!m_pPort)
        return;
    if (m_pPort->IsConnecting())
        m_PollFds[1].events = POLLOUT;
    else if (m_pPort->IsSendQueueEmpty())
        m_PollFds[1].events = kFullInterest & ~POLLOUT;
    else
        m_PollFds[1].events = kFullInterest;
}

int CAdapterThread::ElapsedMs() const {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_Timestamp).count());
}

void CAdapterThread::SetModeCom(ComMode mode) {
    m_nComMode = mode;
    m_nPollTimeout = 0;
}

void CAdapterThread::SetPowerMode(PowerMode mode) {
    m_nPowerMode = mode;
}

CRdPort& CAdapterThread::Port() {
    if (!m_pPort)
        throw CMyException(MY_ERR_IO);
    return *m_pPort;
}

// ---- Connection ----

bool CAdapterThread::TryConnect() {
    m_bReconnect = false;
    if (m_nConnectStatus == CONNECTION_CONNECTED)
        return true;
    m_Timestamp = Clock::now();
    if (m_nConnectStatus != CONNECTION_CONNECTING)
        SetConnectStatus(CONNECTION_CONNECTING);
    rdx_port_type type;
    std::string name;
    {
        std::lock_guard lock(m_Mutex);
        type = m_nPortType;
        name = m_PortName;
    }
    bool opened = false;
    try {
        if (type == RDX_PORT_COM)
            opened = _TryOpenComPort(name);
        else if (type == RDX_PORT_SERVER)
            opened = _TryOpenServerPort(name);
        else
            m_nLastError = MY_ERR_NOT_FOUND;
        if (opened) {
            m_pPort->SetDtr(true);
            m_pPort->SetRts(false);
            m_pPort->SetLogAsHex(true);
            m_nProto = PROTO_M6;
        }
    } catch (const CRdPortException&) {
        m_nLastError = MY_ERR_CONNECT;
        opened = false;
    } catch (const std::exception&) {
        m_nLastError = MY_ERR_FAILURE;
        opened = false;
    }
    if (opened) {
        SetConnectStatus(CONNECTION_CONNECTED);
        SetModeCom(COM_DETECT_POWER);
        m_nLastError = MY_OK;
    } else {
        DiscardPort();
        if (m_nConnectStatus == CONNECTION_CONNECTING)
            SetConnectStatus(CONNECTION_DISCONNECTED);
    }
    m_Timestamp = Clock::now();
    return m_nConnectStatus == CONNECTION_CONNECTED;
}

bool CAdapterThread::_TryOpenComPort(const std::string& name) {
    m_pPort = std::make_unique<CRdComPort>();
    m_pPort->SetBaudRate(kAdapterBaud);
    m_pPort->SetTwoStopBits(m_bTwoStopBits);
    m_pPort->SetPortName(name);
    m_PollFds[1].events = kFullInterest;
    for (int attempt = 1;; ++attempt) {
        try {
            m_pPort->Open();
            break;
        } catch (const CRdPortException& e) {
            if (e.get_status() != MY_ERR_PORT_BUSY)
                throw;
            m_nLastError = MY_ERR_PORT_BUSY;
            // Another program may be about to let go of the port.
            if (attempt >= m_nOpenAttempts || !WaitFor(m_Timing.busy_retry_ms))
                return false;
        }
    }
    m_pPort->SetConfig(kAdapterBaud, false);
    m_PollFds[1].fd = m_pPort->GetFd();
    m_nPollCount = 2;
    return true;
}

bool CAdapterThread::_TryOpenServerPort(const std::string& name) {
    m_pPort = std::make_unique<CRdTcpPort>();
    m_pPort->SetBaudRate(kAdapterBaud);
    m_pPort->SetTwoStopBits(m_bTwoStopBits);
    m_pPort->SetPortName(name);
    m_pPort->Open();
    m_PollFds[1] = {m_pPort->GetFd(), POLLOUT, 0};
    m_nPollCount = 2;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_Timing.connect_ms);
    while (m_pPort->IsConnecting() && m_bRunning) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        WaitEvents(static_cast<int>(left));
    }
    if (m_pPort->IsConnecting()) {
        DiscardPort();
        m_nLastError = MY_ERR_IO;
        return false;
    }
    UpdateWriteInterest();
    return true;
}

void CAdapterThread::DiscardPort() {
    m_pPort.reset();
    m_nPollCount = 1;
    m_PollFds[1].fd = -1;
    m_PollFds[1].revents = 0;
}

void CAdapterThread::Disconnect() {
    DiscardPort();
    SetConnectStatus(CONNECTION_DISCONNECTED);
    m_nLastError = MY_OK;
    SetModeCom(COM_IDLE);
}

void CAdapterThread::HandleException(const std::exception& e) {
    const auto* status = dynamic_cast<const CMyException*>(&e);
    m_nLastError = status ? status->get_status() : MY_ERR_FAILURE;
    if (dynamic_cast<const CRdPortException*>(&e) && m_nConnectStatus != CONNECTION_DISCONNECTED)
        Disconnect();
}

void CAdapterThread::OnExitThread() {
    if (m_pPort || m_nConnectStatus != CONNECTION_DISCONNECTED)
        Disconnect();
}
