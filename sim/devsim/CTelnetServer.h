// The IP converter's side of Telnet with the RFC 2217 COM-PORT option: splits what the program sends into
// serial payload and commands, keeps the serial settings the program asked for, and answers negotiations and
// COM-PORT commands the way a converter does.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/devsim/DevsimTypes.h"

namespace devsim {

constexpr uint8_t kIAC = 0xFF;
constexpr uint8_t kSB = 0xFA;
constexpr uint8_t kSE = 0xF0;
constexpr uint8_t kWILL = 0xFB;
constexpr uint8_t kWONT = 0xFC;
constexpr uint8_t kDO = 0xFD;
constexpr uint8_t kDONT = 0xFE;
constexpr uint8_t kComPortOption = 0x2C;
constexpr uint8_t kSetBaudrate = 0x01;
constexpr uint8_t kSetDatasize = 0x02;
constexpr uint8_t kSetParity = 0x03;
constexpr uint8_t kSetStopsize = 0x04;
constexpr uint8_t kSetControl = 0x05;
constexpr uint8_t kServerReplyOffset = 100; // a converter answers command c with c + 100

class CTelnetServer {
public:
    // Payload bytes go to `payload`; answers for the program (already Telnet-encoded) go to `reply`.
    void decode(const uint8_t* data, size_t n, std::vector<uint8_t>& payload, std::vector<uint8_t>& reply);
    // Appends payload with every 0xFF doubled.
    static void encode(const uint8_t* data, size_t n, std::vector<uint8_t>& out);
    const LineSettings& line() const { return m_line; }
    unsigned baud_commands() const { return m_baud_commands; }
    unsigned control_commands() const { return m_control_commands; }
    void reset();

private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void on_option(uint8_t option, std::vector<uint8_t>& reply);
    void on_subnegotiation(std::vector<uint8_t>& reply);
    void on_set_control(uint8_t value);

    State m_state = State::Data;
    uint8_t m_verb = 0;
    std::vector<uint8_t> m_sub;
    std::set<uint16_t> m_answered; // verb << 8 | option, so that a repeated request is not answered again
    LineSettings m_line;
    unsigned m_baud_commands = 0;
    unsigned m_control_commands = 0;
};

} // namespace devsim
