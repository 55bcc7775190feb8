// Key lists as a Q-4T controller keeps them in memory (Q4 layout for 4 and 8 KB, Q6 for 16 and 32 KB): the
// simulated controller builds its demonstration image with these and converts its base when it talks to an
// emulated DS1996L, which always carries the Q4 layout.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace devsim {

// Memory types of the controller, by the code it keeps at byte 5 of page 0.
struct MemType {
    int type;        // 1..4
    uint8_t code;    // byte 5 of page 0
    size_t size;     // bytes
    size_t capacity; // keys
};
constexpr std::array<MemType, 4> kMemTypes{
    {{1, 0x05, 4096, 680}, {2, 0x15, 8192, 1363}, {3, 0x3A, 16384, 2728}, {4, 0x7A, 32768, 5459}}};
constexpr size_t kMemCodeOffset = 5;
constexpr size_t kMaxMemSize = 32768;
constexpr uint16_t kDefaultLockCode = 46; // about 3 s
constexpr uint8_t kFormatComplete = 0x33;
constexpr uint8_t kFormatIncomplete = 0x34;

// A memory type by its number (1..4) or by its code; nullptr when there is none.
const MemType* mem_type_by_number(int type);
const MemType* mem_type_by_code(uint8_t code);
inline bool is_q6(int type) {
    return type == 3 || type == 4;
}

// One key of a controller list; attributes as the program numbers them (1 Normal, 2 Blocking, 3 Master,
// 4 Inactive).
struct SimKey {
    std::array<uint8_t, 6> number{}; // least significant first
    bool short_key = false;          // 3-byte number
    int attr = 1;
    bool operator==(const SimKey&) const = default;
};

// Writes the list into `image` (already sized to the memory and holding page 0), the way the controller
// stores it, and returns the number of bytes used.
size_t Image_BuildQ4(const std::vector<SimKey>& keys, uint16_t lock_code, std::vector<uint8_t>& image,
                     int type);
// With xor0 the Q6 index byte holds the XOR of the key's number bytes (1-3 for a short key, all six for a
// full one) instead of its first byte: the controller's Xor0 firmware.
size_t Image_BuildQ6(const std::vector<SimKey>& keys, uint16_t lock_code, std::vector<uint8_t>& image,
                     int type, bool xor0 = false);
// A freshly cleared memory of the given type: an empty list and the default lock time.
std::vector<uint8_t> Image_Empty(int type);
// The list held in an image; stops at the end record or at the end of the data.
std::vector<SimKey> Image_DecodeQ4(const std::vector<uint8_t>& image);
std::vector<SimKey> Image_DecodeQ6(const std::vector<uint8_t>& image, int type, bool xor0 = false);
// Length of the Q4 list data up to and including the end record, or 0 when no end record is present.
size_t Image_Q4Length(const std::vector<uint8_t>& image);
uint16_t Image_LockCode(const std::vector<uint8_t>& image);

} // namespace devsim
