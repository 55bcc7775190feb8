// Mifare Classic access conditions as the cards apply them: the three access bits of every block group, kept
// in trailer bytes 6-8 together with their complements, and what key A or key B may do under them.
#pragma once
#include <array>
#include <cstdint>
#include <optional>

namespace rdxworld {

// Access bits C1 C2 C3 of one block group, as the number C1*4 + C2*2 + C3 (0-7).
using access_bits = uint8_t;

// The access bits of a sector: groups 0-2 are the data blocks (on a 16-block sector each group is five
// blocks), group 3 is the trailer.
struct sector_access {
    std::array<access_bits, 4> groups{};
};

// Decodes trailer bytes 6-8; nothing when a bit and its complement do not match (a card given such a
// trailer locks the sector for good).
std::optional<sector_access> decode_access(const uint8_t* trailer_bytes_6_to_8);
// The three bytes (6-8) that encode the access bits with their complements.
std::array<uint8_t, 3> encode_access(const sector_access& access);

// What the key that opened the sector may do. key_b_readable: the trailer lets key B be read, and then key B
// grants nothing (it is plain data, not a key).
struct data_rights {
    bool read = false;
    bool write = false;
};
data_rights data_block_rights(access_bits bits, int key_type, bool key_b_readable);

struct trailer_rights {
    bool write_key_a = false;
    bool read_access = false;
    bool write_access = false;
    bool read_key_b = false;
    bool write_key_b = false;
};
trailer_rights trailer_block_rights(access_bits bits, int key_type, bool key_b_readable);

// Key B is readable (with key A) under trailer conditions 000, 010 and 001.
bool key_b_readable(access_bits trailer_bits);

} // namespace rdxworld
