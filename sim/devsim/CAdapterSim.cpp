// The adapter's M6 side: frame reception, acknowledgements, reading mode and page access.
#include "sim/devsim/CAdapterSim.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace devsim {

namespace {
constexpr unsigned kBaudTolerancePercent = 2;

bool near_baud(uint32_t baud, uint32_t nominal) {
    const uint32_t diff = baud > nominal ? baud - nominal : nominal - baud;
    return diff * 100 <= nominal * kBaudTolerancePercent;
}
} // namespace

CAdapterSim::CAdapterSim(AdapterConfig config) : m_config(config), m_ds1996(kDs1996Size, 0xFF) {}

void CAdapterSim::receive(const uint8_t* data, size_t n, const LineSettings& line, TimePoint at) {
    Proto proto = Proto::None;
    if (near_baud(line.baud, kAsciiBaud))
        proto = Proto::Ascii;
    else if (near_baud(line.baud, kM6Baud) || !m_config.strict_baud)
        proto = Proto::M6;
    if (proto != m_proto) {
        reset_line();
        // The adapter leaves its reading mode when the program talks ASCII to it.
        if (proto != Proto::M6)
            m_armed = false;
        m_proto = proto;
    }
    m_counters.bytes_in += n;
    for (size_t i = 0; i < n; ++i) {
        if (proto == Proto::M6)
            m6_byte(data[i], at);
        else if (proto == Proto::Ascii)
            ascii_byte(data[i], at);
        else
            ++m_counters.garbled_bytes; // the adapter's UART sees noise at a rate it does not speak
    }
}

void CAdapterSim::reset_line() {
    m_frame.clear();
    m_frame_len = 0;
    m_line.clear();
}

void CAdapterSim::set_modem_lines(bool dtr, bool rts) {
    const bool run = dtr && !rts;
    if (run && !m_lines_run) {
        ++m_counters.adapter_restarts;
        reset_line();
        m_armed = false;
        m_scan_mode = ScanMode::Dallas;
        m_emu = Emu::Off;
        m_emu_waiting = false;
    }
    m_lines_run = run;
}

std::vector<OutChunk> CAdapterSim::take_output() {
    return std::exchange(m_out, {});
}

void CAdapterSim::emit(TimePoint at, std::vector<uint8_t> bytes) {
    if (m_silent_until_cleared || bytes.empty())
        return;
    m_counters.bytes_out += bytes.size();
    m_out.push_back({at, std::move(bytes), m_proto == Proto::Ascii ? kAsciiBaud : kM6Baud});
}

void CAdapterSim::add_fault(Fault kind, unsigned count) {
    if (kind == Fault::Silence && count == 0)
        m_silent_until_cleared = true;
    else
        m_faults[static_cast<size_t>(kind)] += count;
}

void CAdapterSim::clear_faults() {
    m_faults.fill(0);
    m_silent_until_cleared = false;
}

unsigned CAdapterSim::fault_count(Fault kind) const {
    return m_faults[static_cast<size_t>(kind)];
}

bool CAdapterSim::take_fault(Fault kind) {
    unsigned& left = m_faults[static_cast<size_t>(kind)];
    if (left == 0)
        return false;
    --left;
    return true;
}

void CAdapterSim::send_ack(TimePoint at, uint8_t ack) {
    if (take_fault(Fault::LostAck)) {
        ++m_counters.acks_dropped;
        return;
    }
    ++m_counters.acks_out;
    emit(at, {ack});
}

void CAdapterSim::send_page(TimePoint at, const uint8_t* page) {
    std::vector<uint8_t> frame = M6_PageFrame(page);
    if (take_fault(Fault::BadChecksum)) {
        ++frame.back();
        ++m_counters.answers_corrupted;
    }
    emit(at, std::move(frame));
}

void CAdapterSim::m6_byte(uint8_t b, TimePoint at) {
    if (!m_frame.empty() && at - m_last_byte > m_config.partial_frame_timeout) {
        ++m_counters.partial_frames_dropped; // the adapter resynchronises after a pause
        m_frame.clear();
    }
    m_last_byte = at;
    if (m_frame.empty()) {
        m_frame_len = M6_FrameLength(b);
        if (m_frame_len == 0) {
            ++m_counters.unknown_bytes;
            return;
        }
    }
    m_frame.push_back(b);
    if (m_frame.size() < m_frame_len)
        return;
    on_frame(at);
    m_frame.clear();
}

void CAdapterSim::on_frame(TimePoint at) {
    ++m_counters.frames_in;
    if (m_silent_until_cleared || take_fault(Fault::Silence)) {
        ++m_counters.frames_ignored;
        return;
    }
    const uint8_t cmd = m_frame[0];
    if (M6_IsEmulationByte(cmd)) {
        on_emulation(at);
        return;
    }
    if (cmd != kCmdWake && !M6_ChecksumOk(m_frame.data(), m_frame.size())) {
        ++m_counters.bad_checksums_in;
        ++m_counters.errors_out;
        emit(at, {kAnsError});
        return;
    }
    on_command(at);
}

bool CAdapterSim::key_matches_mode() const {
    switch (m_key.kind) {
    case KeyKind::Dallas:
    case KeyKind::Ds1996:
        return m_scan_mode == ScanMode::Dallas;
    case KeyKind::EmMarine:
        return m_scan_mode == ScanMode::EmMarine;
    case KeyKind::Temic:
        return m_scan_mode == ScanMode::EmMarine && temic_programmed();
    case KeyKind::Kf300:
        return m_scan_mode == ScanMode::Kf300;
    default:
        return false;
    }
}

uint16_t CAdapterSim::frame_address() const {
    return static_cast<uint16_t>(m_frame[1] | (m_frame[2] << 8));
}

void CAdapterSim::on_command(TimePoint at) {
    switch (m_frame[0]) {
    case kCmdWake:
        ++m_counters.wakes;
        m_armed = false;
        send_ack(at, m_config.power_answer);
        break;
    case kCmdSelectDallas:
    case kCmdSelectEmMarine:
    case kCmdSelectKf300:
        m_scan_mode = m_frame[0] == kCmdSelectDallas     ? ScanMode::Dallas
                      : m_frame[0] == kCmdSelectEmMarine ? ScanMode::EmMarine
                                                         : ScanMode::Kf300;
        m_armed = false;
        send_ack(at);
        break;
    case kCmdStart:
        send_ack(at);
        m_armed = true;
        m_armed_at = at;
        tick(at);
        break;
    case kCmdCtrlReadPage:
    case kCmdCtrlWritePage:
        send_ack(at);
        on_controller_page(at);
        break;
    case kCmdKeyReadPage:
    case kCmdKeyWritePage:
        send_ack(at);
        on_key_page(at);
        break;
    }
}

void CAdapterSim::on_controller_page(TimePoint at) {
    if (!m_controller.present()) {
        ++m_counters.no_controller_answers;
        emit(at, {kAnsNoController});
        return;
    }
    const uint16_t address = frame_address();
    if (m_frame[0] == kCmdCtrlWritePage) {
        m_controller.write(address, &m_frame[1 + kAddrBytes], kPageSize);
        ++m_counters.ctrl_pages_written;
        emit(at, {kAnsFrame, kFrameDone});
        return;
    }
    std::array<uint8_t, kPageSize> page{};
    m_controller.read(address, page.data(), page.size());
    ++m_counters.ctrl_pages_read;
    send_page(at, page.data());
}

void CAdapterSim::on_key_page(TimePoint at) {
    if (m_key.kind != KeyKind::Ds1996) {
        ++m_counters.errors_out;
        emit(at, {kAnsError});
        return;
    }
    const uint16_t address = frame_address();
    if (m_frame[0] == kCmdKeyWritePage) {
        for (size_t i = 0; i < kPageSize; ++i)
            m_ds1996[(address + i) % kDs1996Size] = m_frame[1 + kAddrBytes + i];
        ++m_counters.key_pages_written;
        emit(at, {kAnsFrame, kFrameDoneKey});
        return;
    }
    std::array<uint8_t, kPageSize> page{};
    for (size_t i = 0; i < kPageSize; ++i)
        page[i] = m_ds1996[(address + i) % kDs1996Size];
    ++m_counters.key_pages_read;
    send_page(at, page.data());
}

void CAdapterSim::tick(TimePoint now) {
    if (m_silent_until_cleared)
        return;
    if (m_armed && key_matches_mode() && now >= m_armed_at + m_config.key_delay) {
        const TimePoint due = m_armed_at + m_config.key_delay;
        // A programmed tag sends its number for as long as it lies in the field, so the adapter keeps
        // reporting it until the program gives another command; a card or button is reported once.
        m_armed = m_key.kind == KeyKind::Temic;
        m_armed_at = std::max(now, due);
        std::vector<uint8_t> frame;
        if (m_key.kind == KeyKind::Kf300) {
            frame = M6_Kf300Frame(m_key.fob);
        } else {
            std::array<uint8_t, kDallasIdBytes> rom = m_key.kind == KeyKind::Temic ? temic_rom() : m_key.rom;
            if (take_fault(Fault::BadKeyCrc)) {
                rom[7] ^= 0x5A;
                ++m_counters.answers_corrupted;
            }
            frame = M6_KeyIdFrame(rom);
        }
        ++m_counters.key_frames_out;
        emit(std::max(now, due), std::move(frame));
    }
    if (m_emu == Emu::ControllerReading || m_emu == Emu::ControllerWriting)
        emu_controller_step(now);
}

bool CAdapterSim::temic_programmed() const {
    return m_temic.blocks[0] != 0;
}

// A tag programmed as an Em-Marine card answers with the number its data blocks carry; the simulator takes
// the serial bytes straight from blocks 1 and 2 instead of decoding the card's bit stream.
std::array<uint8_t, kDallasIdBytes> CAdapterSim::temic_rom() const {
    std::array<uint8_t, kDallasIdBytes> rom{};
    rom[0] = kEmMarineMarker;
    for (size_t i = 0; i < 4; ++i)
        rom[1 + i] = static_cast<uint8_t>(m_temic.blocks[1] >> (8 * i));
    rom[5] = static_cast<uint8_t>(m_temic.blocks[2]);
    rom[6] = static_cast<uint8_t>(m_temic.blocks[2] >> 8);
    rom[7] = dallas_crc8(rom.data(), 7);
    return rom;
}

std::optional<TimePoint> CAdapterSim::next_deadline() const {
    std::optional<TimePoint> next;
    if (m_silent_until_cleared)
        return next;
    if (m_armed && key_matches_mode())
        next = m_armed_at + m_config.key_delay;
    if ((m_emu == Emu::ControllerReading || m_emu == Emu::ControllerWriting) && !m_emu_waiting)
        next = next ? std::min(*next, m_emu_next) : m_emu_next;
    return next;
}

} // namespace devsim
