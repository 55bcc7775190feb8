// Pseudo-terminal transport. <asm/termbits.h> gives termios2 (any baud rate); it cannot be mixed with
// <termios.h>, so this file keeps to the kernel's definitions.
#include "sim/devsim/CPtyLink.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace devsim {

namespace {
constexpr size_t kPathMax = 128;
} // namespace

CPtyLink::CPtyLink() : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (!m_master || ::grantpt(m_master.get()) != 0 || ::unlockpt(m_master.get()) != 0)
        throw std::system_error(errno, std::generic_category(), "pseudo-terminal");
    char path[kPathMax];
    if (::ptsname_r(m_master.get(), path, sizeof path) != 0)
        throw std::system_error(errno, std::generic_category(), "ptsname");
    m_path = path;
    make_raw();
}

void CPtyLink::make_raw() {
    // A serial port neither echoes nor translates line ends; a fresh pseudo-terminal does both until the
    // program configures it, so start it raw at the adapter's rate.
    termios2 tio{};
    if (::ioctl(m_master.get(), TCGETS2, &tio) != 0)
        return;
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = BOTHER | CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_ispeed = tio.c_ospeed = kM6Baud;
    ::ioctl(m_master.get(), TCSETS2, &tio);
}

bool CPtyLink::probe_slave() {
    pollfd pfd{m_master.get(), POLLIN, 0};
    if (::poll(&pfd, 1, 0) < 0)
        return m_slave_open;
    m_slave_open = !(pfd.revents & POLLHUP);
    return m_slave_open;
}

bool CPtyLink::read_some(std::vector<uint8_t>& out) {
    uint8_t buf[kLinkReadChunk];
    for (;;) {
        const ssize_t got = ::read(m_master.get(), buf, sizeof buf);
        if (got > 0) {
            out.insert(out.end(), buf, buf + got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            return true;
        m_slave_open = false; // EIO: the last slave descriptor was closed
        return false;
    }
}

size_t CPtyLink::write_some(const uint8_t* data, size_t n) {
    for (;;) {
        const ssize_t put = ::write(m_master.get(), data, n);
        if (put >= 0)
            return static_cast<size_t>(put);
        if (errno == EINTR)
            continue;
        if (errno == EIO)
            m_slave_open = false;
        return 0;
    }
}

LineSettings CPtyLink::line() const {
    LineSettings line;
    termios2 tio{};
    if (::ioctl(m_master.get(), TCGETS2, &tio) != 0)
        return line;
    line.baud = tio.c_ospeed;
    line.two_stop_bits = tio.c_cflag & CSTOPB;
    line.parity = tio.c_cflag & PARENB;
    return line;
}

} // namespace devsim
