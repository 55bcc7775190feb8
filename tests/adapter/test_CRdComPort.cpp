// The serial port on a real pseudo-terminal that each test opens itself: the port opens the slave side as the
// adapter's device, the test plays the adapter on the master side. termios2 settings are read back through
// the master, which reports the slave's settings.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "adapter/CRdComPort.h"
#include "adapter/PortTestSupport.h"
#include "app/CDebugLog.h"
#include "common/HexDiff.h"

namespace {

using namespace port_test;

class CRdComPortTest : public ::testing::Test {
protected:
    CDebugLogFolder log;
    int master = -1;
    std::string slave;
    CRdComPort port;

    void SetUp() override {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            GTEST_SKIP() << "no pseudo-terminals here";
        slave = ::ptsname(master);
        port.SetPortName(slave);
        port.SetBaudRate(38400);
    }
    void TearDown() override {
        port.Close();
        if (master >= 0)
            ::close(master);
    }

    termios2 line_settings() const {
        termios2 tio{};
        EXPECT_EQ(0, ::ioctl(master, TCGETS2, &tio));
        return tio;
    }
    void adapter_writes(const Bytes& bytes) const {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::write(master, bytes.data(), bytes.size()));
    }
    bool logged(const std::string& text) const {
        std::ifstream in(log.file());
        const std::string tail = "[D " + slave + "] " + text;
        for (std::string line; std::getline(in, line);)
            if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
                return true;
        return false;
    }
};

// ---- opening

TEST_F(CRdComPortTest, OpenSetsARawLineAtTheStoredRate) {
    port.Open();
    EXPECT_TRUE(port.IsOpen());
    const termios2 tio = line_settings();
    EXPECT_EQ(38400u, tio.c_ospeed);
    EXPECT_EQ(38400u, tio.c_ispeed);
    EXPECT_EQ(static_cast<tcflag_t>(BOTHER), tio.c_cflag & CBAUD);
    EXPECT_EQ(static_cast<tcflag_t>(CS8), tio.c_cflag & CSIZE);
    EXPECT_EQ(0u, tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(static_cast<tcflag_t>(CLOCAL | CREAD), tio.c_cflag & (CLOCAL | CREAD));
    EXPECT_EQ(0u, tio.c_lflag & (ISIG | ICANON | ECHO | ECHOE | ECHONL));
    EXPECT_EQ(0u, tio.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP));
    EXPECT_EQ(0u, tio.c_oflag);
    EXPECT_EQ(0, tio.c_cc[VMIN]);
    EXPECT_EQ(0, tio.c_cc[VTIME]);
    EXPECT_TRUE(logged("Port is open"));
}

TEST_F(CRdComPortTest, SetConfigTakesAnyRateAndTwoStopBits) {
    port.Open();
    port.SetConfig(9600, true);
    termios2 tio = line_settings();
    EXPECT_EQ(9600u, tio.c_ospeed);
    EXPECT_EQ(static_cast<tcflag_t>(CSTOPB), tio.c_cflag & CSTOPB);
    port.SetConfig(12345, false);
    tio = line_settings();
    EXPECT_EQ(12345u, tio.c_ospeed);
    EXPECT_EQ(0u, tio.c_cflag & CSTOPB);
    EXPECT_EQ(12345u, port.GetBaudRate());
}

// A missing device (ENOENT is not in the table) and a non-terminal, which refuses exclusive mode.
TEST_F(CRdComPortTest, MissingDeviceOrNonTerminalCannotBeOpened) {
    for (const char* name : {"/dev/kestrix-no-such-port", "/dev/null"}) {
        port.SetPortName(name);
        EXPECT_EQ(MY_ERR_CANNOT_OPEN, status_of([&] { port.Open(); })) << name;
        EXPECT_EQ(-1, port.GetFd()) << name;
    }
}

// ---- data

TEST_F(CRdComPortTest, ReceivesWhatTheAdapterSends) {
    port.Open();
    port.SetLogAsHex(true);
    adapter_writes({0xCC, 0x00, 0xFF, 0x0D, 0x0A});
    ASSERT_TRUE(
        wait_for([&] { return port.GetInBuffer().size() >= 5; }, [&] { port.ProcessReceiveEvent(); }));
    EXPECT_BYTES_EQ((Bytes{0xCC, 0x00, 0xFF, 0x0D, 0x0A}), unread(port.GetInBuffer()));
    EXPECT_FALSE(port.Receive()); // nothing more waiting
    EXPECT_TRUE(logged(">> (5) CC00FF0D 0A"));
}

// What the driver does not take waits in the send queue; later sends queue behind it, and writable events
// flush it in order.
TEST_F(CRdComPortTest, LargeSendIsQueuedAndFlushedInOrder) {
    port.Open();
    g_Debug.set_log_level(LOGLEVEL_NONE);
    Bytes big(1 << 20);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7);
    EXPECT_FALSE(port.Send(big.data(), big.size()));
    EXPECT_FALSE(port.IsSendQueueEmpty());
    EXPECT_FALSE(port.Send(Bytes{0x01, 0x02}.data(), 2));
    big.push_back(0x01);
    big.push_back(0x02);

    Bytes got;
    uint8_t chunk[65536];
    ASSERT_TRUE(wait_for([&] { return got.size() >= big.size(); },
                         [&] {
                             const ssize_t r = ::read(master, chunk, sizeof chunk);
                             if (r > 0)
                                 got.insert(got.end(), chunk, chunk + r);
                             pollfd p{port.GetFd(), POLLOUT, 0};
                             if (::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT))
                                 port.ProcessSendEvent();
                         }));
    EXPECT_TRUE(port.IsSendQueueEmpty());
    EXPECT_BYTES_EQ(big, got);
}

TEST_F(CRdComPortTest, ClearDiscardsPendingInput) {
    port.Open();
    adapter_writes({1, 2, 3, 4, 5});
    ASSERT_TRUE(wait_for([&] { return port.GetInCount() == 5; }));
    port.Clear();
    EXPECT_TRUE(port.GetInBuffer().empty());
    EXPECT_EQ(0u, port.GetInCount());
    EXPECT_FALSE(port.Receive());
    EXPECT_TRUE(logged("Port cleared"));
}

} // namespace
