// Mifare Classic access conditions, from the card makers' tables for data blocks and sector trailers.
#include "sim/rdxworld/MifareAccess.h"

namespace rdxworld {

namespace {

constexpr int kKeyA = 0;
constexpr unsigned kGroups = 4;

// Access bits are written C1 C2 C3: value 4 is C1, 2 is C2, 1 is C3.
constexpr access_bits kC1 = 4, kC2 = 2, kC3 = 1;

} // namespace

std::optional<sector_access> decode_access(const uint8_t* b) {
    // Byte 6: ~C2 (high nibble) ~C1 (low); byte 7: C1 (high) ~C3 (low); byte 8: C3 (high) C2 (low). Bit n of
    // each nibble belongs to group n.
    const unsigned c1 = b[1] >> 4, c2 = b[2] & 0x0F, c3 = b[2] >> 4;
    const unsigned not_c1 = b[0] & 0x0F, not_c2 = b[0] >> 4, not_c3 = b[1] & 0x0F;
    if ((c1 ^ not_c1) != 0x0F || (c2 ^ not_c2) != 0x0F || (c3 ^ not_c3) != 0x0F)
        return std::nullopt;
    sector_access access;
    for (unsigned g = 0; g < kGroups; ++g)
        access.groups[g] = static_cast<access_bits>(
            (((c1 >> g) & 1) ? kC1 : 0) | (((c2 >> g) & 1) ? kC2 : 0) | (((c3 >> g) & 1) ? kC3 : 0));
    return access;
}

std::array<uint8_t, 3> encode_access(const sector_access& access) {
    unsigned c1 = 0, c2 = 0, c3 = 0;
    for (unsigned g = 0; g < kGroups; ++g) {
        c1 |= ((access.groups[g] & kC1) ? 1u : 0u) << g;
        c2 |= ((access.groups[g] & kC2) ? 1u : 0u) << g;
        c3 |= ((access.groups[g] & kC3) ? 1u : 0u) << g;
    }
    return {static_cast<uint8_t>(((~c2 & 0x0F) << 4) | (~c1 & 0x0F)),
            static_cast<uint8_t>((c1 << 4) | (~c3 & 0x0F)), static_cast<uint8_t>((c3 << 4) | c2)};
}

bool key_b_readable(access_bits trailer_bits) {
    return trailer_bits == 0 || trailer_bits == kC2 || trailer_bits == kC3;
}

data_rights data_block_rights(access_bits bits, int key_type, bool b_readable) {
    if (key_type != kKeyA && b_readable)
        return {};
    const bool a = key_type == kKeyA;
    switch (bits) {
    case 0: // 000: transport configuration
        return {true, true};
    case kC2: // 010: read only
    case kC3: // 001: value block, decrement only
        return {true, false};
    case kC1:       // 100
    case kC1 | kC2: // 110: value block
        return {true, !a};
    case kC2 | kC3: // 011
        return {!a, !a};
    case kC1 | kC3: // 101
        return {!a, false};
    default: // 111
        return {};
    }
}

trailer_rights trailer_block_rights(access_bits bits, int key_type, bool b_readable) {
    if (key_type != kKeyA && b_readable)
        return {};
    const bool a = key_type == kKeyA;
    trailer_rights r;
    switch (bits) {
    case 0: // 000
        r = {a, a, false, a, a};
        break;
    case kC2: // 010
        r = {false, a, false, a, false};
        break;
    case kC1: // 100
        r = {!a, true, false, false, !a};
        break;
    case kC1 | kC2: // 110
        r = {false, true, false, false, false};
        break;
    case kC3: // 001: transport configuration
        r = {a, a, a, a, a};
        break;
    case kC2 | kC3: // 011
        r = {!a, true, !a, false, !a};
        break;
    case kC1 | kC3: // 101
        r = {false, true, !a, false, false};
        break;
    default: // 111
        r = {false, true, false, false, false};
        break;
    }
    return r;
}

} // namespace rdxworld
