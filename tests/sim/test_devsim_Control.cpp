// The control commands of kestrix-devsim: argument parsing, each command's effect on the world, the Unix
// control socket, and the adapter's lines in the reader library's "devices" file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/HexDiff.h"
#include "sim/devsim/CControlCommands.h"
#include "sim/devsim/CControlServer.h"
#include "sim/devsim/DemoWorld.h"
#include "test_devsim_helpers.h"

using bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/devsim-test-XXXXXX";
        m_path = ::mkdtemp(pattern);
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string read_text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

class DevsimControl : public ::testing::Test {
protected:
    devsim::CWorld world;
    devsim::CControlCommands commands{world};
    TempDir dir;
};

} // namespace

TEST_F(DevsimControl, DallasTextIsTheSerialAsTheProgramShowsIt) {
    std::array<uint8_t, 8> rom{};
    ASSERT_TRUE(devsim::CControlCommands::parse_dallas("0000000A1B2C", rom));
    EXPECT_EQ(devsim::make_rom(0x01, {0x2C, 0x1B, 0x0A, 0, 0, 0}), rom);
    ASSERT_TRUE(devsim::CControlCommands::parse_dallas("9E:00:00:00:0A:1B:2C:0C", rom));
    EXPECT_EQ((std::array<uint8_t, 8>{0x0C, 0x2C, 0x1B, 0x0A, 0, 0, 0, 0x9E}), rom);
    EXPECT_FALSE(devsim::CControlCommands::parse_dallas("0A1B2C", rom));
    EXPECT_FALSE(devsim::CControlCommands::parse_dallas("0000000A1B2G", rom));
}

TEST_F(DevsimControl, TouchPresentAndRemoveChangeTheReader) {
    for (auto [line, kind] : {std::pair{"touch ds1996", devsim::KeyKind::Ds1996},
                              {"touch ds1990 0000000A1B2C", devsim::KeyKind::Dallas},
                              {"present em 10,6956", devsim::KeyKind::EmMarine},
                              {"present kf300 2A39300700", devsim::KeyKind::Kf300},
                              {"touch temic", devsim::KeyKind::Temic},
                              {"remove", devsim::KeyKind::None}}) {
        EXPECT_TRUE(starts_with(commands.execute(line), "ok")) << line;
        EXPECT_EQ(kind, world.reader_key().kind) << line;
        if (kind == devsim::KeyKind::EmMarine) {
            EXPECT_EQ(0x0A, world.reader_key().rom[3]);
        }
    }
}

TEST_F(DevsimControl, BadArgumentsAnswerWithAnError) {
    for (const char* line : {"touch", "touch ds1990", "touch ds1990 xyz", "present em 300,1",
                             "present kf300 12", "controller type 5", "controller", "fault", "fault nonsense",
                             "fault noack -1", "pace maybe", "frobnicate", "quit now"})
        EXPECT_TRUE(starts_with(commands.execute(line), "error: ")) << line;
    EXPECT_FALSE(commands.quit_requested());
    EXPECT_EQ("", commands.execute("   "));
}

TEST_F(DevsimControl, ControllerTypeSetsSizeOrDisconnects) {
    EXPECT_TRUE(starts_with(commands.execute("controller type 3"), "ok"));
    EXPECT_EQ(16384u, world.controller_memory().size());
    EXPECT_TRUE(starts_with(commands.execute("controller type unknown"), "ok"));
    EXPECT_EQ(0, world.controller_type());
    EXPECT_EQ(0xFF, world.controller_memory()[5]);
    EXPECT_TRUE(starts_with(commands.execute("controller type none"), "ok"));
    EXPECT_FALSE(world.controller_present());
    EXPECT_TRUE(starts_with(commands.execute("controller type 1"), "ok"));
    EXPECT_TRUE(world.controller_present());
}

TEST_F(DevsimControl, DumpAndLoadRoundTripTheControllerMemory) {
    devsim::load_demo(world);
    const bytes before = world.controller_memory();
    ASSERT_TRUE(starts_with(commands.execute("controller dump " + dir.file("c.bin")), "ok"));
    EXPECT_TRUE(starts_with(commands.execute("controller clear"), "ok"));
    EXPECT_TRUE(world.controller_keys().empty());
    ASSERT_TRUE(starts_with(commands.execute("controller load " + dir.file("c.bin")), "ok"));
    EXPECT_BYTES_EQ(before, world.controller_memory());
    EXPECT_TRUE(starts_with(commands.execute("controller load " + dir.file("missing.bin")), "error: "));
}

TEST_F(DevsimControl, FaultsPacingAndTcpAreSwitched) {
    EXPECT_TRUE(starts_with(commands.execute("fault noack 3"), "ok"));
    EXPECT_EQ(
        3u, world.with_adapter([](devsim::CAdapterSim& a) { return a.fault_count(devsim::Fault::LostAck); }));
    EXPECT_TRUE(starts_with(commands.execute("fault clear"), "ok"));
    EXPECT_EQ(
        0u, world.with_adapter([](devsim::CAdapterSim& a) { return a.fault_count(devsim::Fault::LostAck); }));
    EXPECT_TRUE(starts_with(commands.execute("pace on"), "ok"));
    EXPECT_TRUE(world.pacing());
    const std::string answer = commands.execute("tcp");
    ASSERT_TRUE(starts_with(answer, "ok: tcp port ")) << answer;
    EXPECT_EQ(std::to_string(world.tcp_port()), answer.substr(13));
}

TEST_F(DevsimControl, SocketCarriesOneCommandPerConnection) {
    const std::string path = dir.file("control");
    devsim::CControlServer server(commands, path, false);
    std::thread serving([&] { server.run(-1); });
    EXPECT_TRUE(starts_with(devsim::CControlServer::send(path, "touch ds1996"), "ok"));
    EXPECT_EQ(devsim::KeyKind::Ds1996, world.reader_key().kind);
    EXPECT_EQ("ok: bye", devsim::CControlServer::send(path, "quit"));
    serving.join();
    EXPECT_THROW(devsim::CControlServer::send(dir.file("nobody"), "status"), std::runtime_error);
}

TEST(DevsimRegistry, AdapterLinesFollowThePortsAndGoAtTheEnd) {
    TempDir dir;
    const std::string devices = dir.file("devices");
    { std::ofstream(devices) << "2\tACR 0\t2\t77\t1\n"; }
    std::string pty;
    uint16_t port = 0;
    {
        devsim::WorldOptions options;
        options.tcp = true;
        options.devices_file = devices;
        devsim::CWorld world(options);
        pty = world.pty_path();
        port = world.tcp_port();
        EXPECT_EQ("2\tACR 0\t2\t77\t1\n1\t" + pty + "\t4\t16001\t531\n3\t127.0.0.1:" + std::to_string(port) +
                      "\t4\t16001\t531\n",
                  read_text(devices));
        world.vanish();
        EXPECT_EQ("2\tACR 0\t2\t77\t1\n", read_text(devices));
        world.restore();
        EXPECT_NE(std::string::npos, read_text(devices).find("1\t" + world.pty_path() + "\t4\t"));
    }
    EXPECT_EQ("2\tACR 0\t2\t77\t1\n", read_text(devices));
    EXPECT_FALSE(fs::exists(dir.file(".devices.devsim-" + std::to_string(::getpid()))));
}
