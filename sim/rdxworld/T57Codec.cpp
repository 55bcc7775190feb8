// T5557 block contents for Em-Marine and HID Prox clones.
#include "sim/rdxworld/T57Codec.h"

#include <vector>

namespace rdxworld {

namespace {

constexpr int kEmHeaderOnes = 9;
constexpr int kEmRows = 10;
constexpr int kEmFrameBits = 64;
constexpr int kHidPayloadBits = 44;
constexpr int kHidFrameBits = 96;
constexpr int kHidLengthMarker = 37; // "format 26 bits" marker bit of the 44-bit HID payload
constexpr int kHidSentinel = 26;     // start bit in front of the Wiegand frame

using bits_t = std::vector<uint8_t>;

void push_bits(bits_t& bits, uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i)
        bits.push_back(static_cast<uint8_t>((value >> i) & 1));
}

uint32_t take_block(const bits_t& bits, size_t first) {
    uint32_t block = 0;
    for (size_t i = 0; i < 32; ++i)
        block = (block << 1) | bits.at(first + i);
    return block;
}

bits_t blocks_to_bits(std::initializer_list<uint32_t> blocks) {
    bits_t bits;
    for (uint32_t b : blocks)
        push_bits(bits, b, 32);
    return bits;
}

int parity(uint32_t v) {
    return __builtin_popcount(v) & 1;
}

} // namespace

uint32_t T57_BlockToWord(uint32_t block) {
    return __builtin_bswap32(block);
}

uint32_t T57_WordToBlock(uint32_t word) {
    return __builtin_bswap32(word);
}

std::array<uint32_t, 3> T57_EmMarineBlocks(uint64_t number) {
    bits_t bits;
    push_bits(bits, 0x1FF, kEmHeaderOnes);
    uint32_t columns = 0;
    for (int row = 0; row < kEmRows; ++row) {
        const uint32_t nibble = static_cast<uint32_t>(number >> (4 * (kEmRows - 1 - row))) & 0x0F;
        push_bits(bits, nibble, 4);
        bits.push_back(static_cast<uint8_t>(parity(nibble)));
        columns ^= nibble;
    }
    push_bits(bits, columns, 4);
    bits.push_back(0); // stop bit
    return {kT57EmMarineConfig, take_block(bits, 0), take_block(bits, 32)};
}

uint32_t T57_H10301Frame(uint32_t number) {
    number &= kT57HidMax;
    const uint32_t even = static_cast<uint32_t>(parity(number >> 12));      // over the first 12 data bits
    const uint32_t odd = static_cast<uint32_t>(parity(number & 0xFFF) ^ 1); // over the last 12
    return (even << 25) | (number << 1) | odd;
}

std::array<uint32_t, 4> T57_HidBlocks(uint32_t number) {
    const uint64_t payload =
        (1ull << kHidLengthMarker) | (1ull << kHidSentinel) | static_cast<uint64_t>(T57_H10301Frame(number));
    bits_t bits;
    push_bits(bits, kT57HidPreamble, 8);
    // Each payload bit goes out as a pair: 1 as "10", 0 as "01", so the FSK stream never stays level for
    // long.
    for (int i = kHidPayloadBits - 1; i >= 0; --i) {
        const bool one = (payload >> i) & 1;
        bits.push_back(one ? 1 : 0);
        bits.push_back(one ? 0 : 1);
    }
    return {kT57HidConfig, take_block(bits, 0), take_block(bits, 32), take_block(bits, 64)};
}

std::optional<uint64_t> T57_DecodeEmMarine(uint32_t block1, uint32_t block2) {
    const bits_t bits = blocks_to_bits({block1, block2});
    for (int i = 0; i < kEmHeaderOnes; ++i)
        if (!bits[static_cast<size_t>(i)])
            return std::nullopt;
    uint64_t number = 0;
    uint32_t columns = 0;
    size_t pos = kEmHeaderOnes;
    for (int row = 0; row < kEmRows; ++row) {
        uint32_t nibble = 0;
        for (int i = 0; i < 4; ++i)
            nibble = (nibble << 1) | bits[pos++];
        if (static_cast<int>(bits[pos++]) != parity(nibble))
            return std::nullopt;
        columns ^= nibble;
        number = (number << 4) | nibble;
    }
    uint32_t column_bits = 0;
    for (int i = 0; i < 4; ++i)
        column_bits = (column_bits << 1) | bits[pos++];
    if (column_bits != columns || bits[pos] != 0 || pos + 1 != kEmFrameBits)
        return std::nullopt;
    return number;
}

std::optional<uint32_t> T57_DecodeHid(uint32_t block1, uint32_t block2, uint32_t block3) {
    const bits_t bits = blocks_to_bits({block1, block2, block3});
    if ((block1 >> 24) != kT57HidPreamble)
        return std::nullopt;
    uint64_t payload = 0;
    for (size_t i = 8; i < kHidFrameBits; i += 2) {
        if (bits[i] == bits[i + 1])
            return std::nullopt;
        payload = (payload << 1) | bits[i];
    }
    const uint64_t header = payload >> 26;
    if (header != ((1ull << (kHidLengthMarker - kHidSentinel)) | 1))
        return std::nullopt;
    const uint32_t frame = static_cast<uint32_t>(payload & 0x3FFFFFF);
    const uint32_t number = (frame >> 1) & kT57HidMax;
    if (T57_H10301Frame(number) != frame)
        return std::nullopt;
    return number;
}

} // namespace rdxworld
