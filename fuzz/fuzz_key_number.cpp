// Fuzzes the parsing of typed key numbers in every key format. The first byte picks the format, the rest
// is the text. Whatever parses must be a well-formed number whose text in that format parses back to the
// same number (every format but the keypad code, whose text is lossy); a failed parse leaves the number
// unchanged. The same bytes are also taken as a raw number whose texts must parse back to the bytes that
// each format shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "keys/KeyNumber.h"

namespace {

constexpr std::size_t kFormats = 6;

void check(bool ok) {
    if (!ok)
        std::abort();
}

bool tail_is_zero(const CCardUID& n) {
    for (std::size_t i = n.length; i < CCardUID::kMaxBytes; ++i)
        if (n.bytes[i] != 0)
            return false;
    return true;
}

bool wider_than_48_bits(const CCardUID& n) {
    for (std::size_t i = 6; i < n.length; ++i)
        if (n.bytes[i] != 0)
            return true;
    return false;
}

// Bytes of a number that the text of format carries.
std::size_t carried_bytes(key_format format) {
    switch (format) {
    case KF_EM_MARINE:
        return 3;
    case KF_EM_MARINE_CODE:
        return 5;
    default:
        return 6;
    }
}

void check_parse(std::string_view text, key_format format) {
    const CCardUID sentinel(0xDEADBEEFull, 9);
    CCardUID n = sentinel;
    if (!try_str_to_key_number(text, n, format)) {
        check(n == sentinel);
        return;
    }
    if (text.empty()) {
        check(n == CCardUID());
        return;
    }
    check(n.length == 6 && tail_is_zero(n));
    const Glib::ustring shown = format_key_number(n, format);
    if (format == KF_KEYPAD) {
        // Only the six lowest hexadecimal digits show, each as a keypad key or an underscore.
        check(shown.bytes() == 6);
        for (char c : shown.raw())
            check(c == '_' || (c >= '0' && c <= '9'));
        const CCardUID low(n.bytes, 3);
        check(format_key_number(low, KF_KEYPAD).raw() == shown.raw());
        return;
    }
    CCardUID back;
    check(try_str_to_key_number(shown, back, format));
    check(back == n);
}

void check_format(const std::uint8_t* data, std::size_t size, key_format format) {
    const CCardUID n(data, size);
    const Glib::ustring shown = format_key_number(n, format);
    if (n.length == 0) {
        check(shown.empty());
        return;
    }
    if (format == KF_KEYPAD)
        return; // the keypad text is lossy
    CCardUID back;
    const bool parsed = try_str_to_key_number(shown, back, format);
    // A text worth more than 48 bits is refused rather than cut to another key.
    if (!parsed && wider_than_48_bits(n))
        return;
    check(parsed);
    // Bytes beyond the number's length are shown as zero.
    for (std::size_t i = 0; i < carried_bytes(format); ++i)
        check(back.bytes[i] == (i < n.length ? n.bytes[i] : 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto format = static_cast<key_format>(data[0] % kFormats);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    check_parse(text, format);
    check_format(data + 1, size - 1, format);
    return 0;
}
