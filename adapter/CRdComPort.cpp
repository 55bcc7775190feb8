// Serial port through termios2: raw 8-bit line at any integer baud rate, exclusive use, non-blocking I/O.
#include "adapter/CRdComPort.h"

#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/CDebugLog.h"

namespace {

MyStatus open_error_status(int err) {
    switch (err) {
    case EACCES:
        return MY_ERR_ACCESS_DENIED;
    case EBUSY:
        return MY_ERR_PORT_BUSY;
    case ENODEV:
        return MY_ERR_NOT_FOUND;
    default:
        return MY_ERR_CANNOT_OPEN;
    }
}

} // namespace

CRdComPort::~CRdComPort() {
    Close();
}

void CRdComPort::Open() {
    const int fd = ::open(m_port_name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        AddLog_Error("Open", "Error opening COM port (code: " + std::to_string(err) +
                                 "): " + std::strerror(err) + " ");
        throw CRdPortException(open_error_status(err));
    }
    Attach(fd);
    try {
        if (::ioctl(m_fd, TIOCEXCL) != 0) {
            AddLog_Error("Open", "Error enabling exclusive mode (code: " + std::to_string(errno) + ")");
            std::perror("ioctl: TIOCEXCL - ");
            throw CRdPortException(MY_ERR_CANNOT_OPEN);
        }
        UpdaterConfig();
        AddLog_Open();
    } catch (...) {
        ::close(Detach());
        throw;
    }
}

void CRdComPort::Close() {
    if (m_fd == -1)
        return;
    ::close(Detach());
    AddLog_Close();
}

void CRdComPort::SetConfig(unsigned int baud, bool two_stop_bits) {
    m_baud_rate = baud;
    m_two_stop_bits = two_stop_bits;
    UpdaterConfig();
}

void CRdComPort::UpdaterConfig() {
    if (m_fd == -1)
        return;
    struct termios2 tio;
    std::memset(&tio, 0, sizeof tio);
    // The results are not checked: a device that refuses a setting still carries data, and the adapter
    // protocol notices a wrong line speed by its missing acknowledgements.
    (void)::ioctl(m_fd, TCGETS2, &tio);
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY | IXOFF);
    tio.c_oflag = 0;
    tio.c_cflag &= ~(PARENB | CSIZE | CSTOPB | CBAUD | CBAUDEX | CRTSCTS);
    tio.c_cflag |= CS8 | BOTHER | CLOCAL | CREAD;
    if (m_two_stop_bits)
        tio.c_cflag |= CSTOPB;
    tio.c_lflag &= ~(ISIG | ICANON | ECHO | ECHOE | ECHONL);
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VMIN] = 0;
    tio.c_ispeed = m_baud_rate;
    tio.c_ospeed = m_baud_rate;
    (void)::ioctl(m_fd, TCSETS2, &tio);
}

bool CRdComPort::Send(const void* data, size_t len) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t written = 0;
    if (m_send_queue.empty() && len > 0) {
        ssize_t r;
        do {
            r = ::write(m_fd, bytes, len);
        } while (r < 0 && errno == EINTR);
        if (r < 0 && errno != EAGAIN)
            throw CRdPortException(MY_ERR_IO);
        written = r < 0 ? 0 : static_cast<size_t>(r);
    }
    if (written < len) {
        m_send_queue.insert(m_send_queue.end(), bytes + written, bytes + len);
        _DoSend();
    }
    AddLog_Send(data, len);
    return m_send_queue.empty();
}

void CRdComPort::_DoSend() {
    while (!m_send_queue.empty()) {
        const ssize_t r = ::write(m_fd, m_send_queue.data(), m_send_queue.size());
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return;
            throw CRdPortException(MY_ERR_IO);
        }
        m_send_queue.erase(m_send_queue.begin(), m_send_queue.begin() + r);
    }
}

void CRdComPort::ProcessSendEvent() {
    _DoSend();
}

void CRdComPort::ProcessReceiveEvent() {
    Receive();
}

void CRdComPort::ProcessConnectionClosedEvent() {
    throw CRdPortException(MY_ERR_IO);
}

bool CRdComPort::Receive() {
    bool received = false;
    for (;;) {
        const ssize_t r = ::read(m_fd, m_scratch, kScratchSize);
        if (r > 0) {
            m_in_buffer.append(m_scratch, static_cast<size_t>(r));
            AddLog_Receive(m_scratch, static_cast<size_t>(r));
            received = true;
            continue;
        }
        if (r == 0) {
            // An unplugged USB adapter reads as end of file; the device is gone when it no longer answers.
            struct termios2 tio;
            if (::ioctl(m_fd, TCGETS2, &tio) != 0)
                throw CRdPortException(MY_ERR_IO);
            return received;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return received;
        throw CRdPortException(MY_ERR_IO);
    }
}

void CRdComPort::Clear() {
    if (m_fd != -1)
        while (::read(m_fd, m_scratch, kScratchSize) > 0) {
        }
    m_in_buffer.clear();
    m_send_queue.clear();
    AddLog_Clear();
}

size_t CRdComPort::GetInCount() {
    int count = 0;
    if (m_fd == -1 || ::ioctl(m_fd, FIONREAD, &count) != 0 || count < 0)
        return 0;
    return static_cast<size_t>(count);
}

void CRdComPort::_SetModemLine(int line, bool on) {
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) != 0) {
        std::perror("ioctl: TIOCMGET");
        return;
    }
    if (on)
        lines |= line;
    else
        lines &= ~line;
    if (::ioctl(m_fd, TIOCMSET, &lines) != 0)
        std::perror("ioctl: TIOCMSET");
}

void CRdComPort::SetDtr(bool on) {
    _SetModemLine(TIOCM_DTR, on);
}

void CRdComPort::SetRts(bool on) {
    _SetModemLine(TIOCM_RTS, on);
}
