// Byte-exact comparisons for tests: on a mismatch the message shows the first differing 16-byte row of both
// buffers in hexadecimal, so a wrong byte in a file or frame is seen at once.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace test {

inline std::string hex_row(const std::vector<uint8_t>& data, size_t offset) {
    std::string row;
    char cell[4];
    for (size_t i = offset; i < std::min(data.size(), offset + 16); ++i) {
        std::snprintf(cell, sizeof cell, "%02X ", data[i]);
        row += cell;
    }
    return row;
}

inline testing::AssertionResult bytes_equal(const std::vector<uint8_t>& expected,
                                            const std::vector<uint8_t>& actual) {
    const size_t common = std::min(expected.size(), actual.size());
    size_t first = 0;
    while (first < common && expected[first] == actual[first])
        ++first;
    if (first == common && expected.size() == actual.size())
        return testing::AssertionSuccess();
    const size_t row = first / 16 * 16;
    char where[64];
    std::snprintf(where, sizeof where, "first difference at offset %zu (0x%zX)", first, first);
    return testing::AssertionFailure()
           << where << "; sizes " << expected.size() << " expected, " << actual.size()
           << " actual\n  expected @" << row << ": " << hex_row(expected, row) << "\n  actual   @" << row
           << ": " << hex_row(actual, row);
}

} // namespace test

#define EXPECT_BYTES_EQ(expected, actual) EXPECT_TRUE(::test::bytes_equal((expected), (actual)))
#define ASSERT_BYTES_EQ(expected, actual) ASSERT_TRUE(::test::bytes_equal((expected), (actual)))
