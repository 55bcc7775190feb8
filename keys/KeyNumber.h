// Key number helpers: text forms of numbers in every key format, their parsing and comparison, the Dallas
// ROM checksum, the controller's lock-open time code and packed version numbers.
#pragma once

#include <giomm/liststore.h>
#include <glibmm/ustring.h>

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "keys/CCardUID.h"
#include "keys/CKey.h"
#include "keys/KeyTypes.h"

// The text of number in format; "" for the empty number in every format. Unknown formats show hexadecimal.
Glib::ustring format_key_number(const CCardUID& number, key_format format);

// The same text held in place, for walks over many keys that only look at it.
class KeyNumberText {
public:
    KeyNumberText(const CCardUID& number, key_format format);
    std::string_view view() const { return {m_chars, m_size}; }

private:
    char m_chars[64];
    std::size_t m_size = 0;
};

// Orders numbers as the tables sort them in format: as their texts where the texts have a fixed width
// (hexadecimal, EM-Marine, keypad), by value where they do not (decimal), so that 9 comes before 10. Two
// numbers have equal keys exactly when their texts are equal; the empty number comes first.
struct NumberSortKey {
    bool present = false;
    std::uint64_t value = 0;
    auto operator<=>(const NumberSortKey&) const = default;
};
NumberSortKey number_sort_key(const CCardUID& number, key_format format);

// Parses user input in format. The empty text gives the empty number and true. Otherwise true with number
// set (length 6), or false with number unchanged. A decimal, hexadecimal or keypad value that does not fit
// the 48 bits of a key is refused. Reads only the given characters; never throws.
bool try_str_to_key_number(std::string_view text, CCardUID& number, key_format format);
inline bool try_str_to_key_number(const Glib::ustring& text, CCardUID& number, key_format format) {
    return try_str_to_key_number(std::string_view(text.raw()), number, format);
}
inline bool try_str_to_key_number(const char* text, CCardUID& number, key_format format) {
    return try_str_to_key_number(std::string_view(text ? text : ""), number, format);
}

// Negative, zero or positive; zero means the same key. Bytes 0-2 decide first (lowest index first), the
// long part (bytes 3-5) only when neither side is a short number. This order is not numeric order.
int compare_key_numbers(const CCardUID& a, bool a_short, const CCardUID& b, bool b_short);

// True when only bytes 0-2 of number count: 3 bytes or fewer, or flagged short with zero bytes 3-5.
bool is_short_number(const CCardUID& number, bool short_flag);

// Index of the first key at or after start whose number compares equal (with the key's own short flag and
// short_flag), or -1 (also when start is at or beyond the end).
int find_key_by_number(const Glib::RefPtr<Gio::ListStore<CKey>>& store, const CCardUID& number,
                       bool short_flag, unsigned start = 0);

// The 1-Wire CRC-8 (reflected polynomial 0x8C, initial 0) of the 7 bytes at bytes: family code and serial
// number of a Dallas ROM code; the result is its eighth byte.
std::uint8_t get_dallas_cs(const std::uint8_t* bytes);

// The lock-open time code counts units of 0.0654 s.
double OtcToTime(int code);
// Seconds to the code, rounded up; callers store it cut to 16 bits.
std::int32_t TimeToOtc(double seconds);

// A packed version as text: "" for 0; above 65535 "a.b.c" of bits 24-31, 16-23, 8-15; else the decimal value.
std::string version_to_str(std::uint32_t v);
