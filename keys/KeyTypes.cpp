// Names, abbreviations and conversions of key types, attributes and number formats.
#include "keys/KeyTypes.h"

#include "app/i18n.h"

#include <array>

namespace {

constexpr std::array<const char*, kCardTypeCount> kCardTypeAbbr = {
    "",   "EM", "HID", "IC",   "UL",   "M1K",  "M4K",  "DF",    "PX",  "433F",   "433",
    "DS", "CM", "M+",  "M1K+", "M2K+", "M4K+", "MINI", "TEMIC", "M2K", "SMXM1K", "SMXM4K",
};

// Indexed by the reader library's card type.
constexpr std::array<CardType, 23> kSdkToCardType = {
    CT_UNKNOWN,       // none
    CT_EM_MARINE,     // Em-Marine
    CT_HID,           // HID
    CT_ICODE,         // iCode
    CT_COD433,        // Cod433
    CT_COD433_FIX,    // Cod433 Fix
    CT_CAME,          // CAME
    CT_DALLAS,        // Dallas
    CT_TEMIC,         // Temic
    CT_MF_ULTRALIGHT, // Mifare UltraLight
    CT_UNKNOWN,       // Mifare UltraLight C has no key type of its own
    CT_MF_MINI,       // Mifare Mini
    CT_MF_CLASSIC_1K, // Mifare Classic 1K
    CT_MF_CLASSIC_2K, // Mifare Classic 2K
    CT_MF_CLASSIC_4K, // Mifare Classic 4K
    CT_MF_PLUS,       // Mifare Plus
    CT_MF_PLUS_1K,    // Mifare Plus 1K
    CT_MF_PLUS_2K,    // Mifare Plus 2K
    CT_MF_PLUS_4K,    // Mifare Plus 4K
    CT_SMART_MX_1K,   // Smart MX 1K
    CT_SMART_MX_4K,   // Smart MX 4K
    CT_MF_DESFIRE,    // Mifare DESFire
    CT_MF_PROX,       // Mifare ProX
};

constexpr std::array<const char*, kKeyAttrCount> kKeyAttrNames = {
    "", N_("Normal"), N_("Blocking"), N_("Master"), N_("Inactive"),
};

constexpr std::array<const char*, kKeyFormatCount> kKeyFormatTexts = {
    N_("Hexadecimal"), N_("Em-Marine"),     N_("Em-Marine + code"),
    N_("Decimal"),     N_("Decimal bytes"), N_("Keypad code"),
};

} // namespace

CardType card_type_from_int(std::uint32_t value) {
    return value < kCardTypeCount ? static_cast<CardType>(value) : CT_UNKNOWN;
}

const char* card_type_abbr(CardType type) {
    const auto i = static_cast<std::uint32_t>(type);
    return i < kCardTypeCount ? kCardTypeAbbr[i] : "";
}

CardType to_card_type(std::int32_t sdk_type) {
    if (sdk_type < 0 || static_cast<std::size_t>(sdk_type) >= kSdkToCardType.size())
        return CT_UNKNOWN;
    return kSdkToCardType[static_cast<std::size_t>(sdk_type)];
}

CardType to_card_type(rdx_card_type sdk_type) {
    return to_card_type(static_cast<std::int32_t>(sdk_type));
}

Glib::ustring key_attr_name(KeyAttr attr) {
    const auto i = static_cast<std::uint32_t>(attr);
    if (i == KA_NONE || i >= kKeyAttrCount)
        return {};
    return _(kKeyAttrNames[i]);
}

Glib::ustring key_attr_letter(KeyAttr attr) {
    switch (attr) {
    case KA_NORMAL:
        return C_("key attribute letter", "N");
    case KA_BLOCKING:
        return C_("key attribute letter", "B");
    case KA_MASTER:
        return C_("key attribute letter", "M");
    case KA_INACTIVE:
        return C_("key attribute letter", " ");
    default:
        return {};
    }
}

const char* key_attr_css_class(KeyAttr attr) {
    switch (attr) {
    case KA_BLOCKING:
        return "attr-blocking";
    case KA_MASTER:
        return "attr-master";
    case KA_INACTIVE:
        return "attr-inactive";
    default:
        return "attr-normal";
    }
}

const char* key_format_text_untranslated(key_format format) {
    const auto i = static_cast<std::uint32_t>(format);
    return i < kKeyFormatCount ? kKeyFormatTexts[i] : "";
}

Glib::ustring key_format_text(key_format format) {
    const char* text = key_format_text_untranslated(format);
    return *text ? Glib::ustring(_(text)) : Glib::ustring();
}

namespace {

gpointer copy_enum(gpointer p) {
    return g_memdup2(p, sizeof(std::uint32_t));
}

static_assert(sizeof(CardType) == sizeof(std::uint32_t) && sizeof(KeyAttr) == sizeof(std::uint32_t));

} // namespace

GType kestrix_card_type_get_type() {
    static const GType type = g_boxed_type_register_static("KestrixCardType", copy_enum, g_free);
    return type;
}

GType kestrix_key_attr_get_type() {
    static const GType type = g_boxed_type_register_static("KestrixKeyAttr", copy_enum, g_free);
    return type;
}
