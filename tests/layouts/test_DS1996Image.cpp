// The DS1996L's own bytes: the page 0 of a prepared key, byte for byte, and the content states of byte 0.
#include <gtest/gtest.h>

#include <vector>

#include "common/HexDiff.h"
#include "layouts/DS1996Image.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DS1996Image, PreparedPageZero) {
    Bytes page(m6::kPageSize, 0x00);
    ds1996_prepared_page0(page.data(), 0x5A);
    const Bytes expected = {0x01, 0x00, 0x5A, 0xFF, 0xD1, 0x15, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                            0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_BYTES_EQ(expected, page);
}

TEST(DS1996Image, ContentStatesOfByteZero) {
    EXPECT_EQ(0x01, kDs1996Prepared);
    EXPECT_EQ(0x33, kDs1996BaseComplete);
    EXPECT_EQ(0x34, kDs1996BaseIncomplete);
}

// The key holds the Q4 image of memory type 2.
TEST(DS1996Image, CapacityIsThatOfItsMemoryType) {
    EXPECT_EQ(1363u, kDs1996Capacity);
    EXPECT_EQ(kDs1996Capacity, m6::MemTypeToKeyCount(kDs1996MemType));
    EXPECT_EQ(kDs1996Size, m6::MemTypeToMemSize(kDs1996MemType));
}

} // namespace
