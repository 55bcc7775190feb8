// The key vocabulary shared by every part of the program: key types, attributes, number formats and the
// plain record of one stored key.
#pragma once

#include <glibmm/ustring.h>
#include <glibmm/value.h>

#include <cstdint>

#include "keys/CCardUID.h"

// Key types as stored in key databases and shown in the key tables.
// The key type the adapter scans for while idle.
enum ScanKeyType : int32_t {
    SCAN_KEY_DALLAS = 0,
    SCAN_KEY_EM_MARINE = 1,
    SCAN_KEY_KF300 = 2,
};

enum CardType : std::uint32_t {
    CT_UNKNOWN = 0,
    CT_EM_MARINE = 1,
    CT_HID = 2,
    CT_ICODE = 3,
    CT_MF_ULTRALIGHT = 4,
    CT_MF_CLASSIC_1K = 5,
    CT_MF_CLASSIC_4K = 6,
    CT_MF_DESFIRE = 7,
    CT_MF_PROX = 8,
    CT_COD433_FIX = 9,
    CT_COD433 = 10,
    CT_DALLAS = 11,
    CT_CAME = 12,
    CT_MF_PLUS = 13,
    CT_MF_PLUS_1K = 14,
    CT_MF_PLUS_2K = 15,
    CT_MF_PLUS_4K = 16,
    CT_MF_MINI = 17,
    CT_TEMIC = 18,
    CT_MF_CLASSIC_2K = 19,
    CT_SMART_MX_1K = 20,
    CT_SMART_MX_4K = 21,
};
inline constexpr std::uint32_t kCardTypeCount = 22;

// A stored type of 22 or more reads back as CT_UNKNOWN.
CardType card_type_from_int(std::uint32_t value);
// The two- to six-letter abbreviation of the key tables' "Type" column ("" for unknown or out of range).
const char* card_type_abbr(CardType type);
// The reader library's card type mapped to ours; values the library may add later map to CT_UNKNOWN.
CardType to_card_type(rdx_card_type sdk_type);
CardType to_card_type(std::int32_t sdk_type);

// A key's role in the controller.
enum KeyAttr : std::uint32_t {
    KA_NONE = 0,
    KA_NORMAL = 1,
    KA_BLOCKING = 2,
    KA_MASTER = 3,
    KA_INACTIVE = 4,
};
inline constexpr std::uint32_t kKeyAttrCount = 5; // 0..4

// Translated name: "Normal", "Blocking", "Master", "Inactive"; "" for any other value.
Glib::ustring key_attr_name(KeyAttr attr);
// Translated letter of the key tables' "Attr" column: "N", "B", "M", a single blank for Inactive, "" else.
Glib::ustring key_attr_letter(KeyAttr attr);
// Style class of the key's table row; anything other than Blocking, Master, Inactive is styled Normal.
const char* key_attr_css_class(KeyAttr attr);
// The bit of a search filter's attribute mask that selects attr.
constexpr std::uint32_t key_attr_mask_bit(KeyAttr attr) {
    return attr < 32 ? (1u << attr) : 0u;
}

// How key numbers are shown and typed.
enum key_format : std::uint32_t {
    KF_HEX = 0,
    KF_EM_MARINE = 1,
    KF_EM_MARINE_CODE = 2,
    KF_DECIMAL = 3,
    KF_DECIMAL_BYTES = 4,
    KF_KEYPAD = 5,
};
inline constexpr std::uint32_t kKeyFormatCount = 6;

// Translated text of the format drop-downs ("Hexadecimal" ... "Keypad code"); "" out of range.
Glib::ustring key_format_text(key_format format);
// The untranslated text, as marked for translation.
const char* key_format_text_untranslated(key_format format);

// One key as stored in a key database file.
struct key_info {
    std::uint32_t id = 0; // unique within its document
    CardType type = CT_UNKNOWN;
    KeyAttr attr = KA_NORMAL;
    CCardUID number;
    bool is_short = false;    // only bytes 0-2 of the number count
    std::int64_t created = 0; // seconds since the epoch; 0 = unknown
    Glib::ustring comment;    // the key's description
};

// CardType and KeyAttr as boxed GTypes ("KestrixCardType", "KestrixKeyAttr"), so that they can be object
// properties and be bound to list columns through property expressions.
GType kestrix_card_type_get_type();
GType kestrix_key_attr_get_type();

namespace Glib {
template <>
class Value<CardType> : public ValueBase_Boxed {
public:
    using CppType = CardType;
    static GType value_type() { return kestrix_card_type_get_type(); }
    void set(CardType data) { set_boxed(&data); }
    CardType get() const {
        auto p = static_cast<const CardType*>(get_boxed());
        return p ? *p : CT_UNKNOWN;
    }
};

template <>
class Value<KeyAttr> : public ValueBase_Boxed {
public:
    using CppType = KeyAttr;
    static GType value_type() { return kestrix_key_attr_get_type(); }
    void set(KeyAttr data) { set_boxed(&data); }
    KeyAttr get() const {
        auto p = static_cast<const KeyAttr*>(get_boxed());
        return p ? *p : KA_NONE;
    }
};
} // namespace Glib
