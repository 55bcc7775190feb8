// A key or card number as raw bytes, least significant first; the same 16-byte layout as the reader
// library's card-number record, so numbers coming from a reader are copied as they are.
#pragma once

#include <glibmm/value.h>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rdx.h"

class CCardUID {
public:
    static constexpr std::size_t kMaxBytes = 15;

    std::uint8_t length = 0;            // significant bytes, 0..15; 0 = no number
    std::uint8_t bytes[kMaxBytes] = {}; // bytes at and beyond length are always zero

    // The empty number.
    CCardUID() = default;
    // A number as the reader library reports it (a length above 15 is cut to 15).
    explicit CCardUID(const rdx_card_uid& uid);
    // The n lowest bytes of value, least significant first; length min(n, 15), bytes beyond the 8 of a
    // 64-bit value zero. A template so that a literal 0 does not also match the byte-buffer constructor.
    template <std::integral T>
    CCardUID(T value, std::size_t n) : CCardUID(FromInteger{}, static_cast<std::uint64_t>(value), n) {}
    // min(n, 15) bytes copied from data.
    CCardUID(const std::uint8_t* data, std::size_t n);
    // An Em-Marine number: bytes 0-1 number, byte 2 series, bytes 3-4 code; length 5.
    CCardUID(std::uint8_t series, std::uint16_t number, std::uint16_t code);

    // Upper-case hexadecimal, most significant byte first; "" for the empty number.
    std::string ToString() const;
    // Reads hexadecimal text from its last character towards its first, two digits per byte; stops after
    // 15 bytes. False (value unchanged) for the empty text or any non-hexadecimal character.
    bool TryParse(std::string_view text);

    bool empty() const { return length == 0; }
    // The reader library's record with the same bytes.
    rdx_card_uid to_rdx() const;

    friend bool operator==(const CCardUID& a, const CCardUID& b);

private:
    struct FromInteger {};
    CCardUID(FromInteger, std::uint64_t value, std::size_t n);
};

static_assert(sizeof(CCardUID) == 16, "CCardUID must keep the reader library's 16-byte layout");
static_assert(sizeof(rdx_card_uid) == 16, "unexpected reader library card-number layout");

// CCardUID as a boxed GType ("KestrixCardUID"), so that it can be an object property and be bound to list
// columns through property expressions.
GType kestrix_card_uid_get_type();

namespace Glib {
template <>
class Value<CCardUID> : public ValueBase_Boxed {
public:
    using CppType = CCardUID;
    static GType value_type() { return kestrix_card_uid_get_type(); }
    void set(const CCardUID& data) { set_boxed(&data); }
    // A value never set reads as the empty number.
    CCardUID get() const {
        auto p = static_cast<const CCardUID*>(get_boxed());
        return p ? *p : CCardUID();
    }
};
} // namespace Glib
