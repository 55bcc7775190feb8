// Tests of the key vocabulary tables where they do more than look a value up: values out of range, the gap
// in the reader library's type numbers, the fall-backs of the attribute texts and the boxed enumeration
// types.
#include "keys/KeyTypes.h"

#include <gtest/gtest.h>

#include <string>

class KeyTypesTest : public ::testing::Test {};

TEST_F(KeyTypesTest, ValuesOutOfRangeReadAsUnknownOrEmpty) {
    EXPECT_STREQ(card_type_abbr(CT_SMART_MX_4K), "SMXM4K");
    EXPECT_STREQ(card_type_abbr(static_cast<CardType>(22)), "");
    EXPECT_STREQ(card_type_abbr(static_cast<CardType>(0xFFFFFFFF)), "");
    EXPECT_EQ(card_type_from_int(21), CT_SMART_MX_4K);
    EXPECT_EQ(card_type_from_int(22), CT_UNKNOWN);
    EXPECT_EQ(card_type_from_int(0xFFFFFFFF), CT_UNKNOWN);
    EXPECT_EQ(key_format_text(static_cast<key_format>(6)), "");
}

TEST_F(KeyTypesTest, ReaderLibraryTypesWithoutAMatchAreUnknown) {
    EXPECT_EQ(to_card_type(RDX_CARD_DALLAS), CT_DALLAS);
    EXPECT_EQ(to_card_type(10), CT_UNKNOWN); // the library's number 10 has no key type
    EXPECT_EQ(to_card_type(22), CT_MF_PROX);
    EXPECT_EQ(to_card_type(23), CT_UNKNOWN);
    EXPECT_EQ(to_card_type(-1), CT_UNKNOWN);
}

TEST_F(KeyTypesTest, AttributeFallBacks) {
    EXPECT_EQ(key_attr_name(KA_NONE), "");
    EXPECT_EQ(key_attr_letter(KA_INACTIVE), " ");
    EXPECT_EQ(key_attr_letter(KA_NONE), "");
    EXPECT_STREQ(key_attr_css_class(KA_NONE), "attr-normal");
    EXPECT_STREQ(key_attr_css_class(static_cast<KeyAttr>(9)), "attr-normal");
    EXPECT_EQ(key_attr_mask_bit(KA_MASTER), 8u);
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
