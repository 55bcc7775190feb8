// Key and card numbers as raw bytes: construction, the hexadecimal text of key databases, and the boxed
// GType that lets numbers be object properties.
#include "keys/CCardUID.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kUInt64Bytes = sizeof(std::uint64_t);

// Value of a hexadecimal digit, or -1.
int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

CCardUID::CCardUID(const rdx_card_uid& uid) {
    // The record is copied as it is, except that a corrupt length is cut and stray bytes beyond it are
    // cleared, so that no later code reads past the 15 bytes or sees bytes that do not belong.
    length = std::min<std::size_t>(uid.length, kMaxBytes);
    std::memcpy(bytes, uid.bytes, length);
}

CCardUID::CCardUID(FromInteger, std::uint64_t value, std::size_t n) {
    length = static_cast<std::uint8_t>(std::min(n, kMaxBytes));
    const std::size_t taken = std::min<std::size_t>(length, kUInt64Bytes);
    for (std::size_t i = 0; i < taken; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

CCardUID::CCardUID(const std::uint8_t* data, std::size_t n) {
    if (data == nullptr)
        return;
    length = static_cast<std::uint8_t>(std::min(n, kMaxBytes));
    std::memcpy(bytes, data, length);
}

CCardUID::CCardUID(std::uint8_t series, std::uint16_t number, std::uint16_t code) {
    bytes[0] = static_cast<std::uint8_t>(number);
    bytes[1] = static_cast<std::uint8_t>(number >> 8);
    bytes[2] = series;
    bytes[3] = static_cast<std::uint8_t>(code);
    bytes[4] = static_cast<std::uint8_t>(code >> 8);
    length = 5;
}

std::string CCardUID::ToString() const {
    std::string text;
    const std::size_t n = std::min<std::size_t>(length, kMaxBytes);
    text.reserve(2 * n);
    for (std::size_t i = n; i-- > 0;) {
        text.push_back(kHexDigits[bytes[i] >> 4]);
        text.push_back(kHexDigits[bytes[i] & 0x0F]);
    }
    return text;
}

bool CCardUID::TryParse(std::string_view text) {
    if (text.empty())
        return false;
    CCardUID parsed;
    std::size_t pos = text.size();
    while (pos >= 2 && parsed.length < kMaxBytes) {
        const int low = hex_value(text[pos - 1]);
        const int high = hex_value(text[pos - 2]);
        if (low < 0 || high < 0)
            return false;
        parsed.bytes[parsed.length++] = static_cast<std::uint8_t>((high << 4) | low);
        pos -= 2;
    }
    // A single leftover first digit does not make a byte, but it must still be a digit.
    if (pos == 1 && parsed.length < kMaxBytes && hex_value(text[0]) < 0)
        return false;
    *this = parsed;
    return true;
}

rdx_card_uid CCardUID::to_rdx() const {
    rdx_card_uid uid;
    static_assert(sizeof(uid) == sizeof(CCardUID));
    uid.length = length;
    std::memcpy(uid.bytes, bytes, sizeof(uid.bytes));
    return uid;
}

bool operator==(const CCardUID& a, const CCardUID& b) {
    return a.length == b.length && std::memcmp(a.bytes, b.bytes, sizeof(a.bytes)) == 0;
}

namespace {

gpointer card_uid_copy(gpointer p) {
    return g_memdup2(p, sizeof(CCardUID));
}

} // namespace

GType kestrix_card_uid_get_type() {
    // C++ guarantees a thread-safe one-time registration.
    static const GType type = g_boxed_type_register_static("KestrixCardUID", card_uid_copy, g_free);
    return type;
}
