// Outside bytes never break the simulator: random and hostile input to the adapter (both protocols) and to
// the converter's Telnet decoder is absorbed without crashing or reading out of bounds (the sanitizers
// watch), and the adapter still answers a wake byte afterwards.
#include <gtest/gtest.h>

#include <random>

#include "sim/devsim/CAdapterSim.h"
#include "sim/devsim/CTelnetServer.h"

namespace {

std::vector<uint8_t> random_bytes(std::mt19937& rng, size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(byte(rng));
    return out;
}

// Feeds chunks with small time steps, running the timers in between.
void feed(devsim::CAdapterSim& adapter, const std::vector<uint8_t>& data, const devsim::LineSettings& line,
          devsim::TimePoint& t) {
    for (size_t at = 0; at < data.size(); at += 7) {
        const size_t n = std::min<size_t>(7, data.size() - at);
        t += std::chrono::microseconds(300);
        adapter.receive(data.data() + at, n, line, t);
        adapter.tick(t);
        adapter.take_output();
    }
}

} // namespace

TEST(DevsimRobustness, RandomBytesInBothProtocolsLeaveTheAdapterWorking) {
    std::mt19937 rng(12345);
    devsim::CAdapterSim adapter;
    adapter.set_reader_key({devsim::KeyKind::Ds1996, devsim::make_rom(0x0C, {1, 2, 3, 4, 5, 6}), {}});
    devsim::LineSettings m6, ascii;
    ascii.baud = 9600;
    devsim::TimePoint t{};
    for (int round = 0; round < 20; ++round) {
        feed(adapter, random_bytes(rng, 5000), round % 3 == 2 ? ascii : m6, t);
        adapter.set_reader_key({round % 2 ? devsim::KeyKind::Temic : devsim::KeyKind::Ds1996, {}, {}});
    }
    t += std::chrono::seconds(1); // past any half-received frame
    const uint8_t wake = 0x00;
    adapter.receive(&wake, 1, m6, t);
    const auto out = adapter.take_output();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(0xAA, out.back().bytes.back());
}

TEST(DevsimRobustness, EmulationRequestsStayInsideTheKeyImage) {
    devsim::CAdapterSim adapter;
    devsim::LineSettings line;
    devsim::TimePoint t{};
    std::vector<uint8_t> start{0x45, 0x33};
    start.resize(33, 0x00); // a "complete" key whose list never ends: every record flag is 0
    adapter.receive(start.data(), start.size(), line, t);
    std::vector<uint8_t> answer{0x53};
    answer.resize(33, 0x00);
    for (int i = 0; i < 400; ++i) {
        t += std::chrono::milliseconds(50);
        adapter.tick(t);
        adapter.take_output();
        adapter.receive(answer.data(), answer.size(), line, t);
    }
    EXPECT_EQ(255u,
              adapter.counters().emu_pages_served); // pages 32 .. 8160, then the controller stops asking
}

TEST(DevsimRobustness, TelnetDecoderSurvivesRandomInput) {
    std::mt19937 rng(54321);
    devsim::CTelnetServer telnet;
    std::vector<uint8_t> payload, reply;
    for (int round = 0; round < 50; ++round) {
        auto data = random_bytes(rng, 2000);
        for (size_t i = 0; i < data.size(); i += 13)
            data[i] = 0xFF; // plenty of commands
        telnet.decode(data.data(), data.size(), payload, reply);
    }
    EXPECT_LE(payload.size(), 50u * 2000u);
    EXPECT_GT(telnet.line().baud, 0u);
}
