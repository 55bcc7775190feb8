// The adapter's serial port as a pseudo-terminal: the program opens the slave path like a serial device; the
// simulator holds the master, sees the program's termios settings (baud rate, stop bits) through it, and
// notices when the program closes or reopens the port.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/devsim/CFd.h"
#include "sim/devsim/DevsimTypes.h"

namespace devsim {

class CPtyLink {
public:
    // Opens a new pseudo-terminal; throws std::system_error when the system has none to give.
    CPtyLink();

    const std::string& slave_path() const { return m_path; }
    int fd() const { return m_master.get(); }
    // False after the program closed the slave, until a probe sees it open again. The master reports a
    // lasting hang-up meanwhile, so it must stay out of the poll set.
    bool slave_open() const { return m_slave_open; }
    bool probe_slave();
    void mark_closed() { m_slave_open = false; }

    // Appends what the program wrote; returns false when the program closed its side.
    bool read_some(std::vector<uint8_t>& out);
    // Writes from `data`; returns the count taken (0 when the kernel buffer is full).
    size_t write_some(const uint8_t* data, size_t n);
    // The slave's current termios (the master shares them).
    LineSettings line() const;

private:
    void make_raw();

    CFd m_master;
    std::string m_path;
    bool m_slave_open = true; // a fresh pty does not report a hang-up before its first open
};

} // namespace devsim
