// TCP port to an IP converter: non-blocking connect, Telnet data encoding and decoding, RFC 2217 line
// settings.
#include "adapter/CRdTcpPort.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoDeleter>;

} // namespace

CRdTcpPort::~CRdTcpPort() {
    Close();
}

void CRdTcpPort::SplitPortName(const std::string& name, std::string& host, std::string& service) {
    const size_t colon = name.rfind(':');
    if (colon == std::string::npos) {
        host = name;
        service = kDefaultService;
    } else {
        host = name.substr(0, colon);
        service = name.substr(colon + 1);
    }
}

void CRdTcpPort::Open() {
    std::string host, service;
    SplitPortName(m_port_name, host, service);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* raw = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &raw);
    if (rc != 0) {
        AddLog_Error("Open",
                     "getaddrinfo(" + host + ", " + service + ") error (code " + std::to_string(rc) + ")");
        throw CRdPortException(rc == EAI_NONAME ? MY_ERR_NOT_FOUND : MY_ERR_CANNOT_OPEN);
    }
    const AddrInfoPtr list(raw);

    const int fd = ::socket(list->ai_family, list->ai_socktype | SOCK_CLOEXEC, list->ai_protocol);
    if (fd < 0) {
        const int err = errno;
        AddLog_Error("Open", "socket() error (code " + std::to_string(err) + ")");
        throw CRdPortException(err == EACCES ? MY_ERR_ACCESS_DENIED : MY_ERR_CANNOT_OPEN);
    }
    Attach(fd);
    try {
        const int flags = ::fcntl(m_fd, F_GETFL);
        if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0)
            throw CRdPortException(MY_ERR_CANNOT_OPEN);
        m_decoder.reset();
        if (::connect(m_fd, list->ai_addr, list->ai_addrlen) == 0) {
            m_connecting = false;
            _OnConnected();
        } else if (errno == EINPROGRESS) {
            m_connecting = true;
        } else {
            const int err = errno;
            AddLog_Error("Open", "connect() error (code " + std::to_string(err) + ")");
            throw CRdPortException(err == EACCES || err == EPERM ? MY_ERR_ACCESS_DENIED : MY_ERR_CANNOT_OPEN);
        }
    } catch (...) {
        Close();
        throw;
    }
}

void CRdTcpPort::Close() {
    m_connecting = false;
    if (m_fd == -1)
        return;
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(Detach());
    AddLog_Close();
}

void CRdTcpPort::_CheckConnecting() {
    m_connecting = false;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        AddLog_Error("_CheckConnecting",
                     "getsockopt((m_fd, SOL_SOCKET, SO_ERROR) error " + std::to_string(errno));
        throw CRdPortException(MY_ERR_IO);
    }
    if (error != 0) {
        AddLog_Error("_CheckConnecting", "Connect error " + std::to_string(error));
        throw CRdPortException(MY_ERR_IO);
    }
    _OnConnected();
}

void CRdTcpPort::_OnConnected() {
    AddLog_Open();
    if (m_baud_rate != 0 && m_telnet)
        _SendBaud(m_baud_rate);
}

void CRdTcpPort::SetConfig(unsigned int baud, bool two_stop_bits) {
    const bool changed = baud != m_baud_rate;
    m_baud_rate = baud;
    m_two_stop_bits = two_stop_bits; // a converter is not told about stop bits
    if (m_fd != -1 && changed && baud != 0 && m_telnet)
        _SendBaud(baud);
}

bool CRdTcpPort::Send(const void* data, size_t len) {
    if (m_telnet)
        EncodeNvtData(data, len, m_send_queue);
    else
        m_send_queue.insert(m_send_queue.end(), static_cast<const uint8_t*>(data),
                            static_cast<const uint8_t*>(data) + len);
    _DoSend();
    AddLog_Send(data, len);
    return m_send_queue.empty();
}

void CRdTcpPort::_DoSend() {
    // Until the connect has completed everything waits in the queue, in order.
    if (m_connecting)
        return;
    size_t sent = 0;
    while (sent < m_send_queue.size()) {
        const ssize_t r = ::send(m_fd, m_send_queue.data() + sent, m_send_queue.size() - sent, MSG_NOSIGNAL);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;
            m_send_queue.erase(m_send_queue.begin(), m_send_queue.begin() + static_cast<ptrdiff_t>(sent));
            throw CRdPortException(MY_ERR_IO);
        }
        sent += static_cast<size_t>(r);
    }
    m_send_queue.erase(m_send_queue.begin(), m_send_queue.begin() + static_cast<ptrdiff_t>(sent));
}

void CRdTcpPort::_QueueCommand(const std::vector<uint8_t>& command) {
    // Line settings are not payload: they go to the queue as they are and are not logged.
    m_send_queue.insert(m_send_queue.end(), command.begin(), command.end());
    _DoSend();
}

void CRdTcpPort::_SendBaud(unsigned int baud) {
    _QueueCommand(telnet::Telnet_SetBaudrate(baud));
}

void CRdTcpPort::_SendSetDtr(bool on) {
    _QueueCommand(telnet::Telnet_SetControl(on ? telnet::kControlDtrOn : telnet::kControlDtrOff));
}

void CRdTcpPort::_SendSetRts(bool on) {
    _QueueCommand(telnet::Telnet_SetControl(on ? telnet::kControlRtsOn : telnet::kControlRtsOff));
}

void CRdTcpPort::SetDtr(bool on) {
    _SendSetDtr(on);
}

void CRdTcpPort::SetRts(bool on) {
    _SendSetRts(on);
}

void CRdTcpPort::Clear() {
    m_in_buffer.clear();
    m_send_queue.clear();
    AddLog_Clear();
}

size_t CRdTcpPort::GetInCount() {
    return m_in_buffer.size();
}

bool CRdTcpPort::Receive() {
    // One byte less than the scratch area, as the converters' firmware examples do.
    constexpr size_t kRecvChunk = kScratchSize - 1;
    bool received = false;
    for (;;) {
        const ssize_t r = ::recv(m_fd, m_scratch, kRecvChunk, 0);
        if (r > 0) {
            received |= _AddInData(m_scratch, static_cast<size_t>(r));
            continue;
        }
        if (r == 0)
            return received; // the peer closed; the hang-up event reports it
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return received;
        throw CRdPortException(MY_ERR_IO);
    }
}

bool CRdTcpPort::_AddInData(const uint8_t* p, size_t n) {
    if (!m_telnet) {
        m_in_buffer.append(p, n);
        AddLog_Receive(p, n);
        return n > 0;
    }
    // Decode straight into the receive buffer, behind the bytes not yet consumed.
    const size_t unread = m_in_buffer.size();
    uint8_t* out = m_in_buffer.get_buffer(unread + n) + unread;
    const size_t payload = m_decoder.decode(p, n, out);
    m_in_buffer.release_buffer(unread + payload);
    if (payload == 0)
        return false;
    AddLog_Receive(out, payload);
    return true;
}

void CRdTcpPort::ProcessSendEvent() {
    if (m_connecting)
        _CheckConnecting();
    if (!m_send_queue.empty())
        _DoSend();
}

void CRdTcpPort::ProcessReceiveEvent() {
    Receive();
}

void CRdTcpPort::ProcessConnectionClosedEvent() {
    m_connecting = false;
    throw CRdPortException(MY_ERR_IO);
}

void CRdTcpPort::EncodeNvtData(const void* data, size_t n, std::vector<uint8_t>& out) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out.reserve(out.size() + 2 * n);
    for (size_t i = 0; i < n; ++i) {
        if (bytes[i] == telnet::kIAC)
            out.push_back(telnet::kIAC);
        out.push_back(bytes[i]);
    }
}

void CRdTcpPort::EncodeNvtCommand(const void* data, size_t n, std::vector<uint8_t>& out) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (n == 0)
        return;
    out.push_back(telnet::kIAC);
    if (n == 1) {
        out.push_back(bytes[0]);
        return;
    }
    out.push_back(telnet::kSB);
    EncodeNvtData(bytes, n, out);
    out.push_back(telnet::kIAC);
    out.push_back(telnet::kSE);
}
