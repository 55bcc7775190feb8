// Telnet as IP converters speak it: 0xFF doubling on the way out, the RFC 2217 line commands byte for byte,
// and the receive decoder. Its state carrying across recv() boundaries is checked by the TCP port's tests.
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

// A value byte 0xFF is doubled so that it cannot end the subnegotiation. The usual rates are checked on
// the wire by the TCP port's tests.
TEST_F(TelnetTest, SetBaudrateDoublesAValueByteFF) {
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0xFF, 0xF0}),
                    telnet::Telnet_SetBaudrate(0x1FF00));
}

TEST_F(TelnetTest, SetControlBytes) {
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x05, 0x08, 0xFF, 0xF0}), telnet::Telnet_SetControl(8));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0xFA, 0x2C, 0x05, 0x12, 0xFF, 0xF0}), telnet::Telnet_SetControl(18));
}

// Only payload comes out: a doubled 0xFF is one byte; subnegotiations (even with a doubled 0xFF inside),
// negotiations with their option byte and other commands are dropped whole. Chunking and in-place decoding
// are left to the fuzz target.
TEST_F(TelnetTest, DecodesAStreamToItsPayload) {
    const Bytes stream = {0x01, 0xFF, 0xFF, 0xFF, 0xFA, 0x2C, 0x01, 0xFF, 0xFF, 0xFF, 0xF0,
                          0x02, 0xFF, 0xFB, 0x01, 0x03, 0xFF, 0xF1, 0x04, 0xFF, 0xFF};
    EXPECT_BYTES_EQ((Bytes{0x01, 0xFF, 0x02, 0x03, 0x04, 0xFF}), decode(stream));
    EXPECT_FALSE(decoder.in_subnegotiation());
}

} // namespace
