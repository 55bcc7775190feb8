// Plain data shared by the simulator's parts: time, serial-line settings, what lies on the adapter's reader,
// the Temic tag, faults to inject and the counters tests read.
#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/devsim/M6Wire.h"

namespace devsim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using std::chrono::milliseconds;

// The serial line as the program configured it (termios of the pseudo-terminal, or the RFC 2217 commands
// the converter received).
struct LineSettings {
    uint32_t baud = 38400;
    bool two_stop_bits = false;
    bool parity = false;
    bool dtr = true;
    bool rts = false;
    // Start bit, 8 data bits, optional parity, one or two stop bits.
    unsigned bits_per_byte() const { return 1 + 8 + (parity ? 1 : 0) + (two_stop_bits ? 2 : 1); }
};

constexpr uint32_t kM6Baud = 38400;
constexpr uint32_t kAsciiBaud = 9600;

// Bytes taken from the program's link (pseudo-terminal or TCP) by one read call.
constexpr size_t kLinkReadChunk = 4096;

// What the adapter's reader holds. One key at a time, as on the real reader.
enum class KeyKind { None, Dallas, Ds1996, EmMarine, Kf300, Temic };

struct ReaderKey {
    KeyKind kind = KeyKind::None;
    std::array<uint8_t, kDallasIdBytes> rom{}; // K0..K7: Dallas, DS1996L and Em-Marine keys
    std::array<uint8_t, kKf300Bytes> fob{};    // B1..B5 of a KF-300 frame
};

// Scan modes selected by 0x11, 0x12 and 0x1A.
enum class ScanMode { Dallas, EmMarine, Kf300 };

// Faults injected on the next exchanges; a count of 0 for silence means until cleared.
enum class Fault {
    LostAck,      // the next n acknowledgements (0xAA/0xAB) are not sent
    BadChecksum,  // the next n page answers carry a wrong checksum
    BadKeyCrc,    // the next n key frames carry a wrong Dallas CRC
    Silence,      // the next n frames (0 = all, until cleared) get no answer at all
    TemicNoWrite, // the next n Temic block writes answer "no write"
    NoCard,       // the next n ASCII answers are preceded by a "No card" line
    Vanish,       // the port disappears until the fault is cleared (handled by the world)
};

// One Temic block write as the adapter received it on a "t57" line.
struct TemicWrite {
    int line_code = 0; // 1..4
    uint8_t block = 0;
    uint32_t word = 0; // D0 is the least significant byte
    uint8_t mode = 0;
    uint8_t option = 0;
    bool has_password = false;
    uint32_t password = 0;
};

struct TemicTag {
    std::array<uint32_t, 8> blocks{};
    std::vector<TemicWrite> writes;
    int resets = 0;
};

struct Counters {
    uint64_t bytes_in = 0, bytes_out = 0;
    uint64_t frames_in = 0, wakes = 0, acks_out = 0, errors_out = 0;
    uint64_t bad_checksums_in = 0, unknown_bytes = 0, garbled_bytes = 0, partial_frames_dropped = 0;
    uint64_t ctrl_pages_read = 0, ctrl_pages_written = 0, key_pages_read = 0, key_pages_written = 0;
    uint64_t no_controller_answers = 0, key_frames_out = 0;
    uint64_t emu_starts = 0, emu_pages_served = 0, emu_pages_stored = 0, emu_dallas = 0, line_offs = 0;
    uint64_t ascii_lines = 0, temic_writes = 0;
    uint64_t acks_dropped = 0, answers_corrupted = 0, frames_ignored = 0;
    uint64_t connections = 0, adapter_restarts = 0;
};

struct AdapterConfig {
    int model = 4; // as the reader library reports it; 4 also writes Temic tags
    int serial = 16001;
    unsigned firmware = 0x0213;
    uint8_t power_answer = kAnsAck;          // 0xAB: the adapter reports low power on the key line
    milliseconds key_delay{20};              // from the start command to the key frame
    milliseconds emu_delay{20};              // from the emulation start to the controller's first request
    milliseconds partial_frame_timeout{100}; // an unfinished frame is dropped after this pause
    bool strict_baud = true;                 // bytes at a rate the adapter does not speak are garbled
};

} // namespace devsim
