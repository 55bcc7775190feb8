#include "keys/TextOrder.h"

#include <glib.h>

#include <cstdint>

namespace {

// Beyond every code point: a byte that starts no valid character.
constexpr std::uint32_t kStrayByte = 0x110000;

// The next character of text at pos, lower case, and pos moved past it.
std::uint32_t next_lower(std::string_view text, std::size_t& pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
        ++pos;
        return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
    }
    const char* start = text.data() + pos;
    const gunichar c = g_utf8_get_char_validated(start, static_cast<gssize>(text.size() - pos));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
        ++pos;
        return kStrayByte + byte;
    }
    pos = static_cast<std::size_t>(g_utf8_next_char(start) - text.data());
    return g_unichar_tolower(c);
}

} // namespace

int compare_text_caseless(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::uint32_t ca = next_lower(a, i);
        const std::uint32_t cb = next_lower(b, j);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}
