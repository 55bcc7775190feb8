// Bytes waiting to go out on one serial line, each with the time its last bit leaves the wire: with pacing,
// bytes follow each other at the line's byte time; without it they are due when the adapter produced them.
// A back-to-back run of bytes is handed out when its last byte is due.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "sim/devsim/DevsimTypes.h"

namespace devsim {

class COutQueue {
public:
    // Queues n bytes produced at `at` and sent at `baud`; a byte time of zero turns pacing off.
    void push(TimePoint at, const uint8_t* data, size_t n, std::chrono::nanoseconds byte_time,
              uint32_t baud = kM6Baud);
    // Moves every byte due at `now` to the end of `out`, as a receiver at `read_baud` takes them: bytes
    // sent at another rate arrive garbled (0: as sent).
    void take_due(TimePoint now, std::vector<uint8_t>& out, uint32_t read_baud = 0);
    std::optional<TimePoint> next_due() const;
    bool empty() const { return m_bytes.empty(); }
    void clear();

private:
    struct Byte {
        TimePoint due;
        uint8_t value;
        uint32_t baud;
    };
    std::deque<Byte> m_bytes;
    TimePoint m_line_free{}; // when the transmitter finishes the last queued byte
    std::chrono::nanoseconds m_byte_time{0};
};

// The time one byte takes on a line at `baud` with the line's framing.
std::chrono::nanoseconds byte_time(const LineSettings& line);

} // namespace devsim
