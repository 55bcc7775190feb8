// A simulated Mifare Classic card: UID, size, every block, and the sector geometry the cards really have.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rdxworld {

enum class mf_size { mini, k1, k2, k4 };

class CMifareCard {
public:
    static constexpr size_t kBlockSize = 16;
    static constexpr size_t kKeySize = 6;
    static constexpr size_t kAccessOffset = 6;
    static constexpr size_t kKeyBOffset = 10;
    static constexpr size_t kMaxUidSize = 10;
    // Transport configuration as cards are delivered: keys A and B all FF, access bits FF 07 80, user
    // byte 69.
    static constexpr uint64_t kTransportKey = 0xFFFFFFFFFFFFull;
    static constexpr std::array<uint8_t, 4> kTransportAccess = {0xFF, 0x07, 0x80, 0x69};

    using block_t = std::array<uint8_t, kBlockSize>;

    // A blank card: manufacturer block from the UID, zero data blocks, transport trailers. uid holds 4 or 7
    // bytes in the order the card sends them (the library's least significant first).
    CMifareCard(mf_size size, std::vector<uint8_t> uid);

    // Parses the card file format; nothing when the text is malformed or its blocks do not fit the size.
    static std::optional<CMifareCard> parse(const std::string& text);
    std::string to_text() const;

    mf_size size() const { return m_size; }
    const std::vector<uint8_t>& uid() const { return m_uid; }
    // The UID as people read it (last byte first), also the card's file name.
    std::string uid_text() const;
    uint32_t memory_size() const { return memory_size(m_size); }
    static uint32_t memory_size(mf_size size);
    static std::optional<mf_size> parse_size(const std::string& text);
    static const char* size_name(mf_size size);

    uint32_t block_count() const { return memory_size() / kBlockSize; }
    uint32_t sector_count() const;
    static uint32_t sector_of_block(uint32_t block);
    static uint32_t first_block_of_sector(uint32_t sector);
    static uint32_t blocks_in_sector(uint32_t sector);
    static uint32_t trailer_of_sector(uint32_t sector) {
        return first_block_of_sector(sector) + blocks_in_sector(sector) - 1;
    }
    static bool is_trailer(uint32_t block) { return trailer_of_sector(sector_of_block(block)) == block; }

    const block_t& block(uint32_t index) const { return m_blocks.at(index); }
    block_t& block(uint32_t index) { return m_blocks.at(index); }
    // Key A (key_type 0) or key B (1) of a sector, key byte 0 in the least significant byte.
    uint64_t sector_key(uint32_t sector, int key_type) const;

    // The UID given as people read it (most significant first) into card order; 4 or 7 bytes only.
    static std::optional<std::vector<uint8_t>> parse_uid_text(const std::string& text);
    static std::string uid_to_text(const std::vector<uint8_t>& uid);

private:
    CMifareCard() = default;
    void write_manufacturer_block();

    mf_size m_size = mf_size::k1;
    std::vector<uint8_t> m_uid;
    std::vector<block_t> m_blocks;
};

} // namespace rdxworld
