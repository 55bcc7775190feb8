// The simulated IP converter over a real loopback socket: RFC 2217 COM-PORT commands and their answers,
// option negotiation, IAC doubling both ways, one client at a time, and the converter vanishing.
#include <gtest/gtest.h>

#include "common/HexDiff.h"
#include "sim/devsim/CWorld.h"
#include "test_devsim_helpers.h"

using namespace devsim_test;
using bytes = std::vector<uint8_t>;

namespace {

devsim::WorldOptions tcp_only() {
    devsim::WorldOptions o;
    o.pty = false;
    o.tcp = true;
    return o;
}

class DevsimTelnet : public ::testing::Test {
protected:
    devsim::CWorld world{tcp_only()};
    CTcpEnd sock{world.tcp_port()};

    // Decodes the converter's stream: payload with doubled 0xFF undone (no commands expected in it).
    bytes read_payload(size_t n) {
        bytes payload;
        bool iac = false;
        while (payload.size() < n) {
            const bytes b = sock.read(1);
            if (b.empty())
                break;
            if (iac || b[0] != 0xFF)
                payload.push_back(b[0]);
            iac = !iac && b[0] == 0xFF;
        }
        return payload;
    }
};

} // namespace

TEST_F(DevsimTelnet, SetBaudrateIsAnsweredWithTheServerCode) {
    sock.write({0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0});
    EXPECT_BYTES_EQ((bytes{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0}), sock.read(10));
    EXPECT_EQ(9600u, world.line().baud);
    sock.write({0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0});
    EXPECT_BYTES_EQ((bytes{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0}), sock.read(10));
    EXPECT_EQ(38400u, world.line().baud);
}

TEST_F(DevsimTelnet, SetControlSwitchesDtrAndRts) {
    sock.write({0xFF, 0xFA, 0x2C, 0x05, 0x09, 0xFF, 0xF0});
    EXPECT_BYTES_EQ((bytes{0xFF, 0xFA, 0x2C, 0x69, 0x09, 0xFF, 0xF0}), sock.read(7));
    EXPECT_FALSE(world.line().dtr);
    sock.write({0xFF, 0xFA, 0x2C, 0x05, 0x11, 0xFF, 0xF0}); // 17: RTS on, as this converter family takes it
    sock.read(7);
    EXPECT_TRUE(world.line().rts);
    sock.write({0xFF, 0xFA, 0x2C, 0x05, 0x12, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x05, 0x08, 0xFF, 0xF0});
    sock.read(14);
    EXPECT_FALSE(world.line().rts);
    EXPECT_TRUE(world.line().dtr);
}

TEST_F(DevsimTelnet, PageBytesFFAreDoubledTowardsTheProgram) {
    bytes memory = world.controller_memory();
    std::fill(memory.begin() + 32, memory.begin() + 64, 0xFF);
    memory[40] = 0x12;
    world.set_controller_memory(memory);
    sock.write(m6_frame(0x19, {0x20, 0x00}));
    bytes page_frame = concat({0xCC, 0x40}, bytes(memory.begin() + 32, memory.begin() + 64));
    page_frame.push_back(m6_cs(page_frame));
    bytes raw{0xAA};
    for (uint8_t b : page_frame) {
        raw.push_back(b);
        if (b == 0xFF)
            raw.push_back(0xFF);
    }
    EXPECT_BYTES_EQ(raw, sock.read(raw.size()));
    EXPECT_BYTES_EQ(concat({0xAA}, page_frame), world.wire_out());
}

TEST_F(DevsimTelnet, DoubledFFFromTheProgramIsOnePayloadByte) {
    bytes page(32, 0xFF);
    page[0] = 0x01;
    const bytes frame = m6_frame(0x18, concat({0x40, 0x00}, page));
    bytes raw;
    for (uint8_t b : frame) {
        raw.push_back(b);
        if (b == 0xFF)
            raw.push_back(0xFF);
    }
    sock.write(raw);
    EXPECT_BYTES_EQ((bytes{0xAA, 0xCC, 0x00}), read_payload(3));
    const bytes memory = world.controller_memory();
    EXPECT_BYTES_EQ(page, bytes(memory.begin() + 0x40, memory.begin() + 0x60));
    EXPECT_BYTES_EQ(frame, world.wire_in());
}

TEST_F(DevsimTelnet, VanishedConverterClosesAndComesBackOnTheSamePort) {
    const uint16_t port = world.tcp_port();
    world.vanish();
    EXPECT_TRUE(sock.closed_by_peer());
    // Not a refused connection: tests running beside this one may bind the freed port meanwhile.
    EXPECT_EQ(0, world.tcp_port()) << "the converter stopped listening";
    world.restore();
    CTcpEnd again(port);
    again.write({0x00});
    EXPECT_BYTES_EQ(bytes{0xAA}, again.read(1));
}

TEST_F(DevsimTelnet, ResetPulseOnTheModemLinesRestartsTheAdapter) {
    sock.write({0x12, 0x94});
    ASSERT_BYTES_EQ(bytes{0xAA}, sock.read(1));
    ASSERT_EQ(devsim::ScanMode::EmMarine, world.scan_mode());
    sock.write({0xFF, 0xFA, 0x2C, 0x05, 0x11, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x05, 0x09, 0xFF, 0xF0});
    sock.read(14);
    EXPECT_EQ(0u, world.counters().adapter_restarts);
    sock.write({0xFF, 0xFA, 0x2C, 0x05, 0x12, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x05, 0x08, 0xFF, 0xF0});
    sock.read(14);
    EXPECT_EQ(1u, world.counters().adapter_restarts);
    EXPECT_EQ(devsim::ScanMode::Dallas, world.scan_mode());
}
