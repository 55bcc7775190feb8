// Whether a text is plain ASCII: case folding and code page conversion leave such text as it is, so it
// takes their fast paths.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

// Eight bytes at a time: the key filter asks this of every key's description on each change.
inline bool is_ascii(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= text.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & kHighBits) != 0)
            return false;
    }
    for (; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}
