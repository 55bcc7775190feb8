// Temic (T5557) encoders and tag writing of the stand-in reader library. The worked examples were worked out
// by hand from the formats: EM4100 (9 header ones, 10 rows of 4 bits with even parity, 4 column parities,
// stop bit 0) and HID Prox H10301 (Wiegand 26 with its two parities, sentinel and length marker, preamble
// 0x1D and every payload bit sent as "10" or "01"). A decoder written here from the same formats takes the
// block words back to the number.
#include "test_rdxFixture.h"

#include "sim/rdxworld/T57Codec.h"

#include <optional>

using namespace rdxtest;

namespace {

// Words hold the block's bytes in sending order; the block value has the first bit in bit 31.
uint32_t block_of(uint32_t word) {
    return ((word & 0xFF) << 24) | ((word & 0xFF00) << 8) | ((word >> 8) & 0xFF00) | (word >> 24);
}

int bit_at(const std::vector<uint32_t>& blocks, size_t i) {
    return (blocks[i / 32] >> (31 - i % 32)) & 1;
}

std::optional<uint64_t> decode_em(uint32_t w1, uint32_t w2) {
    const std::vector<uint32_t> b = {block_of(w1), block_of(w2)};
    for (size_t i = 0; i < 9; ++i)
        if (!bit_at(b, i))
            return std::nullopt;
    uint64_t n = 0;
    int col[4] = {0, 0, 0, 0};
    for (size_t row = 0; row < 10; ++row) {
        int p = 0;
        for (size_t c = 0; c < 4; ++c) {
            const int bit = bit_at(b, 9 + row * 5 + c);
            n = (n << 1) | static_cast<uint64_t>(bit);
            p ^= bit;
            col[c] ^= bit;
        }
        if (p != bit_at(b, 9 + row * 5 + 4))
            return std::nullopt;
    }
    for (size_t c = 0; c < 4; ++c)
        if (col[c] != bit_at(b, 59 + c))
            return std::nullopt;
    if (bit_at(b, 63) != 0)
        return std::nullopt;
    return n;
}

std::optional<uint32_t> decode_hid(uint32_t w1, uint32_t w2, uint32_t w3) {
    const std::vector<uint32_t> b = {block_of(w1), block_of(w2), block_of(w3)};
    if ((b[0] >> 24) != 0x1D)
        return std::nullopt;
    std::vector<int> payload; // 44 bits, first first
    for (size_t i = 8; i < 96; i += 2) {
        if (bit_at(b, i) == bit_at(b, i + 1))
            return std::nullopt;
        payload.push_back(bit_at(b, i));
    }
    // 44 bits: 6 zeros, the length marker, 10 zeros, the sentinel, then the 26 Wiegand bits.
    for (size_t i = 0; i < 18; ++i)
        if (payload[i] != (i == 6 || i == 17 ? 1 : 0))
            return std::nullopt;
    const std::vector<int> w(payload.begin() + 18, payload.end());
    int even = 0, odd = 1;
    uint32_t n = 0;
    for (size_t i = 1; i <= 24; ++i) {
        n = (n << 1) | static_cast<uint32_t>(w[i]);
        (i <= 12 ? even : odd) ^= w[i];
    }
    if (even != w[0] || odd != w[25])
        return std::nullopt;
    return n;
}

rdx_card_uid number(std::initializer_list<uint8_t> bytes) {
    rdx_card_uid uid{};
    for (uint8_t b : bytes)
        uid.bytes[uid.length++] = b;
    return uid;
}

std::vector<uint32_t> encode_em(const rdx_card_uid& n) {
    std::vector<uint32_t> w(3, 0);
    EXPECT_EQ(rdx_encode_temic_emmarine(&n, w.data(), 3), RDX_OK);
    return w;
}

std::vector<uint32_t> encode_hid(const rdx_card_uid& n) {
    std::vector<uint32_t> w(4, 0);
    EXPECT_EQ(rdx_encode_temic_hid(&n, w.data(), 4, 26), RDX_OK);
    return w;
}

} // namespace

class RdxTemic : public ::testing::Test {};

TEST_F(RdxTemic, EmMarineWorkedExampleAndExtremes) {
    // Code 1234, series 010, number 06956: 40 bits 12 34 0A 1B 2C.
    const auto w = encode_em(number({0x2C, 0x1B, 0x0A, 0x34, 0x12}));
    EXPECT_EQ(w, (std::vector<uint32_t>{0x40801400, 0x48A68CFF, 0x14973B28}));
    // Block 1 = FF8CA648: nine ones, then 0001 1 0010 1 0011 0 0100 1 0000 0 1010 0 1...
    EXPECT_EQ(block_of(w[1]), 0xFF8CA648u);
    EXPECT_EQ(encode_em(number({0, 0, 0, 0, 0})),
              (std::vector<uint32_t>{0x40801400, 0x000080FF, 0x00000000}));
    EXPECT_EQ(encode_em(number({0xFF, 0xFF, 0xFF, 0xFF, 0xFF})),
              (std::vector<uint32_t>{0x40801400, 0xF7DEFBFF, 0xC07BEFBD}));
}

TEST_F(RdxTemic, EmMarineRoundTrips) {
    for (uint64_t n : {0x0ull, 0x12340A1B2Cull, 0xFFFFFFFFFFull, 0x8000000001ull, 0x00DEADBEEFull}) {
        rdx_card_uid uid{};
        uid.length = 5;
        for (int i = 0; i < 5; ++i)
            uid.bytes[i] = static_cast<uint8_t>(n >> (8 * i));
        const auto w = encode_em(uid);
        EXPECT_EQ(decode_em(w[1], w[2]), n);
        EXPECT_EQ(rdxworld::T57_DecodeEmMarine(block_of(w[1]), block_of(w[2])), n);
    }
}

TEST_F(RdxTemic, EmMarineRefusesMoreThanFortyBits) {
    std::vector<uint32_t> w(3);
    auto big = number({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(rdx_encode_temic_emmarine(&big, w.data(), 3), RDX_E_OUT_OF_RANGE);
    auto six = number({1, 2, 3, 4, 5, 0});
    EXPECT_EQ(rdx_encode_temic_emmarine(&six, w.data(), 3), RDX_OK);
    EXPECT_EQ(rdx_encode_temic_emmarine(&six, w.data(), 2), RDX_E_INVALID_ARG);
}

TEST_F(RdxTemic, HidWorkedExampleAndExtremes) {
    // Facility 118, card 1603: Wiegand 2EC0C86, 44-bit payload 2006EC0C86.
    EXPECT_EQ(rdxworld::T57_H10301Frame((118u << 16) | 1603u), 0x2EC0C86u);
    const auto w = encode_hid(number({0x43, 0x06, 0x76}));
    EXPECT_EQ(w, (std::vector<uint32_t>{0x60701000, 0x5559551D, 0xA5A96955, 0x6995A555}));
    EXPECT_EQ(block_of(w[1]), 0x1D555955u); // preamble, then 0000 0010 0000 as 01 pairs and one 10
    EXPECT_EQ(encode_hid(number({0, 0, 0})),
              (std::vector<uint32_t>{0x60701000, 0x5559551D, 0x55556555, 0x56555555}));
    EXPECT_EQ(encode_hid(number({0xFF, 0xFF, 0xFF})),
              (std::vector<uint32_t>{0x60701000, 0x5559551D, 0xAAAA6655, 0xAAAAAAAA}));
}

TEST_F(RdxTemic, HidRoundTrips) {
    for (uint32_t n : {0x000000u, 0x760643u, 0xFFFFFFu, 0x0A1B2Cu, 0x800001u}) {
        const auto w = encode_hid(
            number({static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16)}));
        EXPECT_EQ(decode_hid(w[1], w[2], w[3]), n);
        EXPECT_EQ(rdxworld::T57_DecodeHid(block_of(w[1]), block_of(w[2]), block_of(w[3])), n);
    }
}

TEST_F(RdxTemic, HidTakesOnly26BitCardsThatFit) {
    std::vector<uint32_t> w(4);
    auto n = number({1, 2, 3});
    EXPECT_EQ(rdx_encode_temic_hid(&n, w.data(), 4, 37), RDX_E_NOT_SUPPORTED);
    EXPECT_EQ(rdx_encode_temic_hid(&n, w.data(), 3, 26), RDX_E_INVALID_ARG);
    auto big = number({1, 2, 3, 4});
    EXPECT_EQ(rdx_encode_temic_hid(&big, w.data(), 4, 26), RDX_E_OUT_OF_RANGE);
}

TEST_F(RdxTemic, DecodersRejectDamagedBlocks) {
    const auto em = encode_em(number({1, 2, 3, 4, 5}));
    EXPECT_FALSE(decode_em(em[1] ^ 0x00100000, em[2]).has_value());
    EXPECT_FALSE(rdxworld::T57_DecodeEmMarine(block_of(em[1]) ^ 0x1000, block_of(em[2])).has_value());
    const auto hid = encode_hid(number({1, 2, 3}));
    EXPECT_FALSE(
        rdxworld::T57_DecodeHid(block_of(hid[1]), block_of(hid[2]) ^ 0xC0, block_of(hid[3])).has_value());
}

class RdxTemicWriter : public ::testing::Test {
protected:
    CTempWorld world;
};

// What a write leaves on the tag is checked through the adapter worker's Temic tests in tests/adapter.
TEST_F(RdxTemicWriter, WritingPastTheLastBlockIsRefused) {
    world.add_reader("temic1", 1);
    CLibraryOwner owner;
    COpenReader r("temic1");
    ASSERT_EQ(rdx_reader_connect(r.get(), 0), RDX_OK);
    const auto w = encode_em(number({0x2C, 0x1B, 0x0A, 0x34, 0x12}));
    EXPECT_EQ(rdx_reader_write_temic(r.get(), 6, w.data(), 3, 0, 2, 0), RDX_E_OUT_OF_RANGE);
}

TEST_F(RdxTemicWriter, MifareOnlyReaderCannotWriteTemic) {
    world.add_reader("desk1", 2);
    CLibraryOwner owner;
    COpenReader r("desk1");
    ASSERT_EQ(rdx_reader_connect(r.get(), 0), RDX_OK);
    const uint32_t word = 0x48800800;
    EXPECT_EQ(rdx_reader_write_temic(r.get(), 0, &word, 1, 0, 4, 0), RDX_E_NOT_SUPPORTED);
}
