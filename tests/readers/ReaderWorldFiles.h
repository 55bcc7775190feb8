// Mifare Classic cards in the simulated reader world's text format, as the kestrix-cards helper writes them:
// "uid <8 hex digits>", "size <1k|2k|4k>", then one "block <index> <32 hex digits>" line a block.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "readers/CMifareThread.h"

namespace reader_world {

using Bytes = std::vector<std::uint8_t>;

inline unsigned trailer_block(unsigned sector) {
    return CMifareThread::MfSectorFirstBlock(sector) + CMifareThread::MfSectorBlockCount(sector) - 1;
}

// A blank card as delivered: zero data blocks and transport trailers (key A all ones, access bits FF 07 80,
// `key_b`). `uid` is 8 hex digits as people read it; block 0 holds it least significant byte first.
inline std::vector<Bytes> blank_card_blocks(const std::string& uid, const std::string& size,
                                            const Bytes& key_b = Bytes(6, 0xFF)) {
    const unsigned memory = size == "4k" ? 4096 : size == "2k" ? 2048 : 1024;
    std::vector<Bytes> blocks(memory / 16, Bytes(16, 0));
    Bytes& maker = blocks[0];
    for (int i = 0; i < 4; ++i)
        maker[i] = static_cast<std::uint8_t>(std::stoul(uid.substr(6 - 2 * i, 2), nullptr, 16));
    maker[4] = maker[0] ^ maker[1] ^ maker[2] ^ maker[3];
    maker[5] = 0x08;
    maker[6] = 0x04;
    for (unsigned s = 0; s < CMifareThread::MfSectorCount(memory); ++s) {
        Bytes trailer(6, 0xFF);
        trailer.insert(trailer.end(), {0xFF, 0x07, 0x80, 0x69});
        trailer.insert(trailer.end(), key_b.begin(), key_b.end());
        blocks[trailer_block(s)] = trailer;
    }
    return blocks;
}

inline std::string card_text(const std::string& uid, const std::string& size,
                             const std::vector<Bytes>& blocks) {
    std::string text = "uid " + uid + "\nsize " + size + "\n";
    for (size_t b = 0; b < blocks.size(); ++b) {
        text += "block " + std::to_string(b) + " ";
        for (std::uint8_t byte : blocks[b]) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", byte);
            text += hex;
        }
        text += "\n";
    }
    return text;
}

inline std::string blank_card_text(const std::string& uid, const std::string& size = "1k") {
    return card_text(uid, size, blank_card_blocks(uid, size));
}

// Block `index` of a card file; empty when the file has no such block.
inline Bytes card_block(const std::filesystem::path& card_file, unsigned index) {
    std::istringstream lines(test::read_text(card_file));
    const std::string prefix = "block " + std::to_string(index) + " ";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        Bytes data;
        for (size_t i = prefix.size(); i + 1 < line.size(); i += 2)
            data.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        return data;
    }
    return {};
}

} // namespace reader_world
