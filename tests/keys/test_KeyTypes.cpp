// Tests of the key vocabulary where it does more than look a value up: the gap in the reader library's type
// numbers.
#include "keys/KeyTypes.h"

#include <gtest/gtest.h>

class KeyTypesTest : public ::testing::Test {};

TEST_F(KeyTypesTest, ReaderLibraryTypesWithoutAMatchAreUnknown) {
    EXPECT_EQ(to_card_type(RDX_CARD_DALLAS), CT_DALLAS);
    EXPECT_EQ(to_card_type(10), CT_UNKNOWN); // the library's number 10 has no key type
    EXPECT_EQ(to_card_type(22), CT_MF_PROX);
    EXPECT_EQ(to_card_type(23), CT_UNKNOWN);
    EXPECT_EQ(to_card_type(-1), CT_UNKNOWN);
}
