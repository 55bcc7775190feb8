// The DS1996L content question's text for each code the key's first byte can give.
#include <gtest/gtest.h>

#include <string>

#include "ui/CReadDS1996Dialog.h"

TEST(CReadDS1996DialogTest, APreparedKeyIsReadyForTheControllersBase) {
    EXPECT_EQ("The key is ready for reading of the base from the controller. Continue?",
              CReadDS1996Dialog::text_for_code(1));
}

TEST(CReadDS1996DialogTest, AnIncompleteBaseListsTheLikelyCauses) {
    const std::string text = CReadDS1996Dialog::text_for_code(52).raw();
    EXPECT_EQ(
        0u,
        text.find("The data has been recorded to the key by the controller Q4T incompletely. Continue?\n1."));
    EXPECT_NE(std::string::npos, text.find("\n3. Hardware and software failure"));
}

TEST(CReadDS1996DialogTest, Code128HasNoTextAndOthersAreUnknownContent) {
    EXPECT_TRUE(CReadDS1996Dialog::text_for_code(128).empty());
    EXPECT_EQ(
        0u, CReadDS1996Dialog::text_for_code(0x22).raw().find("The type of information cannot be detected."));
    EXPECT_EQ(CReadDS1996Dialog::text_for_code(0xFF), CReadDS1996Dialog::text_for_code(7));
}
