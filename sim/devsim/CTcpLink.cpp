// TCP transport of the simulated IP converter.
#include "sim/devsim/CTcpLink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

#include "sim/devsim/DevsimTypes.h"

namespace devsim {

namespace {
constexpr int kProgramBacklog = 4; // program connections waiting to be accepted

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}
} // namespace

CTcpLink::CTcpLink(uint16_t port)
    : m_listen(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    if (!m_listen)
        fail("socket");
    const int on = 1;
    ::setsockopt(m_listen.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listen.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        fail("bind");
    if (::listen(m_listen.get(), kProgramBacklog) != 0)
        fail("listen");
    socklen_t len = sizeof addr;
    if (::getsockname(m_listen.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        fail("getsockname");
    m_port = ntohs(addr.sin_port);
}

bool CTcpLink::accept_client() {
    CFd fd(::accept4(m_listen.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd)
        return false;
    const int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_client = std::move(fd);
    m_telnet.reset();
    m_raw_out.clear();
    return true;
}

void CTcpLink::drop_client() {
    if (m_client)
        ::shutdown(m_client.get(), SHUT_RDWR);
    m_client.reset();
    m_raw_out.clear();
}

bool CTcpLink::read_some(std::vector<uint8_t>& payload) {
    uint8_t buf[kLinkReadChunk];
    for (;;) {
        const ssize_t got = ::recv(m_client.get(), buf, sizeof buf, 0);
        if (got > 0) {
            m_telnet.decode(buf, static_cast<size_t>(got), payload, m_raw_out);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            return true;
        return false; // orderly close or reset
    }
}

void CTcpLink::queue_payload(const uint8_t* data, size_t n) {
    CTelnetServer::encode(data, n, m_raw_out);
}

void CTcpLink::flush() {
    while (m_client && !m_raw_out.empty()) {
        const ssize_t put = ::send(m_client.get(), m_raw_out.data(), m_raw_out.size(), MSG_NOSIGNAL);
        if (put > 0) {
            m_raw_out.erase(m_raw_out.begin(), m_raw_out.begin() + put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN)
            drop_client();
        return;
    }
}

} // namespace devsim
