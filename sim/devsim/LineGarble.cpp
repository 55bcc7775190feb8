// A UART receiving at the wrong rate: the sent bytes become a bit stream, the receiver samples it.
#include "sim/devsim/LineGarble.h"

namespace devsim {

namespace {
constexpr unsigned kTolerancePercent = 2;
constexpr unsigned kBitsPerChar = 10; // start, 8 data bits, stop

// Line level at sender bit index `bit` (1 = idle/mark).
int level_at(const uint8_t* data, size_t n, size_t bit) {
    const size_t byte = bit / kBitsPerChar;
    if (byte >= n)
        return 1;
    const size_t pos = bit % kBitsPerChar;
    if (pos == 0)
        return 0;
    if (pos == kBitsPerChar - 1)
        return 1;
    return (data[byte] >> (pos - 1)) & 1;
}
} // namespace

bool same_rate(uint32_t sent_baud, uint32_t read_baud) {
    const uint32_t diff = sent_baud > read_baud ? sent_baud - read_baud : read_baud - sent_baud;
    return diff * 100 <= read_baud * kTolerancePercent;
}

std::vector<uint8_t> resample_bytes(const uint8_t* data, size_t n, uint32_t sent_baud, uint32_t read_baud) {
    std::vector<uint8_t> out;
    if (n == 0 || sent_baud == 0 || read_baud == 0)
        return out;
    // One receiver bit in sender bits; sender bits are the resolution of the stream.
    const double ratio = static_cast<double>(sent_baud) / read_baud;
    const size_t total = n * kBitsPerChar;
    size_t bit = 0;
    while (bit < total) {
        if (level_at(data, n, bit) != 0) {
            ++bit;
            continue;
        }
        // A start bit: the data bits are sampled in the middle of each receiver bit.
        uint8_t value = 0;
        for (int i = 0; i < 8; ++i) {
            const auto at = static_cast<size_t>(bit + ratio * (1.5 + i));
            value = static_cast<uint8_t>(value | (level_at(data, n, at) << i));
        }
        out.push_back(value);
        const auto next = static_cast<size_t>(bit + ratio * (kBitsPerChar - 0.5));
        bit = next > bit ? next + 1 : bit + 1;
    }
    return out;
}

} // namespace devsim
