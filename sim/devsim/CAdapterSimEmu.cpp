// The adapter's emulation bytes and the controller's side of an emulated DS1996L: a controller reads a
// complete base (byte 0 = 0x33) page by page and takes it, or writes its own base onto a prepared key (byte 0
// = 0x01).
#include <algorithm>

#include "sim/devsim/CAdapterSim.h"

namespace devsim {

namespace {
constexpr uint8_t kPreparedKey = 0x01;

std::vector<uint8_t> address_bytes(uint8_t code, uint32_t address) {
    return {code, static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)};
}

// True when the Q4 list in the first `received` bytes already ends.
bool q4_end_within(const std::vector<uint8_t>& image, size_t received) {
    const size_t used = Image_Q4Length(image);
    return used != 0 && used <= received;
}
} // namespace

void CAdapterSim::on_emulation(TimePoint at) {
    const uint8_t* data = m_frame.data() + 1;
    switch (m_frame[0]) {
    case kEmuLineOff:
        m_key_line_on = false;
        ++m_counters.line_offs;
        break;
    case kEmuLineOn:
        m_key_line_on = true;
        break;
    case kEmuStartDs1996:
        ++m_counters.emu_starts;
        m_emu_image.assign(kDs1996Size, 0xFF);
        std::copy_n(data, kPageSize, m_emu_image.begin());
        m_emu_waiting = false;
        m_emu_stray_asked = false;
        m_emu_next = at + m_config.emu_delay;
        m_emu = Emu::Idle;
        if (m_controller.present() && data[0] == kFormatComplete) {
            m_emu = Emu::ControllerReading;
            m_emu_address = kPageSize;
        } else if (m_controller.present() && data[0] == kPreparedKey) {
            m_emu = Emu::ControllerWriting;
        }
        break;
    case kEmuPageAnswer:
        if (m_emu != Emu::ControllerReading || !m_emu_waiting)
            break;
        if (m_emu_stray_asked) {
            m_emu_stray_asked = false; // the answer to a stray address is only seen on the wire
        } else {
            std::copy_n(data, kPageSize, m_emu_image.begin() + m_emu_address);
            ++m_counters.emu_pages_served;
            m_emu_address += kPageSize;
        }
        m_emu_waiting = false;
        m_emu_next = at;
        break;
    case kEmuEnd:
        m_emu = Emu::Off;
        m_emu_waiting = false;
        break;
    case kEmuDallas:
        std::copy_n(data, kDallasIdBytes, m_emu_dallas.begin());
        ++m_counters.emu_dallas;
        m_emu = Emu::Dallas;
        break;
    }
}

void CAdapterSim::emu_controller_step(TimePoint now) {
    if (m_emu_waiting || now < m_emu_next)
        return;
    if (m_emu == Emu::ControllerWriting) {
        emu_controller_writes(m_emu_next);
        return;
    }
    if (m_emu_stray) {
        emit(m_emu_next, address_bytes(kEmuPageRequest, *m_emu_stray));
        m_emu_stray.reset();
        m_emu_stray_asked = true;
        m_emu_waiting = true;
        return;
    }
    if (q4_end_within(m_emu_image, m_emu_address) || m_emu_address >= kDs1996Size) {
        emit(m_emu_next, address_bytes(kEmuPageRequest, 0)); // address 0: the controller has its base
        m_controller.take_base_from_q4(m_emu_image);
        m_emu = Emu::Idle;
        return;
    }
    emit(m_emu_next, address_bytes(kEmuPageRequest, m_emu_address));
    m_emu_waiting = true;
}

void CAdapterSim::emu_controller_writes(TimePoint at) {
    std::vector<uint8_t> base = m_controller.base_as_q4();
    const size_t used = std::max(Image_Q4Length(base), kPageSize);
    const size_t pages = (used + kPageSize - 1) / kPageSize;
    // Page 0 goes first marked incomplete and last marked complete, so the key shows an interrupted write.
    auto send = [&](uint32_t address, uint8_t format) {
        std::vector<uint8_t> frame = address_bytes(kEmuPageWritten, address);
        const auto page = base.begin() + address;
        frame.insert(frame.end(), page, page + kPageSize);
        if (address == 0)
            frame[3] = format;
        std::copy_n(frame.begin() + 3, kPageSize, m_emu_image.begin() + address);
        ++m_counters.emu_pages_stored;
        emit(at, std::move(frame));
    };
    send(0, kFormatIncomplete);
    for (size_t page = 1; page < pages; ++page)
        send(static_cast<uint32_t>(page * kPageSize), 0);
    if (m_emu_stray) {
        std::vector<uint8_t> frame = address_bytes(kEmuPageWritten, *m_emu_stray);
        frame.insert(frame.end(), kPageSize, kStrayFill);
        emit(at, std::move(frame));
        m_emu_stray.reset();
    }
    send(0, kFormatComplete);
    m_emu = Emu::Idle;
}

} // namespace devsim
