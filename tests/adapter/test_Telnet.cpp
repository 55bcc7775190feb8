// Telnet as IP converters speak it: 0xFF doubling on the way out, the RFC 2217 line commands byte for byte,
// and the receive decoder, whose state must carry across arbitrary recv() boundaries.
#include <gtest/gtest.h>

#include <vector>

#include "adapter/CRdTcpPort.h"
#include "adapter/CTelnetDecoder.h"
#include "common/HexDiff.h"

namespace {

using Bytes = std::vector<uint8_t>;

class TelnetTest : public ::testing::Test {
protected:
    CTelnetDecoder decoder;
    Bytes decode(const Bytes& in) {
        Bytes out(in.size());
        out.resize(decoder.decode(in.data(), in.size(), out.data()));
        return out;
    }
};

TEST_F(TelnetTest, DataDoublesEveryFF) {
    Bytes out = {0x99};
    CRdTcpPort::EncodeNvtData(Bytes{0x01, 0xFF, 0x02, 0xFF}.data(), 4, out);
    EXPECT_BYTES_EQ((Bytes{0x99, 0x01, 0xFF, 0xFF, 0x02, 0xFF, 0xFF}), out);
}

TEST_F(TelnetTest, CommandEncodings) {
    Bytes out;
    CRdTcpPort::EncodeNvtCommand(nullptr, 0, out);
    EXPECT_TRUE(out.empty());
    CRdTcpPort::EncodeNvtCommand(Bytes{0xF1}.data(), 1, out);
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xF1}), out);
    out.clear();
    CRdTcpPort::EncodeNvtCommand(Bytes{0x2C, 0x05, 0xFF}.data(), 3, out);
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x05, 0xFF, 0xFF, 0xFF, 0xF0}), out);
}

TEST_F(TelnetTest, SetBaudrateBytes) {
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0}),
                    telnet::Telnet_SetBaudrate(38400));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0}),
                    telnet::Telnet_SetBaudrate(9600));
    // A value byte 0xFF is doubled so that it cannot end the subnegotiation.
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0xFF, 0xF0}),
                    telnet::Telnet_SetBaudrate(0x1FF00));
}

TEST_F(TelnetTest, SetControlBytes) {
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x05, 0x08, 0xFF, 0xF0}), telnet::Telnet_SetControl(8));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x05, 0x12, 0xFF, 0xF0}), telnet::Telnet_SetControl(18));
}

// Only payload comes out: a doubled 0xFF is one byte, subnegotiations (even with a doubled 0xFF inside) and
// other commands are dropped whole.
TEST_F(TelnetTest, DecodesOneReadToItsPayload) {
    const struct {
        Bytes in, payload;
    } rows[] = {
        {{0xFF, 0xFF, 0x41}, {0xFF, 0x41}},
        {{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0xFF, 0xF0, 0x42}, {0x42}},
        {{0xFF, 0xFA, 0x2C, 0x01, 0xFF, 0xFF, 0x00, 0xFF, 0xF0, 0x43}, {0x43}},
        {{0x01, 0xFF, 0xF1, 0x02}, {0x01, 0x02}}, // NOP
    };
    for (const auto& row : rows) {
        decoder.reset();
        EXPECT_BYTES_EQ(row.payload, decode(row.in));
        EXPECT_FALSE(decoder.in_subnegotiation());
    }
}

TEST_F(TelnetTest, IacSplitAcrossTwoReads) {
    EXPECT_BYTES_EQ((Bytes{0x01}), decode({0x01, 0xFF}));
    EXPECT_TRUE(decoder.iac_pending());
    EXPECT_BYTES_EQ((Bytes{0xFF, 0x02}), decode({0xFF, 0x02}));
}

TEST_F(TelnetTest, SubnegotiationSplitAcrossReads) {
    EXPECT_BYTES_EQ((Bytes{0x01}), decode({0x01, 0xFF, 0xFA, 0x2C}));
    EXPECT_TRUE(decoder.in_subnegotiation());
    EXPECT_BYTES_EQ(Bytes{}, decode({0x06, 0x01, 0xFF}));
    EXPECT_BYTES_EQ((Bytes{0x02}), decode({0xF0, 0x02}));
}

// The option byte of a negotiation belongs to the command: letting it through would put a stray byte into the
// adapter's frames.
TEST_F(TelnetTest, NegotiationsAreDroppedWithTheirOption) {
    EXPECT_BYTES_EQ((Bytes{0xAA}), decode({0xFF, 0xFD, 0x2C, 0xFF, 0xFB, 0x03, 0xAA}));
    EXPECT_BYTES_EQ(Bytes{}, decode({0xFF, 0xFE}));
    EXPECT_BYTES_EQ(Bytes{}, decode({0x2C}));
    EXPECT_BYTES_EQ((Bytes{0x55}), decode({0x55}));
}

TEST_F(TelnetTest, EveryChunkingDecodesAlike) {
    const Bytes stream = {0x01, 0xFF, 0xFF, 0xFF, 0xFA, 0x2C, 0x01, 0xFF, 0xFF, 0xFF, 0xF0,
                          0x02, 0xFF, 0xFB, 0x01, 0x03, 0xFF, 0xF1, 0x04, 0xFF, 0xFF};
    const Bytes whole = decode(stream);
    EXPECT_BYTES_EQ((Bytes{0x01, 0xFF, 0x02, 0x03, 0x04, 0xFF}), whole);
    for (size_t cut1 = 0; cut1 <= stream.size(); ++cut1)
        for (size_t cut2 = cut1; cut2 <= stream.size(); ++cut2) {
            decoder.reset();
            Bytes got = decode(Bytes(stream.begin(), stream.begin() + cut1));
            const Bytes mid = decode(Bytes(stream.begin() + cut1, stream.begin() + cut2));
            const Bytes tail = decode(Bytes(stream.begin() + cut2, stream.end()));
            got.insert(got.end(), mid.begin(), mid.end());
            got.insert(got.end(), tail.begin(), tail.end());
            ASSERT_BYTES_EQ(whole, got) << "cuts at " << cut1 << " and " << cut2;
        }
}

TEST_F(TelnetTest, DecodesInPlace) {
    Bytes data = {0xFF, 0xFF, 0x41, 0xFF, 0xF1, 0x42};
    data.resize(decoder.decode(data.data(), data.size(), data.data()));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0x41, 0x42}), data);
}

} // namespace
