// Tests of CCardUID: construction keeps the reader library's layout and clears unused bytes, and the
// hexadecimal database text round-trips.
#include "keys/CCardUID.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/HexDiff.h"
#include "keys/KeyTestPrint.h"

namespace {

std::vector<std::uint8_t> padded(std::vector<std::uint8_t> v) {
    v.resize(CCardUID::kMaxBytes, 0);
    return v;
}

} // namespace

class CCardUIDTest : public ::testing::Test {};

TEST_F(CCardUIDTest, CopiesReaderLibraryRecordAsItIs) {
    rdx_card_uid uid{};
    uid.length = 7;
    const std::uint8_t src[7] = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    std::memcpy(uid.bytes, src, sizeof(src));
    CCardUID n(uid);
    EXPECT_EQ(n.length, 7);
    EXPECT_BYTES_EQ(padded({0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}), all_bytes(n));
    const rdx_card_uid back = n.to_rdx();
    EXPECT_EQ(std::memcmp(&back, &uid, sizeof(uid)), 0);
}

TEST_F(CCardUIDTest, CorruptReaderRecordIsCutAndCleared) {
    rdx_card_uid uid;
    std::memset(&uid, 0xEE, sizeof(uid)); // length 0xEE and stray bytes everywhere
    CCardUID n(uid);
    EXPECT_EQ(n.length, 15);
    uid.length = 2;
    CCardUID two(uid);
    EXPECT_EQ(two.length, 2);
    EXPECT_BYTES_EQ(padded({0xEE, 0xEE}), all_bytes(two));
}

TEST_F(CCardUIDTest, FromIntegerTakesLowestBytesFirst) {
    CCardUID n(0x0000123456789ABCull, 3);
    EXPECT_EQ(n.length, 3);
    EXPECT_BYTES_EQ(padded({0xBC, 0x9A, 0x78}), all_bytes(n));
    CCardUID wide(0xFFull, 40);
    EXPECT_EQ(wide.length, 15);
    EXPECT_BYTES_EQ(padded({0xFF}), all_bytes(wide));
}

TEST_F(CCardUIDTest, FromBufferKeepsAtMostFifteenBytes) {
    std::vector<std::uint8_t> src(20);
    for (std::size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<std::uint8_t>(i + 1);
    CCardUID n(src.data(), src.size());
    EXPECT_EQ(n.length, 15);
    EXPECT_BYTES_EQ(std::vector<std::uint8_t>(src.begin(), src.begin() + 15), all_bytes(n));
    CCardUID none(nullptr, 5);
    EXPECT_EQ(none.length, 0);
}

TEST_F(CCardUIDTest, EmMarineConstructorPlacesNumberSeriesAndCode) {
    CCardUID n(0x0A, 0x1B2C, 0x1234);
    EXPECT_EQ(n.length, 5);
    EXPECT_BYTES_EQ(padded({0x2C, 0x1B, 0x0A, 0x34, 0x12}), all_bytes(n));
}

TEST_F(CCardUIDTest, TryParseReadsPairsFromTheEnd) {
    CCardUID n;
    ASSERT_TRUE(n.TryParse("0000000a1B2c"));
    EXPECT_EQ(n.length, 6);
    EXPECT_BYTES_EQ(padded({0x2C, 0x1B, 0x0A, 0, 0, 0}), all_bytes(n));
    ASSERT_TRUE(n.TryParse("ABC")); // a leftover odd digit is dropped
    EXPECT_EQ(n.length, 1);
    EXPECT_BYTES_EQ(padded({0xBC}), all_bytes(n));
}

TEST_F(CCardUIDTest, TryParseKeepsLastThirtyDigits) {
    CCardUID n;
    // Text left of the fifteenth byte is not read at all, even when it is no hexadecimal.
    ASSERT_TRUE(n.TryParse("XY0102030405060708090A0B0C0D0E0F"));
    EXPECT_EQ(n.length, 15);
    EXPECT_EQ(n.ToString(), "0102030405060708090A0B0C0D0E0F");
}

TEST_F(CCardUIDTest, TryParseFailureLeavesValueUnchanged) {
    CCardUID n(0x1234ull, 2);
    const CCardUID before = n;
    EXPECT_FALSE(n.TryParse(""));
    EXPECT_FALSE(n.TryParse("12G4"));
    EXPECT_FALSE(n.TryParse(std::string_view("12\0"
                                             "4",
                                             4)));
    EXPECT_EQ(n, before);
}

TEST_F(CCardUIDTest, ToStringRoundTripsEveryLength) {
    for (std::size_t len = 0; len <= 15; ++len) {
        std::uint8_t src[15];
        for (std::size_t i = 0; i < 15; ++i)
            src[i] = static_cast<std::uint8_t>(0x9F * (i + 1) + len);
        const CCardUID n(src, len);
        CCardUID back;
        if (len == 0) {
            EXPECT_FALSE(back.TryParse(n.ToString()));
            continue;
        }
        ASSERT_TRUE(back.TryParse(n.ToString())) << len;
        EXPECT_EQ(back, n) << n.ToString();
    }
}
