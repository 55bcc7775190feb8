// The ports' receive buffer: consuming, searching, in-place decoding through get_buffer/release_buffer, and
// the occasional compaction that keeps consume cheap.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "adapter/CFastBuffer.h"
#include "common/HexDiff.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes unread(const CFastBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

class CFastBufferTest : public ::testing::Test {
protected:
    CFastBuffer buffer{1024};
    void put(const Bytes& bytes) { buffer.append(bytes.data(), bytes.size()); }
};

TEST_F(CFastBufferTest, AtBeyondTheEndThrows) {
    put({1, 2});
    EXPECT_EQ(2, buffer.at(1));
    EXPECT_THROW(buffer.at(buffer.size()), std::out_of_range);
}

TEST_F(CFastBufferTest, ConsumeAdvancesTheUnreadBytes) {
    put({0xAA, 0x55, 0xCC, 0x40});
    buffer.consume(1);
    EXPECT_EQ(3u, buffer.size());
    EXPECT_EQ(0x55, buffer.front());
    EXPECT_EQ(1, buffer.find(0xCC));
    EXPECT_EQ(-1, buffer.find(0xAA)); // consumed bytes are not found
    EXPECT_EQ(0x40, buffer.at(2));
    buffer.consume(100); // more than is there empties it
    EXPECT_TRUE(buffer.empty());
}

TEST_F(CFastBufferTest, AppendAfterConsumeKeepsOrder) {
    put({1, 2, 3, 4, 5, 6, 7, 8});
    buffer.consume(3);
    put({9, 10});
    EXPECT_BYTES_EQ((Bytes{4, 5, 6, 7, 8, 9, 10}), unread(buffer));
    buffer.append(nullptr, 0);
    EXPECT_EQ(7u, buffer.size());
}

TEST_F(CFastBufferTest, DecodingInPlaceBehindUnreadBytes) {
    put({1, 2, 3});
    buffer.consume(1);
    // The TCP port asks for the unread bytes plus the worst case and writes behind them.
    const size_t old = buffer.size();
    uint8_t* out = buffer.get_buffer(old + 4);
    EXPECT_EQ(2, out[0]);
    out[old] = 0x41;
    out[old + 1] = 0x42;
    buffer.release_buffer(old + 2);
    EXPECT_BYTES_EQ((Bytes{2, 3, 0x41, 0x42}), unread(buffer));
}

TEST_F(CFastBufferTest, ConsumingMoreThanHalfCompacts) {
    put(Bytes(100, 1));
    buffer.consume(40);
    EXPECT_EQ(60u, buffer.size());
    buffer.consume(20); // 60 of 100 consumed: the rest moves to the front
    put({2});
    EXPECT_EQ(41u, buffer.size());
    EXPECT_EQ(2, buffer.at(40));
}

} // namespace
