// Tests of the key vocabulary tables: type abbreviations, the reader library's type mapping, attribute
// texts and styles, format texts and the boxed enumeration types.
#include "keys/KeyTypes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

class KeyTypesTest : public ::testing::Test {};

TEST_F(KeyTypesTest, AbbreviationsOfEveryType) {
    const char* expected[] = {"",     "EM",   "HID",   "IC",  "UL",     "M1K",   "M4K",  "DF",
                              "PX",   "433F", "433",   "DS",  "CM",     "M+",    "M1K+", "M2K+",
                              "M4K+", "MINI", "TEMIC", "M2K", "SMXM1K", "SMXM4K"};
    for (std::uint32_t t = 0; t < kCardTypeCount; ++t)
        EXPECT_STREQ(card_type_abbr(static_cast<CardType>(t)), expected[t]) << t;
    EXPECT_STREQ(card_type_abbr(static_cast<CardType>(22)), "");
    EXPECT_STREQ(card_type_abbr(static_cast<CardType>(0xFFFFFFFF)), "");
}

TEST_F(KeyTypesTest, StoredTypesOutOfRangeReadAsUnknown) {
    EXPECT_EQ(card_type_from_int(21), CT_SMART_MX_4K);
    EXPECT_EQ(card_type_from_int(22), CT_UNKNOWN);
    EXPECT_EQ(card_type_from_int(0xFFFFFFFF), CT_UNKNOWN);
}

TEST_F(KeyTypesTest, ReaderLibraryTypesMapThroughTheTable) {
    const CardType expected[23] = {
        CT_UNKNOWN,       CT_EM_MARINE,     CT_HID,           CT_ICODE,         CT_COD433,     CT_COD433_FIX,
        CT_CAME,          CT_DALLAS,        CT_TEMIC,         CT_MF_ULTRALIGHT, CT_UNKNOWN,    CT_MF_MINI,
        CT_MF_CLASSIC_1K, CT_MF_CLASSIC_2K, CT_MF_CLASSIC_4K, CT_MF_PLUS,       CT_MF_PLUS_1K, CT_MF_PLUS_2K,
        CT_MF_PLUS_4K,    CT_SMART_MX_1K,   CT_SMART_MX_4K,   CT_MF_DESFIRE,    CT_MF_PROX};
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(to_card_type(static_cast<rdx_card_type>(i)), expected[i]) << i;
    EXPECT_EQ(to_card_type(RDX_CARD_DALLAS), CT_DALLAS);
    EXPECT_EQ(to_card_type(23), CT_UNKNOWN);
    EXPECT_EQ(to_card_type(-1), CT_UNKNOWN);
}

TEST_F(KeyTypesTest, AttributeTextsAndStyles) {
    EXPECT_EQ(key_attr_name(KA_NORMAL), "Normal");
    EXPECT_EQ(key_attr_name(KA_BLOCKING), "Blocking");
    EXPECT_EQ(key_attr_name(KA_MASTER), "Master");
    EXPECT_EQ(key_attr_name(KA_INACTIVE), "Inactive");
    EXPECT_EQ(key_attr_name(KA_NONE), "");
    EXPECT_EQ(key_attr_letter(KA_NORMAL), "N");
    EXPECT_EQ(key_attr_letter(KA_BLOCKING), "B");
    EXPECT_EQ(key_attr_letter(KA_MASTER), "M");
    EXPECT_EQ(key_attr_letter(KA_INACTIVE), " ");
    EXPECT_EQ(key_attr_letter(KA_NONE), "");
    EXPECT_STREQ(key_attr_css_class(KA_BLOCKING), "attr-blocking");
    EXPECT_STREQ(key_attr_css_class(KA_MASTER), "attr-master");
    EXPECT_STREQ(key_attr_css_class(KA_INACTIVE), "attr-inactive");
    EXPECT_STREQ(key_attr_css_class(KA_NORMAL), "attr-normal");
    EXPECT_STREQ(key_attr_css_class(KA_NONE), "attr-normal");
    EXPECT_STREQ(key_attr_css_class(static_cast<KeyAttr>(9)), "attr-normal");
    EXPECT_EQ(key_attr_mask_bit(KA_MASTER), 8u);
}

TEST_F(KeyTypesTest, FormatTexts) {
    const char* expected[] = {"Hexadecimal", "Em-Marine",     "Em-Marine + code",
                              "Decimal",     "Decimal bytes", "Keypad code"};
    for (std::uint32_t f = 0; f < kKeyFormatCount; ++f)
        EXPECT_EQ(key_format_text(static_cast<key_format>(f)), expected[f]);
    EXPECT_EQ(key_format_text(static_cast<key_format>(6)), "");
}

TEST_F(KeyTypesTest, EnumerationsAreDistinctBoxedTypes) {
    const GType t = Glib::Value<CardType>::value_type(), a = Glib::Value<KeyAttr>::value_type();
    EXPECT_TRUE(G_TYPE_IS_BOXED(t));
    EXPECT_TRUE(G_TYPE_IS_BOXED(a));
    EXPECT_NE(t, a);
    Glib::Value<KeyAttr> v;
    v.init(a);
    EXPECT_EQ(v.get(), KA_NONE);
    v.set(KA_INACTIVE);
    Glib::Value<KeyAttr> copy;
    copy.init(v.gobj());
    EXPECT_EQ(copy.get(), KA_INACTIVE);
}
