// Telnet receive decoder and the RFC 2217 commands the converters understand.
#include "adapter/CTelnetDecoder.h"

namespace telnet {

namespace {
std::vector<uint8_t> com_port_command(const uint8_t* value, size_t n, uint8_t command) {
    std::vector<uint8_t> out = {kIAC, kSB, kComPortOption, command};
    for (size_t i = 0; i < n; ++i) {
        if (value[i] == kIAC)
            out.push_back(kIAC);
        out.push_back(value[i]);
    }
    out.push_back(kIAC);
    out.push_back(kSE);
    return out;
}
} // namespace

std::vector<uint8_t> Telnet_SetBaudrate(uint32_t baud) {
    const uint8_t value[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                              static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
    return com_port_command(value, sizeof value, kSetBaudrate);
}

std::vector<uint8_t> Telnet_SetControl(uint8_t value) {
    return com_port_command(&value, 1, kSetControl);
}

} // namespace telnet

size_t CTelnetDecoder::decode(const uint8_t* in, size_t n, uint8_t* out) {
    using namespace telnet;
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        if (m_skip_option) {
            // The option byte of WILL/WONT/DO/DONT belongs to the command, not to the payload.
            m_skip_option = false;
            continue;
        }
        if (!m_iac_pending) {
            if (b == kIAC)
                m_iac_pending = true;
            else if (!m_in_subneg)
                out[kept++] = b;
            continue;
        }
        m_iac_pending = false;
        if (m_in_subneg) {
            if (b == kSE)
                m_in_subneg = false;
        } else if (b == kIAC) {
            out[kept++] = kIAC;
        } else if (b == kSB) {
            m_in_subneg = true;
        } else if (b >= kWILL && b <= kDONT) {
            m_skip_option = true;
        }
        // Any other command (NOP, GA, ...) is dropped together with its IAC.
    }
    return kept;
}
