// The simulated reader world's files: Mifare Classic card files, the device list line format,
// and how damaged files are refused instead of trusted.
#include "test_rdxFixture.h"

#include "common/HexDiff.h"

using namespace rdxtest;
using rdxworld::CMifareCard;
using rdxworld::mf_size;

class RdxWorld : public ::testing::Test {};

TEST_F(RdxWorld, BlankCardHasManufacturerBlockAndTransportTrailers) {
    CMifareCard card(mf_size::k1, {0xC3, 0xB2, 0xA1, 0x04});
    const auto& b0 = card.block(0);
    EXPECT_BYTES_EQ((std::vector<uint8_t>{0xC3, 0xB2, 0xA1, 0x04, 0xD4}),
                    std::vector<uint8_t>(b0.begin(), b0.begin() + 5))
        << "UID in sending order, then BCC";
    const auto& t = card.block(63);
    EXPECT_BYTES_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x07, 0x80, 0x69, 0xFF,
                                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
                    std::vector<uint8_t>(t.begin(), t.end()));
    EXPECT_EQ(card.sector_key(15, 0), kTransportKey);
    EXPECT_EQ(card.uid_text(), "04A1B2C3");
}

TEST_F(RdxWorld, CardFileRoundTrips) {
    CMifareCard card(mf_size::k4, {1, 2, 3, 4, 5, 6, 7});
    card.block(200)[3] = 0xAB;
    auto back = CMifareCard::parse(card.to_text());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->uid(), card.uid());
    EXPECT_EQ(back->size(), mf_size::k4);
    EXPECT_EQ(back->block(200), card.block(200));
    EXPECT_EQ(back->uid_text(), "07060504030201");
}

TEST_F(RdxWorld, DamagedCardFilesAreRefused) {
    const std::string good = CMifareCard(mf_size::mini, {1, 2, 3, 4}).to_text();
    ASSERT_TRUE(CMifareCard::parse(good).has_value());
    auto without = [&](const std::string& line) {
        std::string t = good;
        t.erase(t.find(line), line.size());
        return t;
    };
    EXPECT_FALSE(CMifareCard::parse(without("block 19 FFFFFFFFFFFFFF078069FFFFFFFFFFFF\n")).has_value())
        << "a missing block";
    EXPECT_FALSE(CMifareCard::parse(good + "block 20 00000000000000000000000000000000\n").has_value())
        << "a block beyond the size";
    EXPECT_FALSE(CMifareCard::parse(good + "block 3 00\n").has_value()) << "a short block";
    EXPECT_FALSE(CMifareCard::parse(good + "block 3 00000000000000000000000000000000\n").has_value())
        << "a block twice";
    EXPECT_FALSE(CMifareCard::parse(without("size mini\n")).has_value());
    EXPECT_FALSE(CMifareCard::parse("uid 0102\nsize 1k\n").has_value());
    EXPECT_FALSE(CMifareCard::parse("").has_value());
    EXPECT_FALSE(CMifareCard::parse(std::string(1000, '\xFF')).has_value());
}

TEST_F(RdxWorld, DeviceLinesInEveryAcceptedForm) {
    const auto d = rdxworld::parse_devices("# comment\n"
                                           "1\t/dev/pts/3\t4\t-1\t0\n"
                                           "server\t127.0.0.1:4001\t5\t77\t1.1.0\r\n"
                                           "CCID\treader-x\n"
                                           "COM\tfw-hex\t2\t1\t0x0102\n");
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].port_type, RDX_PORT_COM);
    EXPECT_EQ(d[0].model, 4);
    EXPECT_EQ(d[1].port_type, RDX_PORT_SERVER);
    EXPECT_EQ(d[1].port_name, "127.0.0.1:4001");
    EXPECT_EQ(d[1].firmware, 0x01010000u);
    EXPECT_EQ(d[2].model, 0);
    EXPECT_EQ(d[2].serial, -1);
    EXPECT_EQ(d[3].firmware, 0x0102u);
    EXPECT_EQ(rdxworld::parse_devices(rdxworld::format_device_line(d[1]))[0], d[1]);
}

TEST_F(RdxWorld, PortNamesBecomeSafeFileNames) {
    EXPECT_EQ(rdxworld::port_file_name("/dev/ttyACM0"), "_dev_ttyACM0");
    EXPECT_EQ(rdxworld::port_file_name("127.0.0.1:4001"), "127.0.0.1_4001");
    EXPECT_EQ(rdxworld::port_file_name(".."), "_..");
}
