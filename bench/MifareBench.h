// The simulated reader world both Mifare benchmarks use: a full key list (1,363 keys) carried over twelve
// blank 1K cards, laid one after the other on a reader of the stand-in reader library.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "keys/CCardUID.h"

namespace mifare_bench {

constexpr unsigned kCards = 12;
constexpr unsigned kKeys = 1363;

// Every change replaces the whole file, as the library expects from other processes.
inline void write_file(const std::filesystem::path& path, const std::string& text) {
    const auto tmp = path.string() + ".tmp.bench";
    std::ofstream(tmp) << text;
    std::filesystem::rename(tmp, path);
}

// Key i of the list: distinct full numbers.
inline CCardUID key_number(unsigned i) {
    return CCardUID(uint64_t{0x0C0000000000} + uint64_t{i} * 7919u, 6);
}

// Lays `uid` on the reader ("" takes the card away).
inline void put_card(const std::filesystem::path& world, const std::string& reader, const std::string& uid) {
    write_file(world / "readers" / reader, "card " + (uid.empty() ? std::string("-") : uid) + "\n");
}

// A fresh set of blank 1K cards (zero data, transport trailers) in the world's card file format; `tag` and
// `round` keep the uids of every round apart.
inline std::vector<std::string> make_blank_cards(const std::filesystem::path& world, char tag,
                                                 unsigned round) {
    std::vector<std::string> cards;
    for (unsigned i = 0; i < kCards; ++i) {
        char uid[16];
        std::snprintf(uid, sizeof uid, "%c%03X%04X", tag, round, i);
        std::string text = std::string("uid ") + uid + "\nsize 1k\n";
        for (unsigned block = 0; block < 64; ++block)
            text += "block " + std::to_string(block) + " " +
                    (block % 4 == 3 ? "FFFFFFFFFFFFFF078069FFFFFFFFFFFF" : std::string(32, '0')) + "\n";
        write_file(world / "cards" / uid, text);
        cards.push_back(uid);
    }
    return cards;
}

} // namespace mifare_bench
