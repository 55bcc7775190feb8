// The adapter link's exception type: fixed text, the status travels as a number.
#include <gtest/gtest.h>

#include "app/MyException.h"

class CMyExceptionTest : public ::testing::Test {};

TEST_F(CMyExceptionTest, ThrownExceptionCarriesItsStatus) {
    try {
        ThrowMyException(MY_ERR_TIMEOUT);
        FAIL() << "ThrowMyException returned";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "MyException");
        auto* mine = dynamic_cast<const CMyException*>(&e);
        ASSERT_NE(mine, nullptr);
        EXPECT_EQ(mine->get_status(), 10);
    }
}
