// A simulated Mifare Classic card and its text file.
#include "sim/rdxworld/CMifareCard.h"

#include "sim/rdxworld/WorldFiles.h"

#include <algorithm>
#include <cstdlib>

namespace rdxworld {

namespace {

constexpr uint32_t kSmallSectorBlocks = 4;
constexpr uint32_t kLargeSectorBlocks = 16;
constexpr uint32_t kSmallSectors = 32;
constexpr uint32_t kLargeSectorStart = kSmallSectors * kSmallSectorBlocks; // block 128
// Manufacturer data after the UID: SAK and ATQA as the card type reports them, then a maker's filler.
constexpr uint8_t kSakMini = 0x09, kSak1k = 0x08, kSak2k = 0x19, kSak4k = 0x18;

uint8_t sak_of(mf_size size) {
    switch (size) {
    case mf_size::mini:
        return kSakMini;
    case mf_size::k1:
        return kSak1k;
    case mf_size::k2:
        return kSak2k;
    case mf_size::k4:
        return kSak4k;
    }
    return kSak1k;
}

} // namespace

CMifareCard::CMifareCard(mf_size size, std::vector<uint8_t> uid) : m_size(size), m_uid(std::move(uid)) {
    m_blocks.assign(block_count(), block_t{});
    write_manufacturer_block();
    for (uint32_t s = 0; s < sector_count(); ++s) {
        block_t& t = m_blocks[trailer_of_sector(s)];
        std::fill(t.begin(), t.end(), 0xFF);
        std::copy(kTransportAccess.begin(), kTransportAccess.end(), t.begin() + kAccessOffset);
    }
}

void CMifareCard::write_manufacturer_block() {
    block_t& b = m_blocks[0];
    b.fill(0);
    std::copy(m_uid.begin(), m_uid.end(), b.begin());
    size_t pos = m_uid.size();
    if (m_uid.size() == 4) {
        b[pos++] = static_cast<uint8_t>(m_uid[0] ^ m_uid[1] ^ m_uid[2] ^ m_uid[3]); // BCC
    }
    b[pos++] = sak_of(m_size);
    b[pos++] = m_size == mf_size::k4 || m_size == mf_size::k2 ? 0x02 : 0x04; // ATQA, low byte first
    b[pos++] = 0x00;
    for (; pos < kBlockSize; ++pos)
        b[pos] = static_cast<uint8_t>(0x60 + pos);
}

uint32_t CMifareCard::memory_size(mf_size size) {
    switch (size) {
    case mf_size::mini:
        return 320;
    case mf_size::k1:
        return 1024;
    case mf_size::k2:
        return 2048;
    case mf_size::k4:
        return 4096;
    }
    return 1024;
}

std::optional<mf_size> CMifareCard::parse_size(const std::string& text) {
    if (text == "mini")
        return mf_size::mini;
    if (text == "1k" || text == "1K")
        return mf_size::k1;
    if (text == "2k" || text == "2K")
        return mf_size::k2;
    if (text == "4k" || text == "4K")
        return mf_size::k4;
    return std::nullopt;
}

const char* CMifareCard::size_name(mf_size size) {
    switch (size) {
    case mf_size::mini:
        return "mini";
    case mf_size::k1:
        return "1k";
    case mf_size::k2:
        return "2k";
    case mf_size::k4:
        return "4k";
    }
    return "1k";
}

uint32_t CMifareCard::sector_count() const {
    const uint32_t blocks = block_count();
    return blocks < kLargeSectorStart ? memory_size() / 64 : memory_size() / 256 + 24;
}

uint32_t CMifareCard::sector_of_block(uint32_t block) {
    return block < kLargeSectorStart ? block / kSmallSectorBlocks
                                     : kSmallSectors + (block - kLargeSectorStart) / kLargeSectorBlocks;
}

uint32_t CMifareCard::first_block_of_sector(uint32_t sector) {
    return sector < kSmallSectors ? sector * kSmallSectorBlocks
                                  : kLargeSectorStart + (sector - kSmallSectors) * kLargeSectorBlocks;
}

uint32_t CMifareCard::blocks_in_sector(uint32_t sector) {
    return sector < kSmallSectors ? kSmallSectorBlocks : kLargeSectorBlocks;
}

uint64_t CMifareCard::sector_key(uint32_t sector, int key_type) const {
    const block_t& t = m_blocks.at(trailer_of_sector(sector));
    const size_t offset = key_type == 0 ? 0 : kKeyBOffset;
    uint64_t key = 0;
    for (size_t i = 0; i < kKeySize; ++i)
        key |= static_cast<uint64_t>(t[offset + i]) << (8 * i);
    return key;
}

std::string CMifareCard::uid_to_text(const std::vector<uint8_t>& uid) {
    std::vector<uint8_t> shown(uid.rbegin(), uid.rend());
    return to_hex(shown.data(), shown.size());
}

std::string CMifareCard::uid_text() const {
    return uid_to_text(m_uid);
}

std::optional<std::vector<uint8_t>> CMifareCard::parse_uid_text(const std::string& text) {
    auto bytes = parse_hex(text);
    if (!bytes || (bytes->size() != 4 && bytes->size() != 7))
        return std::nullopt;
    std::reverse(bytes->begin(), bytes->end());
    return bytes;
}

std::string CMifareCard::to_text() const {
    std::string text = "# Mifare Classic card of the simulated reader world\n";
    text += "uid " + uid_text() + "\n";
    text += std::string("size ") + size_name(m_size) + "\n";
    for (uint32_t i = 0; i < m_blocks.size(); ++i)
        text += "block " + std::to_string(i) + " " + to_hex(m_blocks[i].data(), kBlockSize) + "\n";
    return text;
}

std::optional<CMifareCard> CMifareCard::parse(const std::string& text) {
    CMifareCard card;
    std::optional<mf_size> size;
    std::vector<std::pair<uint32_t, block_t>> blocks;
    for (const std::string& line : split_lines(text)) {
        std::vector<std::string> w = split_words(line);
        if (w.empty() || w[0][0] == '#')
            continue;
        if (w[0] == "uid" && w.size() == 2) {
            auto uid = parse_uid_text(w[1]);
            if (!uid)
                return std::nullopt;
            card.m_uid = *uid;
        } else if (w[0] == "size" && w.size() == 2) {
            size = parse_size(w[1]);
            if (!size)
                return std::nullopt;
        } else if (w[0] == "block" && w.size() == 3) {
            char* end = nullptr;
            unsigned long index = std::strtoul(w[1].c_str(), &end, 10);
            auto data = parse_hex(w[2]);
            if (*end != '\0' || !data || data->size() != kBlockSize || index >= 256)
                return std::nullopt;
            block_t b;
            std::copy(data->begin(), data->end(), b.begin());
            blocks.emplace_back(static_cast<uint32_t>(index), b);
        } else {
            return std::nullopt;
        }
    }
    if (!size || card.m_uid.empty())
        return std::nullopt;
    card.m_size = *size;
    card.m_blocks.assign(card.block_count(), block_t{});
    std::vector<bool> seen(card.block_count(), false);
    for (const auto& [index, b] : blocks) {
        if (index >= card.block_count() || seen[index])
            return std::nullopt;
        seen[index] = true;
        card.m_blocks[index] = b;
    }
    if (std::find(seen.begin(), seen.end(), false) != seen.end())
        return std::nullopt; // every block must be there: a partial card is a damaged file
    return card;
}

} // namespace rdxworld
