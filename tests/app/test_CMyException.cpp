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

TEST_F(CMyExceptionTest, StatusValuesAreFixed) {
    // The adapter worker stores these numbers as its last error; tests elsewhere compare them by value.
    EXPECT_EQ(MY_OK, 0);
    EXPECT_EQ(MY_ERR_FAILURE, 1);
    EXPECT_EQ(MY_ERR_STOPPING, 3);
    EXPECT_EQ(MY_ERR_CONNECT, 4);
    EXPECT_EQ(MY_ERR_ACCESS_DENIED, 5);
    EXPECT_EQ(MY_ERR_PORT_BUSY, 6);
    EXPECT_EQ(MY_ERR_NOT_FOUND, 7);
    EXPECT_EQ(MY_ERR_CANNOT_OPEN, 8);
    EXPECT_EQ(MY_ERR_IO, 9);
    EXPECT_EQ(MY_ERR_TIMEOUT, 10);
    EXPECT_EQ(MY_ERR_UNEXPECTED_REPLY, 11);
    EXPECT_EQ(MY_ERR_ADAPTER_ERROR, 13);
    EXPECT_EQ(MY_ERR_NO_TEMIC, 14);
    EXPECT_EQ(MY_ERR_TEMIC_WRITE, 15);
}
