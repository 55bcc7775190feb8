// Mifare Classic access through the stand-in reader library: a blank card lies on a connected reader of a
// temporary world; the tests authenticate, read and write through the rdx_ calls and look at the card file.
#include "test_rdxFixture.h"

#include "common/HexDiff.h"

#include <array>

using namespace rdxtest;
using rdxworld::CMifareCard;
using rdxworld::mf_size;

namespace {

constexpr uint64_t kOtherKey = 0x0123456789ABull;
constexpr size_t kBlock = 16;

std::vector<uint8_t> pattern(size_t blocks, uint8_t seed) {
    std::vector<uint8_t> v(blocks * kBlock);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<uint8_t>(seed + i);
    return v;
}

} // namespace

class RdxMifare : public ::testing::Test {
protected:
    void SetUp() override {
        world.add_reader();
        uid = world.add_card(mf_size::k1, {0xC3, 0xB2, 0xA1, 0x04});
        world.put(uid);
        ASSERT_EQ(owner.status(), RDX_OK);
        reader.emplace();
        ASSERT_EQ(rdx_reader_connect(reader->get(), 0), RDX_OK);
    }
    void TearDown() override { reader.reset(); }

    CMifareCard card_file() const {
        auto card = world.world().load_card(uid);
        EXPECT_TRUE(card.has_value());
        return card.value_or(CMifareCard(mf_size::k1, {1, 2, 3, 4}));
    }
    rdx_handle h() const { return reader->get(); }

    CTempWorld world;
    CLibraryOwner owner;
    std::string uid;
    std::optional<COpenReader> reader;
};

TEST_F(RdxMifare, WrittenBlocksReadBackAndReachTheCardFile) {
    ASSERT_TRUE(reader->auth(8, kTransportKey));
    const auto data = pattern(3, 0x40);
    ASSERT_EQ(rdx_reader_write_mf_classic(h(), 8, data.data(), 3, 0), RDX_OK);
    std::vector<uint8_t> back(3 * kBlock);
    ASSERT_EQ(rdx_reader_read_mf_classic(h(), 8, back.data(), 3, 0), RDX_OK);
    EXPECT_BYTES_EQ(data, back);
    const CMifareCard card = card_file();
    std::vector<uint8_t> stored;
    for (uint32_t b = 8; b < 11; ++b)
        stored.insert(stored.end(), card.block(b).begin(), card.block(b).end());
    EXPECT_BYTES_EQ(data, stored);
}

TEST_F(RdxMifare, ManufacturerBlockIsRefused) {
    ASSERT_TRUE(reader->auth(0, kTransportKey));
    const auto before = card_file().block(0);
    const auto data = pattern(2, 0x11);
    EXPECT_EQ(rdx_reader_write_mf_classic(h(), 0, data.data(), 2, 0), RDX_E_READ_ONLY);
    EXPECT_EQ(card_file().block(0), before);
    EXPECT_EQ(card_file().block(1), CMifareCard::block_t{});
}

TEST_F(RdxMifare, UnauthenticatedSectorCannotBeReadOrWritten) {
    std::vector<uint8_t> buf(2 * kBlock);
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_E_NOT_AUTHENTICATED);
    ASSERT_TRUE(reader->auth(4, kTransportKey));
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 8, buf.data(), 1, 0), RDX_E_NOT_AUTHENTICATED);
    // A range may not run out of the open sector.
    EXPECT_EQ(rdx_reader_write_mf_classic(h(), 7, buf.data(), 2, 0), RDX_E_NOT_AUTHENTICATED);
    EXPECT_FALSE(reader->auth(4, kOtherKey));
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_E_NOT_AUTHENTICATED)
        << "a failed authentication closes the sector opened before";
}

TEST_F(RdxMifare, WritingTrailerChangesTheKeyThatGuardsTheSector) {
    ASSERT_TRUE(reader->auth(4, kTransportKey));
    std::array<uint8_t, kBlock> trailer{};
    ASSERT_EQ(rdx_reader_read_mf_classic(h(), 7, trailer.data(), 1, 0), RDX_OK);
    const std::vector<uint8_t> read_back(trailer.begin(), trailer.end());
    EXPECT_BYTES_EQ(
        (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        read_back); // key A never reads back
    for (size_t i = 0; i < 6; ++i)
        trailer[i] = static_cast<uint8_t>(kOtherKey >> (8 * i));
    ASSERT_EQ(rdx_reader_write_mf_classic(h(), 7, trailer.data(), 1, 0), RDX_OK);
    EXPECT_FALSE(reader->auth(4, kTransportKey));
    EXPECT_TRUE(reader->auth(4, kOtherKey));
    EXPECT_EQ(card_file().sector_key(1, 0), kOtherKey);
    EXPECT_TRUE(reader->auth(8, kTransportKey)) << "other sectors keep their key";
}
