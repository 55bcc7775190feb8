// Receive side of Telnet as IP converters speak it: strips commands and subnegotiations from the byte stream
// and undoubles 0xFF, keeping its state across recv() calls. Also the Telnet and RFC 2217 byte values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace telnet {
inline constexpr uint8_t kIAC = 0xFF;
inline constexpr uint8_t kDONT = 0xFE;
inline constexpr uint8_t kDO = 0xFD;
inline constexpr uint8_t kWONT = 0xFC;
inline constexpr uint8_t kWILL = 0xFB;
inline constexpr uint8_t kSB = 0xFA;
inline constexpr uint8_t kSE = 0xF0;
inline constexpr uint8_t kComPortOption = 0x2C;
inline constexpr uint8_t kSetBaudrate = 0x01;
inline constexpr uint8_t kSetControl = 0x05;
// SET-CONTROL values as the converters expect them (RTS differs from RFC 2217's 11/12).
inline constexpr uint8_t kControlDtrOn = 8;
inline constexpr uint8_t kControlDtrOff = 9;
inline constexpr uint8_t kControlRtsOn = 17;
inline constexpr uint8_t kControlRtsOff = 18;

// IAC SB COM-PORT-OPTION SET-BAUDRATE b3 b2 b1 b0 IAC SE, the rate most significant byte first, each 0xFF
// value byte doubled.
std::vector<uint8_t> Telnet_SetBaudrate(uint32_t baud);
// IAC SB COM-PORT-OPTION SET-CONTROL value IAC SE.
std::vector<uint8_t> Telnet_SetControl(uint8_t value);
} // namespace telnet

class CTelnetDecoder {
public:
    // Forget any partial command (a new connection).
    void reset() { m_iac_pending = m_in_subneg = m_skip_option = false; }

    // Decodes n received bytes into out and returns the payload count, never more than n. out may be the same
    // address as in (decoding in place) but must not overlap it otherwise.
    size_t decode(const uint8_t* in, size_t n, uint8_t* out);

    bool iac_pending() const { return m_iac_pending; }
    bool in_subnegotiation() const { return m_in_subneg; }

private:
    bool m_iac_pending = false; // the previous byte was IAC
    bool m_in_subneg = false;   // inside IAC SB ... IAC SE
    bool m_skip_option = false; // the previous bytes were IAC WILL/WONT/DO/DONT; the next is their option
};
