// Serial and TCP ends for the device-simulator tests. Uses the kernel's termios2, so no <termios.h> here.
#include "test_devsim_helpers.h"

#include <arpa/inet.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace devsim_test {

namespace {
using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::vector<uint8_t> read_fd(int fd, size_t n, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, remaining_ms(deadline)) <= 0)
            break;
        uint8_t buf[4096];
        const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
        if (r > 0)
            got.insert(got.end(), buf, buf + r);
        else if (r == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

void write_fd(int fd, const uint8_t* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
        } else if (errno == EAGAIN || errno == EINTR) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            throw std::system_error(errno, std::generic_category(), "write");
        }
    }
}
} // namespace

CSerialEnd::CSerialEnd(const std::string& path, uint32_t baud, bool two_stop_bits)
    : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), path);
    set_line(baud, two_stop_bits);
}

CSerialEnd::~CSerialEnd() {
    close();
}

void CSerialEnd::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void CSerialEnd::set_line(uint32_t baud, bool two_stop_bits) {
    termios2 tio{};
    ::ioctl(m_fd, TCGETS2, &tio);
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag &= ~(CBAUD | CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= BOTHER | CS8 | CLOCAL | CREAD | (two_stop_bits ? CSTOPB : 0);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tio.c_ispeed = tio.c_ospeed = baud;
    if (::ioctl(m_fd, TCSETS2, &tio) != 0)
        throw std::system_error(errno, std::generic_category(), "TCSETS2");
}

void CSerialEnd::write(const std::vector<uint8_t>& bytes) {
    write_fd(m_fd, bytes.data(), bytes.size());
}

std::vector<uint8_t> CSerialEnd::read(size_t n, std::chrono::milliseconds timeout) {
    return read_fd(m_fd, n, timeout);
}

bool CSerialEnd::hung_up(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, remaining_ms(deadline)) <= 0)
            return false;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        uint8_t buf[256];
        if (::read(m_fd, buf, sizeof buf) < 0 && errno == EIO)
            return true;
    }
}

CTcpEnd::CTcpEnd(uint16_t port) : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "connect");
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
}

CTcpEnd::~CTcpEnd() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void CTcpEnd::write(const std::vector<uint8_t>& raw) {
    write_fd(m_fd, raw.data(), raw.size());
}

std::vector<uint8_t> CTcpEnd::read(size_t n, std::chrono::milliseconds timeout) {
    return read_fd(m_fd, n, timeout);
}

bool CTcpEnd::closed_by_peer(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, remaining_ms(deadline)) <= 0)
            return false;
        uint8_t buf[256];
        const ssize_t r = ::read(m_fd, buf, sizeof buf);
        if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR))
            return true;
    }
}

uint8_t m6_cs(const std::vector<uint8_t>& bytes) {
    unsigned sum = 0x5A;
    for (uint8_t b : bytes)
        sum += b;
    return static_cast<uint8_t>((0x100 - (sum % 0x100)) % 0x100);
}

// Built at its full size: growing a one-byte vector by insertion trips GCC 12's -Warray-bounds at -O3.
std::vector<uint8_t> m6_frame(uint8_t cmd, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> frame(1 + data.size());
    frame[0] = cmd;
    std::copy(data.begin(), data.end(), frame.begin() + 1);
    const uint8_t cs = m6_cs(frame);
    frame.resize(frame.size() + 1, cs);
    return frame;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace devsim_test
