// What a UART set to one baud rate makes of bytes sent at another: the receiver takes any falling edge for
// a start bit and samples the line at its own bit time, so the bytes it delivers are noise of a different
// count. This is what a program reads when the adapter's bytes are still on the wire while the program
// changes the line's rate.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace devsim {

// True when a receiver at `read_baud` takes bytes sent at `sent_baud` correctly (within 2 %).
bool same_rate(uint32_t sent_baud, uint32_t read_baud);

// The bytes a receiver at `read_baud` delivers for n bytes sent back to back at `sent_baud` (8N1 framing,
// idle line before and after).
std::vector<uint8_t> resample_bytes(const uint8_t* data, size_t n, uint32_t sent_baud, uint32_t read_baud);

} // namespace devsim
