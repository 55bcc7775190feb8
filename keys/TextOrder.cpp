#include "keys/TextOrder.h"

#include <glib.h>

#include <algorithm>
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

CCaselessTextKey::CCaselessTextKey(std::string_view text) : m_text(text) {
    // Past the run, a character may lower to anything, also to ASCII (the Kelvin sign is 'k').
    while (m_run < kPacked && m_run < text.size()) {
        const auto byte = static_cast<unsigned char>(text[m_run]);
        if (byte >= 0x80)
            break;
        const unsigned lower = byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
        m_packed |= static_cast<unsigned __int128>(lower) << (8 * (kPacked - 1 - m_run));
        ++m_run;
    }
    m_whole = m_run == text.size();
}

int compare(const CCaselessTextKey& a, const CCaselessTextKey& b) {
    const unsigned shorter = std::min(a.m_run, b.m_run);
    const unsigned __int128 differ = a.m_packed ^ b.m_packed;
    // The first character where the packed ones differ; kPacked when they do not.
    unsigned first = CCaselessTextKey::kPacked;
    if (differ != 0) {
        const auto high = static_cast<std::uint64_t>(differ >> 64);
        first = high != 0
                    ? static_cast<unsigned>(__builtin_clzll(high)) / 8
                    : 8 + static_cast<unsigned>(__builtin_clzll(static_cast<std::uint64_t>(differ))) / 8;
    }
    if (first < shorter)
        return a.m_packed < b.m_packed ? -1 : 1;
    // Equal as far as both runs go: a text that ends there comes first.
    const bool a_ends = a.m_whole && a.m_run == shorter;
    const bool b_ends = b.m_whole && b.m_run == shorter;
    if (a_ends || b_ends)
        return a_ends && b_ends ? 0 : (a_ends ? -1 : 1);
    return compare_text_caseless(a.m_text, b.m_text);
}
