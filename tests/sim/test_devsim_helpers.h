// The program's end of the simulator's wires, for the device-simulator tests: a pseudo-terminal opened like a
// serial port (raw, any baud rate) and a TCP connection to the simulated converter, both with reads that wait
// for a given number of bytes up to a generous deadline.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/WaitFor.h"

namespace devsim_test {

using namespace std::chrono_literals;
using test::kWaitDeadline;

class CSerialEnd {
public:
    explicit CSerialEnd(const std::string& path, uint32_t baud = 38400, bool two_stop_bits = false);
    CSerialEnd(const CSerialEnd&) = delete;
    CSerialEnd& operator=(const CSerialEnd&) = delete;
    ~CSerialEnd();

    void set_line(uint32_t baud, bool two_stop_bits);
    void write(const std::vector<uint8_t>& bytes);
    // Up to n bytes: returns fewer only when the deadline passed (or the port hung up).
    std::vector<uint8_t> read(size_t n, std::chrono::milliseconds timeout = kWaitDeadline);
    // True when the simulator closed its side (a hang-up is reported).
    bool hung_up(std::chrono::milliseconds timeout = kWaitDeadline);
    void close();

private:
    int m_fd = -1;
};

class CTcpEnd {
public:
    explicit CTcpEnd(uint16_t port);
    CTcpEnd(const CTcpEnd&) = delete;
    CTcpEnd& operator=(const CTcpEnd&) = delete;
    ~CTcpEnd();

    void write(const std::vector<uint8_t>& raw);
    std::vector<uint8_t> read(size_t n, std::chrono::milliseconds timeout = kWaitDeadline);
    bool closed_by_peer(std::chrono::milliseconds timeout = kWaitDeadline);

private:
    int m_fd = -1;
};

// An M6 frame: command, data, checksum (0x5A plus every byte is 0 modulo 256).
std::vector<uint8_t> m6_frame(uint8_t cmd, const std::vector<uint8_t>& data = {});
uint8_t m6_cs(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b);

} // namespace devsim_test
