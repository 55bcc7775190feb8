// T5557 block contents that make a Temic tag answer like an Em-Marine (EM4100) card or a 26-bit HID Prox
// (H10301) card, and the way back from block contents to the number.
//
// Block values carry the tag's bits first bit first (bit 31 is sent first). The reader library hands blocks
// to its callers as "words" whose bytes in memory are the block's bytes in sending order, i.e. the
// byte-swapped block value on this little-endian platform (configuration block 00 08 80 48 is the word
// 0x48800800).
#pragma once
#include <array>
#include <cstdint>
#include <optional>

namespace rdxworld {

// Configuration blocks: data rate RF/64, Manchester, blocks 1-2 sent (Em-Marine); RF/50, FSK2a, blocks 1-3
// sent (HID); and the first configuration written before a HID clone's data blocks.
constexpr uint32_t kT57EmMarineConfig = 0x00148040;
constexpr uint32_t kT57HidConfig = 0x00107060;
constexpr uint32_t kT57HidFirstConfig = 0x00088048;
constexpr uint64_t kT57EmMarineMax = 0xFFFFFFFFFFull; // 40 data bits
constexpr uint32_t kT57HidMax = 0xFFFFFF;             // 8-bit facility, 16-bit card number
constexpr uint8_t kT57HidPreamble = 0x1D;

uint32_t T57_BlockToWord(uint32_t block);
uint32_t T57_WordToBlock(uint32_t word);

// Blocks 0-2 for a 40-bit Em-Marine number (version/customer byte in bits 32-39).
std::array<uint32_t, 3> T57_EmMarineBlocks(uint64_t number);
// Blocks 0-3 for a 24-bit H10301 number (facility in bits 16-23, card number in bits 0-15).
std::array<uint32_t, 4> T57_HidBlocks(uint32_t number);
// The 26-bit Wiegand frame: even parity, 24 data bits, odd parity (first bit in bit 25).
uint32_t T57_H10301Frame(uint32_t number);

// The number behind data blocks 1-2 (Em-Marine) or 1-3 (HID); nothing when header or a parity does not fit.
std::optional<uint64_t> T57_DecodeEmMarine(uint32_t block1, uint32_t block2);
std::optional<uint32_t> T57_DecodeHid(uint32_t block1, uint32_t block2, uint32_t block3);

} // namespace rdxworld
