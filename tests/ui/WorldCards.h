// Blank Mifare Classic cards in the simulated reader world's text format, as the kestrix-cards helper
// writes them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "readers/CMifareThread.h"

// A blank card as delivered (zero data blocks, transport trailers); uid is 8 hex digits as people read it,
// size "1k" or "4k".
inline std::string blank_card_text(const std::string& uid, const char* size = "1k") {
    using Bytes = std::vector<std::uint8_t>;
    const auto trailer_block = [](unsigned sector) {
        return CMifareThread::MfSectorFirstBlock(sector) + CMifareThread::MfSectorBlockCount(sector) - 1;
    };
    const unsigned memory = std::string(size) == "4k" ? 4096 : 1024;
    const unsigned sectors = CMifareThread::MfSectorCount(memory);
    std::vector<Bytes> blocks(memory / 16, Bytes(16, 0));
    Bytes& maker = blocks[0];
    for (int i = 0; i < 4; ++i)
        maker[i] = static_cast<std::uint8_t>(std::stoul(uid.substr(6 - 2 * i, 2), nullptr, 16));
    maker[4] = maker[0] ^ maker[1] ^ maker[2] ^ maker[3];
    maker[5] = 0x08;
    maker[6] = 0x04;
    for (unsigned s = 0; s < sectors; ++s) {
        Bytes trailer(6, 0xFF);
        trailer.insert(trailer.end(), {0xFF, 0x07, 0x80, 0x69});
        trailer.insert(trailer.end(), 6, 0xFF);
        blocks[trailer_block(s)] = trailer;
    }
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
