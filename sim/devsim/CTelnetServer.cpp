// Converter-side Telnet decoder and RFC 2217 COM-PORT command handling.
#include "sim/devsim/CTelnetServer.h"

namespace devsim {

namespace {
constexpr size_t kMaxSub = 64;
constexpr uint8_t kOptBinary = 0x00;
constexpr uint8_t kOptSuppressGoAhead = 0x03;
// SET-CONTROL values. This converter family takes 17/18 for RTS; the RFC's own 11/12 work as well.
constexpr uint8_t kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12, kRtsOnAlt = 17, kRtsOffAlt = 18;
constexpr uint8_t kStopsize2 = 2;
constexpr uint8_t kParityNone = 1;

bool option_supported(uint8_t option) {
    return option == kComPortOption || option == kOptBinary || option == kOptSuppressGoAhead;
}
} // namespace

void CTelnetServer::reset() {
    m_state = State::Data;
    m_sub.clear();
    m_answered.clear();
    m_line = LineSettings{};
}

void CTelnetServer::encode(const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
    for (size_t i = 0; i < n; ++i) {
        out.push_back(data[i]);
        if (data[i] == kIAC)
            out.push_back(kIAC);
    }
}

void CTelnetServer::decode(const uint8_t* data, size_t n, std::vector<uint8_t>& payload,
                           std::vector<uint8_t>& reply) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        switch (m_state) {
        case State::Data:
            if (b == kIAC)
                m_state = State::Iac;
            else
                payload.push_back(b);
            break;
        case State::Iac:
            m_state = State::Data;
            if (b == kIAC) {
                payload.push_back(kIAC);
            } else if (b == kSB) {
                m_sub.clear();
                m_state = State::Sub;
            } else if (b >= kWILL) {
                m_verb = b;
                m_state = State::Option;
            } // other commands (NOP, AYT ...) carry nothing for the serial line
            break;
        case State::Option:
            on_option(b, reply);
            m_state = State::Data;
            break;
        case State::Sub:
            if (b == kIAC)
                m_state = State::SubIac;
            else if (m_sub.size() < kMaxSub)
                m_sub.push_back(b);
            break;
        case State::SubIac:
            if (b == kIAC) {
                if (m_sub.size() < kMaxSub)
                    m_sub.push_back(kIAC);
                m_state = State::Sub;
            } else {
                if (b == kSE)
                    on_subnegotiation(reply);
                m_state = State::Data;
            }
            break;
        }
    }
}

void CTelnetServer::on_option(uint8_t option, std::vector<uint8_t>& reply) {
    if (!m_answered.insert(static_cast<uint16_t>(m_verb << 8 | option)).second)
        return;
    const bool ok = option_supported(option);
    uint8_t answer = 0;
    switch (m_verb) {
    case kWILL:
        answer = ok ? kDO : kDONT;
        break;
    case kDO:
        answer = ok ? kWILL : kWONT;
        break;
    case kWONT:
        answer = kDONT;
        break;
    default:
        answer = kWONT;
        break;
    }
    reply.insert(reply.end(), {kIAC, answer, option});
}

void CTelnetServer::on_set_control(uint8_t value) {
    ++m_control_commands;
    if (value == kDtrOn || value == kDtrOff)
        m_line.dtr = value == kDtrOn;
    else if (value == kRtsOn || value == kRtsOnAlt)
        m_line.rts = true;
    else if (value == kRtsOff || value == kRtsOffAlt)
        m_line.rts = false;
}

void CTelnetServer::on_subnegotiation(std::vector<uint8_t>& reply) {
    if (m_sub.size() < 3 || m_sub[0] != kComPortOption)
        return;
    const uint8_t command = m_sub[1];
    std::vector<uint8_t> value(m_sub.begin() + 2, m_sub.end());
    if (command == kSetBaudrate && value.size() == 4) {
        ++m_baud_commands;
        const uint32_t baud = value[0] << 24 | value[1] << 16 | value[2] << 8 | value[3];
        if (baud != 0) // 0 asks for the current rate
            m_line.baud = baud;
        value = {static_cast<uint8_t>(m_line.baud >> 24), static_cast<uint8_t>(m_line.baud >> 16),
                 static_cast<uint8_t>(m_line.baud >> 8), static_cast<uint8_t>(m_line.baud)};
    } else if (command == kSetStopsize && value.size() == 1 && value[0] != 0) {
        m_line.two_stop_bits = value[0] == kStopsize2;
    } else if (command == kSetParity && value.size() == 1 && value[0] != 0) {
        m_line.parity = value[0] != kParityNone;
    } else if (command == kSetControl && value.size() == 1) {
        on_set_control(value[0]);
    }
    reply.insert(reply.end(),
                 {kIAC, kSB, kComPortOption, static_cast<uint8_t>(command + kServerReplyOffset)});
    encode(value.data(), value.size(), reply);
    reply.insert(reply.end(), {kIAC, kSE});
}

} // namespace devsim
