// The TCP port against a loopback listener that each test creates: the test plays the IP converter, checks
// the Telnet and RFC 2217 bytes it receives and sends Telnet data back.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "adapter/CRdTcpPort.h"
#include "adapter/PortTestSupport.h"
#include "app/CDebugLog.h"
#include "common/HexDiff.h"

namespace {

using namespace port_test;

class CRdTcpPortTest : public ::testing::Test {
protected:
    CDebugLogFolder log;
    int listener = -1;
    int peer = -1; // the converter's side of the connection
    uint16_t listen_port = 0;
    CRdTcpPort port;

    void SetUp() override {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(listener, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        ASSERT_EQ(0, ::listen(listener, 1));
        socklen_t len = sizeof addr;
        ASSERT_EQ(0, ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len));
        listen_port = ntohs(addr.sin_port);
        port.SetPortName("127.0.0.1:" + std::to_string(listen_port));
        port.SetBaudRate(38400);
    }
    void TearDown() override {
        port.Close();
        if (peer >= 0)
            ::close(peer);
        if (listener >= 0)
            ::close(listener);
    }

    // Opens the port, accepts it and lets the port see its connect complete, as the adapter thread's poll
    // loop would.
    void connect() {
        port.Open();
        peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(peer, 0);
        pollfd p{port.GetFd(), POLLOUT, 0};
        ASSERT_EQ(1, ::poll(&p, 1, 10000));
        port.ProcessSendEvent();
        ASSERT_FALSE(port.IsConnecting());
    }
    Bytes peer_reads(size_t n) {
        Bytes got;
        uint8_t chunk[4096];
        wait_for([&] { return got.size() >= n; },
                 [&] {
                     const ssize_t r = ::recv(peer, chunk, sizeof chunk, MSG_DONTWAIT);
                     if (r > 0)
                         got.insert(got.end(), chunk, chunk + r);
                 });
        return got;
    }
    bool peer_has_nothing() {
        uint8_t byte;
        return ::recv(peer, &byte, 1, MSG_DONTWAIT) < 0;
    }
    void peer_sends(const Bytes& bytes) {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::send(peer, bytes.data(), bytes.size(), 0));
    }
    bool logged(const std::string& text) const {
        std::ifstream in(log.file());
        const std::string tail = "] " + text;
        for (std::string line; std::getline(in, line);)
            if (line.find("[D " + port.GetPortName() + "]") != std::string::npos &&
                line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
                return true;
        return false;
    }
};

const Bytes kBaud38400 = {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0};
const Bytes kBaud9600 = {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0};

// ---- port names

TEST(CRdTcpPortName, SplitsAtTheLastColon) {
    std::string host, service;
    CRdTcpPort::SplitPortName("converter.local", host, service);
    EXPECT_EQ("converter.local", host);
    EXPECT_EQ("1000", service);
    CRdTcpPort::SplitPortName("10.0.0.5:4001", host, service);
    EXPECT_EQ("10.0.0.5", host);
    EXPECT_EQ("4001", service);
    CRdTcpPort::SplitPortName("fe80::1:4001", host, service);
    EXPECT_EQ("fe80::1", host);
    EXPECT_EQ("4001", service);
    CRdTcpPort::SplitPortName("host:", host, service);
    EXPECT_EQ("host", host);
    EXPECT_EQ("", service);
}

// ---- connecting

TEST_F(CRdTcpPortTest, ConnectSendsTheBaudRateFirst) {
    connect();
    EXPECT_BYTES_EQ(kBaud38400, peer_reads(kBaud38400.size()));
    EXPECT_TRUE(logged("Port is open"));
}

TEST_F(CRdTcpPortTest, DataSentWhileConnectingWaitsInOrder) {
    port.Open();
    if (!port.IsConnecting())
        GTEST_SKIP() << "loopback connected at once";
    port.Send(Bytes{0x00}.data(), 1);
    peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    pollfd p{port.GetFd(), POLLOUT, 0};
    ASSERT_EQ(1, ::poll(&p, 1, 10000));
    port.ProcessSendEvent();
    Bytes expected = {0x00};
    expected.insert(expected.end(), kBaud38400.begin(), kBaud38400.end());
    EXPECT_BYTES_EQ(expected, peer_reads(expected.size()));
}

TEST_F(CRdTcpPortTest, RefusedConnectionIsAnIoFailure) {
    ::close(listener);
    listener = -1;
    const MyStatus status = status_of([&] {
        port.Open();
        pollfd p{port.GetFd(), POLLOUT, 0};
        ::poll(&p, 1, 10000);
        port.ProcessSendEvent();
    });
    // Loopback reports the refusal on the first writable event; a kernel could also refuse at connect().
    EXPECT_TRUE(status == MY_ERR_IO || status == MY_ERR_CANNOT_OPEN) << status;
    EXPECT_FALSE(port.IsConnecting());
}

TEST_F(CRdTcpPortTest, UnknownHostIsNotFound) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo("no-such-converter.invalid", "1000", &hints, &list);
    if (list)
        ::freeaddrinfo(list);
    if (rc != EAI_NONAME)
        GTEST_SKIP() << "the resolver here does not answer EAI_NONAME";
    port.SetPortName("no-such-converter.invalid");
    EXPECT_EQ(MY_ERR_NOT_FOUND, status_of([&] { port.Open(); }));
    EXPECT_EQ(-1, port.GetFd());
}

TEST_F(CRdTcpPortTest, UnknownServiceCannotBeOpened) {
    port.SetPortName("127.0.0.1:no-such-service");
    EXPECT_EQ(MY_ERR_CANNOT_OPEN, status_of([&] { port.Open(); }));
    EXPECT_EQ(-1, port.GetFd());
}

// ---- data

TEST_F(CRdTcpPortTest, PayloadFFIsDoubledOnTheWireAndLoggedAsGiven) {
    connect();
    peer_reads(kBaud38400.size());
    port.SetLogAsHex(true);
    EXPECT_TRUE(port.Send(Bytes{0x01, 0xFF, 0x02}.data(), 3));
    EXPECT_BYTES_EQ((Bytes{0x01, 0xFF, 0xFF, 0x02}), peer_reads(4));
    EXPECT_TRUE(logged("<< (3) 01FF02"));
}

TEST_F(CRdTcpPortTest, ReceivedTelnetIsDecoded) {
    connect();
    port.SetLogAsHex(true);
    peer_sends({0xFF, 0xFF, 0x41, 0xFF, 0xFA, 0x2C, 0x65, 0x00, 0xFF, 0xF0, 0x42, 0xFF});
    ASSERT_TRUE(wait_for([&] { return port.GetInCount() >= 3; }, [&] { port.ProcessReceiveEvent(); }));
    peer_sends({0xFF, 0x43}); // the doubled 0xFF split across two segments
    ASSERT_TRUE(wait_for([&] { return port.GetInCount() >= 4; }, [&] { port.Receive(); }));
    EXPECT_BYTES_EQ((Bytes{0xFF, 0x41, 0x42, 0xFF, 0x43}), unread(port.GetInBuffer()));
    EXPECT_TRUE(logged(">> (3) FF4142"));
}

TEST_F(CRdTcpPortTest, OnlyCommandsReceivedAddsNothing) {
    connect();
    peer_sends({0xFF, 0xFB, 0x2C});
    pollfd p{port.GetFd(), POLLIN, 0};
    ASSERT_EQ(1, ::poll(&p, 1, 10000));
    EXPECT_FALSE(port.Receive());
    EXPECT_EQ(0u, port.GetInCount());
}

TEST_F(CRdTcpPortTest, ClearEmptiesBothDirections) {
    connect();
    peer_sends({1, 2, 3});
    ASSERT_TRUE(wait_for([&] { return port.GetInCount() >= 3; }, [&] { port.Receive(); }));
    port.Clear();
    EXPECT_EQ(0u, port.GetInCount());
    EXPECT_TRUE(port.IsSendQueueEmpty());
    EXPECT_TRUE(logged("Port cleared"));
}

// ---- line settings

TEST_F(CRdTcpPortTest, BaudChangeIsSentOnlyWhenItChanges) {
    connect();
    peer_reads(kBaud38400.size());
    port.SetConfig(38400, true);
    port.SetConfig(9600, false);
    EXPECT_BYTES_EQ(kBaud9600, peer_reads(kBaud9600.size()));
    port.SetConfig(0, false);
    EXPECT_TRUE(peer_has_nothing());
}

// ---- the converter going away

TEST_F(CRdTcpPortTest, PeerResettingIsAnIoFailure) {
    connect();
    ::close(peer); // the baud command is still unread: the peer's kernel answers with a reset
    peer = -1;
    pollfd p{port.GetFd(), POLLIN | POLLRDHUP, 0};
    ASSERT_EQ(1, ::poll(&p, 1, 10000));
    EXPECT_EQ(MY_ERR_IO, status_of([&] { port.Receive(); }));
}

TEST_F(CRdTcpPortTest, CloseShutsDownAndLogs) {
    connect();
    port.Close();
    EXPECT_EQ(-1, port.GetFd());
    uint8_t chunk[64];
    ssize_t r = -1;
    bool eof = wait_for([&] { return r == 0; }, [&] { r = ::recv(peer, chunk, sizeof chunk, MSG_DONTWAIT); });
    EXPECT_TRUE(eof);
    EXPECT_TRUE(logged("Port is closed"));
}

} // namespace
