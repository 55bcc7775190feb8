// Tests of the card-set format without a reader: card geometry, the trailer's access bits, collecting the
// stream card by card and decoding it, including card contents that claim more than the buffer holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>
#include <vector>

#include "readers/CMifareThread.h"

namespace {

constexpr unsigned kMini = 320, k1K = 1024, k2K = 2048, k4K = 4096;

class CMifareCardFormatTest : public ::testing::Test {
protected:
    static std::vector<m6::_db_key> make_keys(unsigned count) {
        std::vector<m6::_db_key> keys;
        for (unsigned i = 0; i < count; ++i) {
            m6::_db_key key;
            key.number = CCardUID(uint64_t{0x0A0000000000} + i * 7919u, 6);
            key.attr = static_cast<KeyAttr>(1 + i % 3);
            keys.push_back(key);
        }
        return keys;
    }
    // The stream as the set's cards carry it: block 2, then every data block of the other sectors.
    static std::vector<unsigned char> card_blocks(const std::vector<unsigned char>& stream, unsigned& at,
                                                  unsigned memory_size) {
        const unsigned capacity = CMifareThread::MfCardCapacity(memory_size);
        std::vector<unsigned char> blocks(capacity, 0xFF);
        const unsigned n = std::min<unsigned>(capacity, static_cast<unsigned>(stream.size()) - at);
        std::copy_n(stream.begin() + at, n, blocks.begin());
        at += n;
        return blocks;
    }
    // Reads the stream back card by card as the worker does: block 2, then sector by sector.
    static bool read_back(const std::vector<unsigned char>& stream, const std::vector<unsigned>& sizes,
                          std::vector<unsigned char>& buffer, unsigned& offset, unsigned& pos,
                          unsigned& cards) {
        unsigned at = 0;
        cards = 0;
        for (unsigned size : sizes) {
            const auto blocks = card_blocks(stream, at, size);
            ++cards;
            bool end = CMifareThread::AppendStream(buffer.data(), offset, pos, blocks.data(), 1);
            unsigned block = 1;
            for (unsigned s = 1; !end && s < CMifareThread::MfSectorCount(size); ++s) {
                const unsigned n = CMifareThread::MfSectorBlockCount(s) - 1;
                end = CMifareThread::AppendStream(buffer.data(), offset, pos, blocks.data() + 16 * block, n);
                block += n;
            }
            if (end)
                return true;
        }
        return false;
    }
};

TEST_F(CMifareCardFormatTest, GeometryAndCapacityOfEveryCardSize) {
    for (auto [size, sectors, capacity] :
         {std::tuple{kMini, 5u, 0u}, {k1K, 16u, 736u}, {k2K, 32u, 1504u}, {k4K, 40u, 3424u}}) {
        EXPECT_EQ(CMifareThread::MfSectorCount(size), sectors) << size;
        if (capacity) {
            EXPECT_EQ(CMifareThread::MfCardCapacity(size), capacity) << size;
        }
    }
    EXPECT_EQ(CMifareThread::MfSectorFirstBlock(32), 128u);
    EXPECT_EQ(CMifareThread::MfSectorBlockCount(39), 16u);
    EXPECT_EQ(CMifareThread::MfCardCapacity(0), 0u);
    EXPECT_EQ(CMifareThread::MfSectorCount(0xFFFFFFFFu), 40u) << "no card has more than 40 sectors";
}

// Trailer bytes 6-8 as cards are configured (transport; key B writes; key B writes, data read-only with
// key A; all 011) and as they are damaged or masked.
TEST_F(CMifareCardFormatTest, AccessBitsMustMatchTheirComplements) {
    const std::tuple<std::array<unsigned char, 3>, bool> rows[] = {
        {{0xFF, 0x07, 0x80}, true},  {{0x78, 0x77, 0x88}, true},  {{0x7F, 0x07, 0x88}, true},
        {{0x0F, 0x00, 0xFF}, true},  {{0x00, 0x00, 0x00}, false}, {{0xFF, 0xFF, 0xFF}, false},
        {{0xFF, 0x07, 0x88}, false}, {{0xFF, 0x87, 0x80}, false}, {{0xFE, 0x07, 0x80}, false},
    };
    for (const auto& [access, valid] : rows) {
        unsigned char trailer[16] = {};
        std::copy(access.begin(), access.end(), trailer + 6);
        EXPECT_EQ(CMifareThread::AccessBitsValid(trailer), valid)
            << std::hex << int(access[0]) << " " << int(access[1]) << " " << int(access[2]);
    }
}

TEST_F(CMifareCardFormatTest, FullListNeedsTwelveOneKCardsOrThreeFourKCards) {
    std::vector<unsigned char> image(8192, 0xFF);
    const auto keys = make_keys(1363);
    const size_t length = m6::PrepareQ4(keys, 0x1234, image.data(), image.size(), m6::MEM_8K);
    ASSERT_EQ(length, 8190u);
    image.resize(length);
    for (const auto& sizes : {std::vector<unsigned>(12, k1K), std::vector<unsigned>(3, k4K),
                              std::vector<unsigned>{k4K, k1K, k2K, k1K, k1K, k4K}}) {
        std::vector<unsigned char> buffer(8192);
        unsigned offset = 0, pos = 0, cards = 0;
        ASSERT_TRUE(read_back(image, sizes, buffer, offset, pos, cards));
        EXPECT_EQ(cards, sizes.size());
        std::vector<m6::_db_key> decoded;
        unsigned short lock = 0;
        CMifareThread::DecodeStream(buffer.data(), offset, pos, decoded, lock);
        EXPECT_EQ(lock, 0x1234);
        ASSERT_EQ(decoded.size(), keys.size());
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(decoded[i].number, keys[i].number) << i;
            EXPECT_EQ(decoded[i].attr, keys[i].attr) << i;
        }
    }
    std::vector<unsigned char> buffer(8192);
    unsigned offset = 0, pos = 0, cards = 0;
    EXPECT_FALSE(read_back(image, std::vector<unsigned>(11, k1K), buffer, offset, pos, cards))
        << "eleven 1K cards";
}

TEST_F(CMifareCardFormatTest, AppendingToAFullBufferStaysInside) {
    std::vector<unsigned char> buffer(8192, 0x00);
    std::vector<unsigned char> blocks(16 * 15, 0x00);
    unsigned offset = 8192 - 32, pos = 0;
    EXPECT_FALSE(CMifareThread::AppendStream(buffer.data(), offset, pos, blocks.data(), 15));
    EXPECT_EQ(offset, 8192u);
    EXPECT_FALSE(CMifareThread::AppendStream(buffer.data(), offset, pos, blocks.data(), 15));
    EXPECT_EQ(offset, 8192u);
    offset = 100000; // a damaged offset is cut to the buffer
    EXPECT_FALSE(CMifareThread::AppendStream(buffer.data(), offset, pos, blocks.data(), 1));
    EXPECT_EQ(offset, 8192u);
}

TEST_F(CMifareCardFormatTest, DecodingTrustsNoClaimedKeyCount) {
    std::vector<unsigned char> buffer(8192, 0x00);
    buffer[0] = 0x34;
    std::vector<m6::_db_key> keys;
    unsigned short lock = 0;
    // A scan position far beyond the bytes read claims thousands of keys.
    CMifareThread::DecodeStream(buffer.data(), 64, 0xFFFFFFF0u, keys, lock);
    EXPECT_EQ(keys.size(), (64u - 6u) / 6u);
    buffer[0] = 0x05; // old layout, 4-byte records from offset 8
    CMifareThread::DecodeStream(buffer.data(), 8192, 0xFFFFFFF0u, keys, lock);
    EXPECT_EQ(keys.size(), (8192u - 8u) / 4u);
    CMifareThread::DecodeStream(buffer.data(), 3, 11, keys, lock);
    EXPECT_TRUE(keys.empty());
}

} // namespace
