// Key number helpers: text forms in every key format, parsing of typed numbers, comparison, lookup, the
// Dallas ROM checksum, the lock-open time code and packed version numbers.
#include "keys/KeyNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kFullBytes = 6;  // a full key number: bytes 0-5
constexpr std::size_t kShortBytes = 3; // the part that identifies a short number: bytes 0-2
constexpr std::size_t kKeypadDigits = 6;
constexpr std::uint64_t kMask48 = (std::uint64_t{1} << 48) - 1;
constexpr unsigned kMaxSeries = 255;
constexpr unsigned kMaxEmNumber = 65535;
constexpr std::size_t kDallasDataBytes = 7;
constexpr std::uint8_t kDallasCrcPoly = 0x8C; // x^8 + x^5 + x^4 + 1, least significant bit first
constexpr double kOtcUnitNumerator = 654.0;   // one code unit is 654 / 10000 s
constexpr double kOtcUnitDenominator = 10000.0;

// The first n bytes of number (n at most 8) as a little-endian integer.
std::uint64_t low_bytes(const CCardUID& number, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = std::min<std::size_t>(n, 8); i-- > 0;)
        v = (v << 8) | number.bytes[i];
    return v;
}

std::uint64_t low_bytes_of_length(const CCardUID& number, std::size_t max_bytes) {
    return low_bytes(number, std::min<std::size_t>(number.length, max_bytes));
}

unsigned em_number(const CCardUID& n) {
    return n.bytes[0] | (unsigned{n.bytes[1]} << 8);
}

unsigned em_code(const CCardUID& n) {
    return n.bytes[3] | (unsigned{n.bytes[4]} << 8);
}

// The keypad's digits, most significant first, into text (kKeypadDigits characters).
void format_keypad(const CCardUID& number, char* text) {
    const std::uint64_t v = low_bytes_of_length(number, kFullBytes);
    for (std::size_t i = 0; i < kKeypadDigits; ++i) {
        const unsigned digit = (v >> (4 * i)) & 0x0F;
        // The keypad has the keys 1-9 and 0; the controller codes its 0 as ten.
        char c = '_';
        if (digit >= 1 && digit <= 9)
            c = static_cast<char>('0' + digit);
        else if (digit == 10)
            c = '0';
        text[kKeypadDigits - 1 - i] = c;
    }
}

} // namespace

KeyNumberText::KeyNumberText(const CCardUID& number, key_format format) {
    if (number.length == 0)
        return;
    char* buf = m_chars;
    int printed = 0;
    switch (format) {
    case KF_EM_MARINE:
        printed =
            std::snprintf(buf, sizeof(m_chars), "%.3u,%.5u", unsigned{number.bytes[2]}, em_number(number));
        break;
    case KF_EM_MARINE_CODE:
        printed = std::snprintf(buf, sizeof(m_chars), "[%.4X] %.3u,%.5u", em_code(number),
                                unsigned{number.bytes[2]}, em_number(number));
        break;
    case KF_DECIMAL:
        printed = std::snprintf(buf, sizeof(m_chars), "%llu",
                                static_cast<unsigned long long>(low_bytes_of_length(number, 8)));
        break;
    case KF_DECIMAL_BYTES:
        printed =
            std::snprintf(buf, sizeof(m_chars), "%u %u %u %u %u %u", unsigned{number.bytes[5]},
                          unsigned{number.bytes[4]}, unsigned{number.bytes[3]}, unsigned{number.bytes[2]},
                          unsigned{number.bytes[1]}, unsigned{number.bytes[0]});
        break;
    case KF_KEYPAD:
        format_keypad(number, buf);
        printed = kKeypadDigits;
        break;
    case KF_HEX:
    default: {
        // The form every table shows by default, without the cost of a formatted print.
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::uint64_t v = low_bytes_of_length(number, kFullBytes);
        for (std::size_t i = 2 * kFullBytes; i-- > 0; v >>= 4)
            buf[i] = kHex[v & 0x0F];
        printed = 2 * kFullBytes;
        break;
    }
    }
    m_size = static_cast<std::size_t>(std::clamp(printed, 0, static_cast<int>(sizeof(m_chars)) - 1));
}

Glib::ustring format_key_number(const CCardUID& number, key_format format) {
    const KeyNumberText text(number, format);
    return Glib::ustring(std::string(text.view()));
}

namespace {

// Reads typed numbers the way scanf's %u / %x and strtoull do (leading white space, an optional plus sign,
// a "0x" prefix in base 16), but only within the given characters and without a terminating NUL. Values
// that do not fit saturate. A minus sign is refused: those functions would silently wrap it into a large
// value, which is never a key number the user meant.
class CNumberScanner {
public:
    explicit CNumberScanner(std::string_view text) : m_text(text) {}

    void skip_space() {
        while (m_pos < m_text.size() && is_space(m_text[m_pos]))
            ++m_pos;
    }

    bool literal(char c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool number(std::uint64_t& value, unsigned base) {
        skip_space();
        literal('+');
        if (base == 16 && m_pos + 2 < m_text.size() && m_text[m_pos] == '0' &&
            (m_text[m_pos + 1] == 'x' || m_text[m_pos + 1] == 'X') &&
            digit_value(m_text[m_pos + 2], base) >= 0)
            m_pos += 2;
        std::uint64_t v = 0;
        bool any = false;
        for (int d; m_pos < m_text.size() && (d = digit_value(m_text[m_pos], base)) >= 0; ++m_pos) {
            any = true;
            const auto max = std::numeric_limits<std::uint64_t>::max();
            v = (v > (max - static_cast<unsigned>(d)) / base) ? max : v * base + static_cast<unsigned>(d);
        }
        if (any)
            value = v;
        return any;
    }

private:
    static bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

    static int digit_value(char c, unsigned base) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        return d < static_cast<int>(base) ? d : -1;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// A 6-byte number of value; false for a value that does not fit 48 bits, which would otherwise become
// another key.
bool full_number(std::uint64_t value, CCardUID& number) {
    if (value > kMask48)
        return false;
    number = CCardUID(value, kFullBytes);
    return true;
}

// "%u,%u": series, comma, number.
bool scan_em_marine(CNumberScanner& s, CCardUID& number, std::uint16_t code) {
    std::uint64_t series = 0, num = 0;
    if (!s.number(series, 10) || !s.literal(',') || !s.number(num, 10))
        return false;
    if (series > kMaxSeries || num > kMaxEmNumber)
        return false;
    CCardUID n(static_cast<std::uint8_t>(series), static_cast<std::uint16_t>(num), code);
    n.length = kFullBytes;
    number = n;
    return true;
}

// "[%x] %u,%u": the code is cut to 16 bits.
bool scan_em_marine_code(CNumberScanner& s, CCardUID& number) {
    std::uint64_t code = 0;
    if (!s.literal('[') || !s.number(code, 16) || !s.literal(']'))
        return false;
    s.skip_space();
    return scan_em_marine(s, number, static_cast<std::uint16_t>(code & 0xFFFF));
}

// "%u %u %u %u %u %u", most significant byte first, each cut to 8 bits.
bool scan_decimal_bytes(CNumberScanner& s, CCardUID& number) {
    std::uint8_t b[kFullBytes];
    for (std::size_t i = kFullBytes; i-- > 0;) {
        std::uint64_t v = 0;
        if (!s.number(v, 10))
            return false;
        b[i] = static_cast<std::uint8_t>(v);
    }
    number = CCardUID(b, kFullBytes);
    return true;
}

} // namespace

NumberSortKey number_sort_key(const CCardUID& number, key_format format) {
    if (number.length == 0)
        return {};
    switch (format) {
    case KF_EM_MARINE:
        return {true, (std::uint64_t{number.bytes[2]} << 16) | em_number(number)};
    case KF_EM_MARINE_CODE:
        return {true, (std::uint64_t{em_code(number)} << 24) | (std::uint64_t{number.bytes[2]} << 16) |
                          em_number(number)};
    case KF_DECIMAL:
        return {true, low_bytes_of_length(number, 8)};
    case KF_DECIMAL_BYTES:
        return {true, low_bytes(number, kFullBytes)};
    case KF_KEYPAD: {
        // The keypad's texts order '0' before '1'-'9' and the blank '_' last; every blank is the same '_'.
        const std::uint64_t v = low_bytes_of_length(number, kFullBytes);
        std::uint64_t key = 0;
        for (std::size_t i = kKeypadDigits; i-- > 0;) {
            const unsigned digit = (v >> (4 * i)) & 0x0F;
            const unsigned rank = digit == 10 ? 0 : (digit >= 1 && digit <= 9 ? digit : 10);
            key = (key << 4) | rank;
        }
        return {true, key};
    }
    case KF_HEX:
    default:
        return {true, low_bytes_of_length(number, kFullBytes)};
    }
}

bool try_str_to_key_number(std::string_view text, CCardUID& number, key_format format) {
    if (text.empty()) {
        number = CCardUID();
        return true;
    }
    CNumberScanner s(text);
    switch (format) {
    case KF_EM_MARINE:
        return scan_em_marine(s, number, 0);
    case KF_EM_MARINE_CODE:
        return scan_em_marine_code(s, number);
    case KF_DECIMAL_BYTES:
        return scan_decimal_bytes(s, number);
    default: {
        // Keypad codes are typed as hexadecimal, the keypad's 0 as A.
        std::uint64_t v = 0;
        return s.number(v, format == KF_DECIMAL ? 10 : 16) && full_number(v, number);
    }
    }
}

namespace {

bool long_part_zero(const CCardUID& n) {
    return n.bytes[3] == 0 && n.bytes[4] == 0 && n.bytes[5] == 0;
}

} // namespace

bool is_short_number(const CCardUID& number, bool short_flag) {
    return number.length <= kShortBytes || (short_flag && long_part_zero(number));
}

int compare_key_numbers(const CCardUID& a, bool a_short, const CCardUID& b, bool b_short) {
    if (a.length == 0)
        return b.length == 0 ? 0 : -1;
    if (b.length == 0)
        return 1;
    if (int r = std::memcmp(a.bytes, b.bytes, kShortBytes); r != 0)
        return r;
    if (is_short_number(a, a_short) || is_short_number(b, b_short))
        return 0;
    return std::memcmp(a.bytes + kShortBytes, b.bytes + kShortBytes, kFullBytes - kShortBytes);
}

int find_key_by_number(const Glib::RefPtr<Gio::ListStore<CKey>>& store, const CCardUID& number,
                       bool short_flag, unsigned start) {
    if (!store)
        return -1;
    const unsigned count = store->get_n_items();
    for (unsigned i = start; i < count; ++i) {
        const auto key = store->get_item(i);
        if (key && compare_key_numbers(key->number(), key->is_short(), number, short_flag) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

std::uint8_t get_dallas_cs(const std::uint8_t* bytes) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < kDallasDataBytes; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint8_t>((crc >> 1) ^ kDallasCrcPoly)
                            : static_cast<std::uint8_t>(crc >> 1);
    }
    return crc;
}

double OtcToTime(int code) {
    return code * kOtcUnitNumerator / kOtcUnitDenominator;
}

std::int32_t TimeToOtc(double seconds) {
    // A time shown from a code must give that code back, so a rounding error of the division does not
    // push an exact multiple of the unit up to the next code.
    constexpr double kSlack = 1e-9;
    const double units = std::ceil(seconds * kOtcUnitDenominator / kOtcUnitNumerator - kSlack);
    if (std::isnan(units))
        return 0;
    if (units <= std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (units >= std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(units);
}

std::string version_to_str(std::uint32_t v) {
    if (v == 0)
        return {};
    if (v <= 0xFFFF)
        return std::to_string(v);
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF);
}
