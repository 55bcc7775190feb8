// Controller memory images: the builders are checked byte for byte at the offsets the controller reads, the
// scanners and decoders against images built here, and damaged images for staying inside their bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "common/HexDiff.h"
#include "layouts/m6.h"

namespace {

using Bytes = std::vector<uint8_t>;

m6::_db_key full_key(std::initializer_list<uint8_t> bytes, KeyAttr attr = KA_NORMAL) {
    m6::_db_key key;
    key.number = CCardUID(std::data(bytes), bytes.size());
    key.attr = attr;
    return key;
}

m6::_db_key short_key(uint8_t b1, uint8_t b2, uint8_t b3, KeyAttr attr = KA_NORMAL) {
    const uint8_t bytes[] = {b1, b2, b3};
    m6::_db_key key;
    key.number = CCardUID(bytes, 3);
    key.is_short = true;
    key.attr = attr;
    return key;
}

bool same_key(const m6::_db_key& a, const m6::_db_key& b) {
    return a.number == b.number && a.is_short == b.is_short && a.attr == b.attr;
}

// An image as the caller prepares it: all 0xFF with the controller's page 0 at its start.
class M6Image : public ::testing::Test {
protected:
    Bytes image = Bytes(m6::kMaxMemSize, 0xFF);
    void SetUp() override {
        image[1] = 0x12; // the controller's own bytes 1 and 2 travel through unchanged
        image[2] = 0x34;
    }
    Bytes slice(size_t offset, size_t n) const {
        return Bytes(image.begin() + offset, image.begin() + offset + n);
    }
};

// ---- memory-type table

// The smallest and largest rows of the table, and zero for codes and types outside it.
TEST(M6MemTypeTable, CodesSizesAndCapacities) {
    EXPECT_EQ(m6::MEM_4K, m6::MemCodeToMemType(0x05));
    EXPECT_EQ(m6::MEM_32K, m6::MemCodeToMemType(0x7A));
    EXPECT_EQ(0x7A, m6::MemTypeToMemCode(m6::MEM_32K));
    EXPECT_EQ(4096u, m6::MemTypeToMemSize(m6::MEM_4K));
    EXPECT_EQ(32768u, m6::MemTypeToMemSize(m6::MEM_32K));
    EXPECT_EQ(680u, m6::MemTypeToKeyCount(m6::MEM_4K));
    EXPECT_EQ(5459u, m6::MemTypeToKeyCount(m6::MEM_32K));
    EXPECT_EQ(m6::MEM_NONE, m6::MemCodeToMemType(0x00));
    EXPECT_EQ(m6::MEM_NONE, m6::MemCodeToMemType(0xFF));
    EXPECT_EQ(0, m6::MemTypeToMemCode(m6::MEM_NONE));
    EXPECT_EQ(0u, m6::MemTypeToMemSize(static_cast<m6::M6MemType>(5)));
    EXPECT_EQ(0u, m6::MemTypeToKeyCount(static_cast<m6::M6MemType>(5)));
}

TEST(M6LockCode, StoredComplementedHighByteFirst) {
    uint8_t header[6] = {};
    m6::StoreLockCode(0x002E, header);
    EXPECT_EQ(0xFF, header[3]);
    EXPECT_EQ(0xD1, header[4]);
    EXPECT_EQ(0x002E, m6::LoadLockCode(header));
}

// ---- Q4 builder

TEST_F(M6Image, Q4EmptyListIsHeaderAndEndRecord) {
    const size_t length = m6::PrepareQ4({}, 46, image.data(), 8192, m6::MEM_8K);
    EXPECT_EQ(12u, length);
    EXPECT_BYTES_EQ((Bytes{0x34, 0x12, 0x34, 0xFF, 0xD1, 0x15, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0, 0xFF}),
                    slice(0, 13));
}

TEST_F(M6Image, Q4FullAndShortRecords) {
    const std::vector<m6::_db_key> keys = {full_key({0x01, 0x02, 0x03, 0x04, 0x05, 0x06}),
                                           short_key(0x0A, 0x0B, 0x0C, KA_BLOCKING)};
    EXPECT_EQ(24u, m6::PrepareQ4(keys, 0x1234, image.data(), 8192, m6::MEM_4K));
    EXPECT_BYTES_EQ((Bytes{0x34, 0x12, 0x34, 0xED, 0xCB, 0x05, // header
                           0x01, 0x02, 0x03, 0x04, 0x05, 0x46, // full key, Normal, nibble 6
                           0x0A, 0x0B, 0x0C, 0xFF, 0xFF, 0x70, // short key, Blocking
                           0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0, // end record
                           0xFF}),
                    slice(0, 25));
}

TEST_F(M6Image, Q4WritesOnlyTheCapacity) {
    const std::vector<m6::_db_key> keys(700, full_key({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(4092u, m6::PrepareQ4(keys, 46, image.data(), 8192, m6::MEM_4K));
    EXPECT_EQ(0xE0, image[4091]);
    EXPECT_BYTES_EQ((Bytes{1, 2, 3, 4, 5, 0x46}), slice(4080, 6)); // record 679, the last one
    EXPECT_EQ(0xFF, image[4092]);
}

TEST_F(M6Image, Q4UnknownTypeKeepsMemoryCodeAndUsesSmallCapacity) {
    image[5] = 0x99;
    const std::vector<m6::_db_key> keys(1000, short_key(1, 2, 3));
    EXPECT_EQ(4092u, m6::PrepareQ4(keys, 46, image.data(), 8192, m6::MEM_NONE));
    EXPECT_EQ(0x99, image[5]);
}

TEST_F(M6Image, Q4FullType2FitsAnEightKilobyteImage) {
    const std::vector<m6::_db_key> keys(1363, short_key(1, 2, 3));
    EXPECT_EQ(8190u, m6::PrepareQ4(keys, 46, image.data(), 8192, m6::MEM_8K));
    EXPECT_EQ(0xE0, image[8189]);
}

// ---- Q6 builder

TEST_F(M6Image, Q6EmptyListType4) {
    EXPECT_EQ(5471u, m6::PrepareQ6({}, 46, image.data(), image.size(), m6::MEM_32K, false));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0x00, 0x34, 0xFF, 0xD1, 0x7A, 0xFF, 0xFF}), slice(0, 8));
    EXPECT_EQ(0xE0, image[5470]);
}

// What clearing and formatting leave: the controller's bytes 0 and 2 stay, lock time 46, one end record.
TEST_F(M6Image, ClearedQ6ListKeepsTheControllersOwnBytes) {
    image[0] = 0x56;
    m6::PrepareEmptyQ6(image.data(), m6::MEM_16K);
    EXPECT_BYTES_EQ((Bytes{0x56, 0x00, 0x34, 0xFF, 0xD1, 0x3A, 0xFF}), slice(0, 7));
    EXPECT_EQ(0xE0, image[2739]);
    EXPECT_EQ(m6::kMaxMemSize - 7 - 1, static_cast<size_t>(std::count(image.begin() + 7, image.end(), 0xFF)));
}

// The same empty list for types 1 and 2, whose memory code stays as it is (the controller formats itself).
TEST_F(M6Image, EmptyListLeavesTheMemoryCode) {
    m6::PrepareEmptyList(image.data(), 680);
    EXPECT_BYTES_EQ((Bytes{0xFF, 0x00, 0x34, 0xFF, 0xD1, 0xFF, 0xFF}), slice(0, 7));
    EXPECT_EQ(0xE0, image[691]);
    EXPECT_EQ(m6::kMaxMemSize - 4, static_cast<size_t>(std::count(image.begin(), image.end(), 0xFF)));
}

// Pages an empty list is written in (up to and including its closing record), and the pages of a Q6 index.
TEST(M6Geometry, EmptyListAndQ6IndexPages) {
    const struct {
        unsigned int capacity;
        size_t end_flag;
        unsigned int pages;
    } cases[] = {{680, 691, 22}, {1363, 1374, 43}, {2728, 2739, 86}, {5459, 5470, 171}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.end_flag, m6::EmptyListEndFlag(c.capacity)) << c.capacity;
        EXPECT_EQ(c.pages, m6::EmptyListPages(c.capacity)) << c.capacity;
    }
    EXPECT_EQ(86u, m6::Q6IndexPages(m6::MEM_16K));
    EXPECT_EQ(171u, m6::Q6IndexPages(m6::MEM_32K));
}

TEST_F(M6Image, Q6IndexAndRecords) {
    const size_t n = 2728;
    const std::vector<m6::_db_key> keys = {full_key({0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, KA_MASTER),
                                           short_key(0xA1, 0xA2, 0xA3, KA_INACTIVE),
                                           full_key({0x01, 0x02, 0x03, 0x04, 0x05})};
    EXPECT_EQ(n + 12 + 15, m6::PrepareQ6(keys, 46, image.data(), image.size(), m6::MEM_16K, false));
    EXPECT_EQ(0x3A, image[5]);
    EXPECT_BYTES_EQ((Bytes{0x11, 0xA1, 0x01, 0xFF, 0xFF}), slice(6, 5));
    EXPECT_BYTES_EQ((Bytes{0x22, 0x33, 0x44, 0x55, 0x26,   // bytes 2-6, Master, nibble 6
                           0xA2, 0xA3, 0xFF, 0xFF, 0x10,   // short, Inactive
                           0x02, 0x03, 0x04, 0x05, 0x40,   // 5-byte key: byte 6 is 0
                           0xFF, 0xFF, 0xFF, 0xFF, 0xE0}), // end record
                    slice(n + 7, 20));
}

TEST_F(M6Image, Q6Xor0IndexIsTheXorOfTheNumber) {
    const std::vector<m6::_db_key> keys = {full_key({0x01, 0x02, 0x03, 0x04, 0x05, 0x06}),
                                           short_key(0x0A, 0x0B, 0x0C)};
    m6::PrepareQ6(keys, 46, image.data(), image.size(), m6::MEM_32K, true);
    EXPECT_EQ(0x07, image[6]);
    EXPECT_EQ(0x0A ^ 0x0B ^ 0x0C, image[7]);
}

TEST_F(M6Image, Q6WritesOnlyTheCapacity) {
    const std::vector<m6::_db_key> keys(6000, short_key(1, 2, 3));
    const size_t n = 5459;
    EXPECT_EQ(n + 12 + 5 * n, m6::PrepareQ6(keys, 46, image.data(), image.size(), m6::MEM_32K, false));
    EXPECT_EQ(0xFF, image[6 + n]);
    EXPECT_EQ(0xE0, image[n + 11 + 5 * n]);
}

TEST_F(M6Image, Q6UnknownTypeWritesAnEmptyHeader) {
    image[5] = 0x99;
    EXPECT_EQ(12u, m6::PrepareQ6({short_key(1, 2, 3)}, 46, image.data(), image.size(), m6::MEM_NONE, false));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0x00, 0x34, 0xFF, 0xD1, 0x99, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0}),
                    slice(0, 12));
}

TEST_F(M6Image, TooSmallImageThrows) {
    EXPECT_THROW(m6::PrepareQ4({short_key(1, 2, 3)}, 46, image.data(), 17, m6::MEM_8K), std::length_error);
    EXPECT_THROW(m6::PrepareQ6({}, 46, image.data(), 5470, m6::MEM_32K, false), std::length_error);
}

// ---- scanners

TEST_F(M6Image, Q4ScanResumesAsPagesArrive) {
    const std::vector<m6::_db_key> keys(20, short_key(1, 2, 3)); // end flag at 6 + 120 + 5 = 131
    m6::PrepareQ4(keys, 46, image.data(), 8192, m6::MEM_8K);
    unsigned pos = 0;
    EXPECT_FALSE(m6::CheckEndQ2Q4(image.data(), 32, pos));
    EXPECT_GE(pos, 32u);
    EXPECT_FALSE(m6::CheckEndQ2Q4(image.data(), 64, pos));
    EXPECT_FALSE(m6::CheckEndQ2Q4(image.data(), 128, pos));
    EXPECT_TRUE(m6::CheckEndQ2Q4(image.data(), 160, pos));
    EXPECT_EQ(131u, pos);
    EXPECT_EQ(20u, m6::KeyCountQ2Q4(image.data(), pos));
}

TEST_F(M6Image, Q2EndMarkerAtOffset16MeansTwoKeys) {
    const Bytes q2 = {0x10, 0,    0,    0,    0,    0,    0,    0, 0x01, 0xAA,
                      0xBB, 0xCC, 0x00, 0x11, 0x22, 0x33, 0x04, 0, 0,    0};
    std::copy(q2.begin(), q2.end(), image.begin());
    unsigned pos = 0;
    EXPECT_TRUE(m6::CheckEndQ2Q4(image.data(), 32, pos));
    EXPECT_EQ(16u, pos);
    ASSERT_EQ(2u, m6::KeyCountQ2Q4(image.data(), pos));
    std::vector<m6::_db_key> keys;
    ASSERT_EQ(2u, m6::DecodeQ2Q4Keys(image.data(), image.size(), 2, keys));
    EXPECT_TRUE(same_key(short_key(0xAA, 0xBB, 0xCC, KA_MASTER), keys[0]));
    EXPECT_TRUE(same_key(short_key(0x11, 0x22, 0x33, KA_NORMAL), keys[1]));
}

TEST_F(M6Image, ScannerWithNothingReadFindsNothing) {
    unsigned pos = 0;
    EXPECT_FALSE(m6::CheckEndQ2Q4(image.data(), 0, pos));
    EXPECT_FALSE(m6::CheckEndQ6(image.data(), 0, 2729, pos));
}

TEST_F(M6Image, Q6EmptyListEndsAtFirstIndex) {
    m6::PrepareQ6({}, 46, image.data(), image.size(), m6::MEM_32K, false);
    unsigned pos = 0;
    EXPECT_TRUE(m6::CheckEndQ6(image.data(), 5472, 5460, pos));
    EXPECT_EQ(0u, m6::KeyCountQ6(pos));
}

TEST_F(M6Image, Q6ScanWaitsForTheMatchingRecordPage) {
    const std::vector<m6::_db_key> keys(100, full_key({1, 2, 3, 4, 5, 6})); // end flag at N + 11 + 500
    m6::PrepareQ6(keys, 46, image.data(), image.size(), m6::MEM_16K, false);
    const unsigned n = 2728, flag = n + 11 + 500;
    unsigned pos = 0;
    EXPECT_FALSE(m6::CheckEndQ6(image.data(), 2752, n + 1, pos)); // the index area only
    EXPECT_EQ(106u, pos);
    EXPECT_FALSE(m6::CheckEndQ6(image.data(), flag, n + 1, pos));
    EXPECT_TRUE(m6::CheckEndQ6(image.data(), flag + 1, n + 1, pos));
    EXPECT_EQ(100u, m6::KeyCountQ6(pos));
}

TEST_F(M6Image, Q6IndexByteFFOfAKeyIsNotTheEnd) {
    const std::vector<m6::_db_key> keys = {full_key({0xFF, 2, 3, 4, 5, 6}), short_key(7, 8, 9)};
    m6::PrepareQ6(keys, 46, image.data(), image.size(), m6::MEM_16K, false);
    unsigned pos = 0;
    EXPECT_TRUE(m6::CheckEndQ6(image.data(), 4096, 2729, pos));
    EXPECT_EQ(2u, m6::KeyCountQ6(pos));
}

// A Q4 list written out by hand: any flag byte with bit 7 set closes the list.
TEST_F(M6Image, Q4EndRecordIsToldByBit7OfItsFlag) {
    const Bytes start = {0x34, 0x12, 0x34, 0xFF, 0xD1, 0x15, 0x01, 0x02, 0x03, 0x04, 0x05, 0x46};
    std::copy(start.begin(), start.end(), image.begin());
    const std::pair<uint8_t, unsigned> rows[] = {{0x80, 17}, {0xE0, 17}, {0xC3, 17}, {0x46, 23}};
    for (const auto& [flag, end] : rows) {
        image[17] = flag; // flag byte of record 1; record 2 is still erased (0xFF)
        unsigned pos = 0;
        EXPECT_TRUE(m6::CheckEndQ2Q4(image.data(), 32, pos)) << int(flag);
        EXPECT_EQ(end, pos) << int(flag);
    }
}

// A type 3 list of one key written out by hand: the end record is told by the high nibble of its flag byte
// alone, whatever the controller left in the low nibble.
TEST_F(M6Image, Q6EndRecordIsToldByTheHighNibbleOfItsFlag) {
    const Bytes header = {0xFF, 0x00, 0x34, 0xFF, 0xD1, 0x3A, 0x11, 0xFF};
    const Bytes record = {0x22, 0x33, 0x44, 0x55, 0x46}; // full key 11 22 33 44 55 06, Normal
    std::copy(header.begin(), header.end(), image.begin());
    std::copy(record.begin(), record.end(), image.begin() + 2735); // records start at capacity + 7
    const std::pair<uint8_t, bool> rows[] = {
        {0xE0, true}, {0xE7, true}, {0xEF, true}, {0xF0, false}, {0x60, false}};
    for (const auto& [flag, is_end] : rows) {
        image[2744] = flag; // byte 4 of record 1
        unsigned pos = 0;
        EXPECT_EQ(is_end, m6::CheckEndQ6(image.data(), 2752, 2729, pos)) << int(flag);
        if (is_end) {
            EXPECT_EQ(1u, m6::KeyCountQ6(pos)) << int(flag);
        }
    }
    std::vector<m6::_db_key> keys;
    ASSERT_EQ(1u, m6::DecodeQ6Keys(image.data(), 2752, m6::MEM_16K, 1, false, keys));
    EXPECT_TRUE(same_key(full_key({0x11, 0x22, 0x33, 0x44, 0x55, 0x06}), keys[0]));
}

// ---- decoders

TEST_F(M6Image, DecodeKeysPicksTheLayoutByType) {
    const std::vector<m6::_db_key> keys = {full_key({1, 2, 3, 4, 5, 6}), short_key(7, 8, 9)};
    Bytes q4 = image;
    m6::PrepareQ4(keys, 46, q4.data(), 8192, m6::MEM_8K);
    m6::PrepareQ6(keys, 46, image.data(), image.size(), m6::MEM_32K, true);
    std::vector<m6::_db_key> back;
    ASSERT_EQ(2u, m6::DecodeKeys(q4.data(), 8192, m6::MEM_8K, 2, true, back));
    ASSERT_EQ(2u, m6::DecodeKeys(image.data(), image.size(), m6::MEM_32K, 2, true, back));
    for (size_t i = 0; i < back.size(); ++i)
        EXPECT_TRUE(same_key(keys[i % 2], back[i])) << "key " << i;
}

TEST_F(M6Image, DecodedCountsStayInsideTheImage) {
    std::vector<m6::_db_key> keys;
    EXPECT_EQ((64u - 6) / 6, m6::DecodeQ2Q4Keys(image.data(), 64, 100000, keys));
    keys.clear();
    image[0] = 0x00; // Q2
    EXPECT_EQ((64u - 8) / 4, m6::DecodeQ2Q4Keys(image.data(), 64, 100000, keys));
    keys.clear();
    EXPECT_EQ(0u, m6::DecodeQ2Q4Keys(image.data(), 5, 10, keys));
    EXPECT_EQ(0u, m6::DecodeQ6Keys(image.data(), 5000, m6::MEM_32K, 10, false, keys));
    EXPECT_EQ(5459u, m6::DecodeQ6Keys(image.data(), image.size(), m6::MEM_32K, 100000, false, keys));
    keys.clear();
    EXPECT_EQ(0u, m6::DecodeQ6Keys(image.data(), image.size(), m6::MEM_NONE, 10, false, keys));
}

TEST(M6Attributes, FlagCodesReadBack) {
    EXPECT_EQ(KA_NORMAL, m6::FlagBitsToAttr(0x40));
    EXPECT_EQ(KA_BLOCKING, m6::FlagBitsToAttr(0x60));
    EXPECT_EQ(KA_MASTER, m6::FlagBitsToAttr(0x20));
    EXPECT_EQ(KA_INACTIVE, m6::FlagBitsToAttr(0x00));
    EXPECT_EQ(KA_INACTIVE, m6::FlagBitsToAttr(m6::AttrToFlagBits(KA_INACTIVE)));
    EXPECT_EQ(0, m6::AttrToFlagBits(static_cast<KeyAttr>(7)));
}

} // namespace
