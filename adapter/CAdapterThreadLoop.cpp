// The adapter worker's loop: poll on the wake-up event and the port, connection attempts every few seconds
// while the port exists, and the handling of port failures.
#include "adapter/CAdapterThread.h"

#include <algorithm>
#include <cerrno>

#include "adapter/CRdComPort.h"
#include "adapter/CRdTcpPort.h"
#include "app/Events.h"

namespace {

// Interest in the port descriptor while connected; writability is dropped again while nothing is queued.
constexpr short kFullInterest = POLLIN | POLLOUT | POLLHUP | POLLRDHUP;
// Any of these ends the connection.
constexpr short kClosedEvents = POLLHUP | POLLRDHUP | POLLERR | POLLNVAL;

} // namespace

void CAdapterThread::Execute() {
    while (m_running) {
        try {
            m_poll_timeout = -1;
            if (m_reconnect) {
                if (GetConnectStatus() != CONNECTION_DISCONNECTED)
                    Disconnect();
                TryConnect();
            }
            if (m_cmd.load() != CMD_NONE)
                DoCmd();
            const bool exist = m_port_exist;
            if (GetConnectStatus() == CONNECTION_CONNECTED && exist) {
                ApplyScanKeyType();
                CheckRead();
                ProcessModeCom();
            } else if (GetConnectStatus() == CONNECTION_CONNECTED) {
                Disconnect();
                continue;
            } else if (exist) {
                const int elapsed = ElapsedMs();
                const int period = static_cast<int>(m_timing.reconnect_ms);
                if (elapsed < period) {
                    LowerPollTimeout(period - elapsed);
                } else {
                    if (TryConnect())
                        continue;
                    LowerPollTimeout(period);
                }
            }
            if (!m_running)
                break;
            WaitEvents(m_poll_timeout);
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
        auto shared = m_shared.lock();
        if (!shared->scan_type_changed)
            return;
        shared->scan_type_changed = false;
        type = shared->scan_key_type;
        model = shared->model;
    }
    // Only the desktop adapter reads radio fobs; the others scan Dallas keys instead.
    m_scan_mode = (type == SCAN_KEY_KF300 && model != kDesktopAdapterModel) ? SCAN_KEY_DALLAS : type;
    SetModeCom(COM_DETECT_POWER);
}

void CAdapterThread::WaitEvents(int timeout_ms) {
    const int n = ::poll(m_poll_fds, static_cast<nfds_t>(m_poll_count), timeout_ms);
    if (n > 0)
        ProcessEvents();
}

void CAdapterThread::LowerPollTimeout(int ms) {
    ms = std::max(ms, 0);
    if (m_poll_timeout < 0 || ms < m_poll_timeout)
        m_poll_timeout = ms;
}

bool CAdapterThread::WaitFor(unsigned int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (m_running) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        WaitEvents(static_cast<int>(left));
    }
    return false;
}

void CAdapterThread::ProcessEvents() {
    if (m_poll_fds[0].revents & POLLIN) {
        reset_event(m_event_fd.get());
        m_poll_timeout = 0;
    }
    if (m_poll_count < 2 || !m_port)
        return;
    const short events = m_poll_fds[1].revents;
    m_poll_fds[1].revents = 0;
    if (events & POLLOUT) {
        m_port->ProcessSendEvent();
        UpdateWriteInterest();
    }
    if (events & POLLIN)
        m_port->ProcessReceiveEvent();
    // An error or invalid descriptor would be reported on every poll; it ends the connection like a hang-up.
    if (events & kClosedEvents)
        m_port->ProcessConnectionClosedEvent();
}

void CAdapterThread::UpdateWriteInterest() {
    if (!m_port)
        return;
    if (m_port->IsConnecting())
        m_poll_fds[1].events = POLLOUT;
    else if (m_port->IsSendQueueEmpty())
        m_poll_fds[1].events = kFullInterest & ~POLLOUT;
    else
        m_poll_fds[1].events = kFullInterest;
}

int CAdapterThread::ElapsedMs() const {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_timestamp).count());
}

void CAdapterThread::SetModeCom(ComMode mode) {
    m_com_mode = mode;
    m_poll_timeout = 0;
}

void CAdapterThread::SetPowerMode(PowerMode mode) {
    m_power_mode = mode;
}

CRdPort& CAdapterThread::Port() {
    if (!m_port)
        throw CMyException(MY_ERR_IO);
    return *m_port;
}

// ---- Connection ----

bool CAdapterThread::TryConnect() {
    m_reconnect = false;
    if (GetConnectStatus() == CONNECTION_CONNECTED)
        return true;
    m_timestamp = Clock::now();
    if (GetConnectStatus() != CONNECTION_CONNECTING)
        SetConnectStatus(CONNECTION_CONNECTING);
    rdx_port_type type;
    std::string name;
    {
        auto shared = m_shared.lock();
        type = shared->port_type;
        name = shared->port_name;
    }
    bool opened = false;
    try {
        if (type == RDX_PORT_COM)
            opened = _TryOpenComPort(name);
        else if (type == RDX_PORT_SERVER)
            opened = _TryOpenServerPort(name);
        else
            m_last_error = MY_ERR_NOT_FOUND;
        if (opened) {
            m_port->SetDtr(true);
            m_port->SetRts(false);
            m_port->SetLogAsHex(true);
            m_proto = PROTO_M6;
        }
    } catch (const CRdPortException&) {
        m_last_error = MY_ERR_CONNECT;
        opened = false;
    } catch (const std::exception&) {
        m_last_error = MY_ERR_FAILURE;
        opened = false;
    }
    if (opened) {
        SetConnectStatus(CONNECTION_CONNECTED);
        SetModeCom(COM_DETECT_POWER);
        m_last_error = MY_OK;
    } else {
        DiscardPort();
        if (GetConnectStatus() == CONNECTION_CONNECTING)
            SetConnectStatus(CONNECTION_DISCONNECTED);
    }
    m_timestamp = Clock::now();
    return GetConnectStatus() == CONNECTION_CONNECTED;
}

bool CAdapterThread::_TryOpenComPort(const std::string& name) {
    m_port = std::make_unique<CRdComPort>();
    m_port->SetBaudRate(kAdapterBaud);
    m_port->SetTwoStopBits(kAdapterTwoStopBits);
    m_port->SetPortName(name);
    m_poll_fds[1].events = kFullInterest;
    for (int attempt = 1;; ++attempt) {
        try {
            m_port->Open();
            break;
        } catch (const CRdPortException& e) {
            if (e.get_status() != MY_ERR_PORT_BUSY)
                throw;
            m_last_error = MY_ERR_PORT_BUSY;
            // Another program may be about to let go of the port.
            if (attempt >= kDefaultOpenAttempts || !WaitFor(m_timing.busy_retry_ms))
                return false;
        }
    }
    m_port->SetConfig(kAdapterBaud, false);
    m_poll_fds[1].fd = m_port->GetFd();
    m_poll_count = 2;
    return true;
}

bool CAdapterThread::_TryOpenServerPort(const std::string& name) {
    m_port = std::make_unique<CRdTcpPort>();
    m_port->SetBaudRate(kAdapterBaud);
    m_port->SetTwoStopBits(kAdapterTwoStopBits);
    m_port->SetPortName(name);
    m_port->Open();
    m_poll_fds[1] = {m_port->GetFd(), POLLOUT, 0};
    m_poll_count = 2;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timing.connect_ms);
    while (m_port->IsConnecting() && m_running) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        WaitEvents(static_cast<int>(left));
    }
    if (m_port->IsConnecting()) {
        DiscardPort();
        m_last_error = MY_ERR_IO;
        return false;
    }
    UpdateWriteInterest();
    return true;
}

void CAdapterThread::DiscardPort() {
    m_port.reset();
    m_poll_count = 1;
    m_poll_fds[1].fd = -1;
    m_poll_fds[1].revents = 0;
}

void CAdapterThread::Disconnect() {
    DiscardPort();
    SetConnectStatus(CONNECTION_DISCONNECTED);
    m_last_error = MY_OK;
    SetModeCom(COM_IDLE);
}

void CAdapterThread::HandleException(const std::exception& e) {
    const auto* status = dynamic_cast<const CMyException*>(&e);
    m_last_error = status ? status->get_status() : MY_ERR_FAILURE;
    if (dynamic_cast<const CRdPortException*>(&e) && GetConnectStatus() != CONNECTION_DISCONNECTED)
        Disconnect();
}

void CAdapterThread::OnExitThread() {
    if (m_port || GetConnectStatus() != CONNECTION_DISCONNECTED)
        Disconnect();
}
