// The real adapter worker against the device simulator over a real pseudo-terminal and over loopback TCP.
// The worker's own command operations are replaced by scripts (a subclass overrides the dispatch) that call
// the real protocol helpers inside the real command frame; everything else (loop, connection, ports, events,
// notifications) is the production code. Timeouts are shortened through AdapterTiming, and every wait is
// for a condition with a generous deadline.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "adapter/CAdapterThread.h"
#include "adapter/OpsFixture.h"
#include "app/CDebugLog.h"
#include "common/HexDiff.h"
#include "common/TestFiles.h"
#include "sim/devsim/CWorld.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The real worker with its command operations replaced by a test script run inside the command frame.
class CScriptedAdapterThread : public CAdapterThread {
public:
    using Script = std::function<void(CScriptedAdapterThread&, Cmd)>;

    explicit CScriptedAdapterThread(const AdapterTiming& timing) : CAdapterThread(timing) {}
    // The worker calls DoCmd virtually, so it must be gone before this object is.
    ~CScriptedAdapterThread() override { Stop(); }

    void set_script(Script script) {
        std::lock_guard lock(m_ScriptMutex);
        m_Script = std::move(script);
    }
    int runs() const { return m_nRuns.load(); }

    using CAdapterThread::PageCheck;

    using CAdapterThread::AskUser;
    using CAdapterThread::DetectMemType;
    using CAdapterThread::FinishCmd;
    using CAdapterThread::InitAdapter;
    using CAdapterThread::M6_ReadPage;
    using CAdapterThread::M6_VerifyKeyPage;
    using CAdapterThread::M6_WritePage;
    using CAdapterThread::Port;
    using CAdapterThread::SetProto;
    using CAdapterThread::SetStatusText;
    using CAdapterThread::WaitComApp;

protected:
    void DoCmd() override {
        Script script;
        {
            std::lock_guard lock(m_ScriptMutex);
            script = m_Script;
        }
        const Cmd cmd = GetCurrentCmd();
        if (!script)
            CAdapterThread::DoCmd();
        else if (cmd != CMD_NONE)
            RunCommand(cmd, CmdExit::RestartReading, [&] { script(*this, cmd); });
        ++m_nRuns;
    }

private:
    std::mutex m_ScriptMutex;
    Script m_Script;
    std::atomic<int> m_nRuns{0};
};

// Takes CAP_SYS_ADMIN out of the calling thread's effective set for its lifetime: root ignores TIOCEXCL, and
// a thread started meanwhile inherits the reduced set.
class CWithoutSysAdmin {
public:
    CWithoutSysAdmin() {
        syscall(SYS_capget, &m_Header, m_Saved);
        std::memcpy(m_Reduced, m_Saved, sizeof m_Reduced);
        m_Reduced[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
        syscall(SYS_capset, &m_Header, m_Reduced);
    }
    ~CWithoutSysAdmin() { syscall(SYS_capset, &m_Header, m_Saved); }

private:
    __user_cap_header_struct m_Header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_Saved[2] = {};
    __user_cap_data_struct m_Reduced[2] = {};
};

Bytes page_of(const Bytes& memory, size_t address) {
    return Bytes(memory.begin() + address, memory.begin() + address + 32);
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

} // namespace

// The operations fixture (connection, waiting, what the window side saw) around the scripted worker.
class CAdapterThreadTest : public ops::COpsTestOf<CScriptedAdapterThread> {
protected:
    void SetUp() override {
        COpsTestOf::SetUp();
        g_Debug.set_log_level(LOGLEVEL_INFO); // the connection and protocol lines are checked in the log
    }

    void connect(rdx_port_type type, const std::string& name) {
        COpsTestOf::connect(type, name, CAdapterThread::kDesktopAdapterModel);
    }

    std::string log_text() { return test::read_text(dir / "kestrix.log"); }

    // Runs one scripted command to its end.
    void run(Cmd cmd, CScriptedAdapterThread::Script script) {
        const int before = thread.runs();
        thread.set_script(std::move(script));
        switch (cmd) {
        case CAdapterThread::CMD_Q4T_CLEAR:
            thread.StartQ4tClear();
            break;
        case CAdapterThread::CMD_Q4T_FROM_DB:
            thread.StartQ4tFromDb();
            break;
        case CAdapterThread::CMD_Q4T_TO_DB:
            thread.StartQ4tToDb();
            break;
        default:
            thread.StartQ4tToFile();
            break;
        }
        ASSERT_TRUE(wait_until([&] { return thread.runs() > before; }));
    }

    // DetectMemType run inside a command: whether it succeeded, the type found and page 0 as it read it.
    std::tuple<bool, m6::M6MemType, Bytes> detect(bool probe, Cmd cmd = CAdapterThread::CMD_Q4T_CLEAR) {
        m6::M6MemType type = m6::MEM_4K;
        bool ok = false;
        Bytes page0(32);
        run(cmd, [&](CScriptedAdapterThread& t, Cmd running) {
            ok = t.DetectMemType(running, type, probe, false, page0.data());
        });
        return {ok, type, page0};
    }

    // The command that finished last and its result.
    std::pair<Cmd, bool> last_finished() {
        Cmd cmd;
        bool result = false;
        thread.GetFinishedCmd(cmd, result);
        return {cmd, result};
    }
};

// ---- Lifecycle and connection ----

TEST_F(CAdapterThreadTest, ConnectsOverPtyAt38400WithOneStopBit) {
    thread.Stop(); // without a start: nothing to stop
    connect_pty();
    thread.Start(); // a second start keeps the one worker
    EXPECT_EQ(MY_OK, thread.GetLastError());
    EXPECT_TRUE(saw_flag(CAdapterThread::NMSG_CONNECT_STATUS));
    ASSERT_TRUE(wait_until([&] { return world.line().baud == 38400; }));
    const devsim::LineSettings line = world.line();
    EXPECT_FALSE(line.two_stop_bits);
    const std::string log = log_text();
    EXPECT_NE(std::string::npos, log.find("[I " + world.pty_path() + "] Adapter connected")) << log;
}

TEST_F(CAdapterThreadTest, DisconnectsWhenThePortVanishesAndReconnectsToItsSuccessor) {
    connect_pty();
    world.vanish();
    ASSERT_TRUE(wait_until([&] { return !connected(); }));
    EXPECT_NE(std::string::npos, log_text().find("Adapter disconnected"));
    world.restore();
    thread.set_port_name(RDX_PORT_COM, world.pty_path(), CAdapterThread::kDesktopAdapterModel);
    thread.SetPortExist(true);
    ASSERT_TRUE(wait_until([&] { return connected(); }));
}

// Nobody signals the worker after the link is fixed: the periodic attempt finds the port.
TEST_F(CAdapterThreadTest, RetriesPeriodicallyWhileThePortExists) {
    const auto link = dir / "adapter";
    std::filesystem::create_symlink("/dev/kestrix-no-such-port", link);
    thread.set_port_name(RDX_PORT_COM, link.string(), CAdapterThread::kDesktopAdapterModel);
    thread.SetPortExist(true);
    thread.Start();
    ASSERT_TRUE(wait_until([&] { return thread.GetLastError() == MY_ERR_CONNECT; }));
    EXPECT_FALSE(connected());
    const auto fixed = dir / "adapter.new";
    std::filesystem::create_symlink(world.pty_path(), fixed);
    std::filesystem::rename(fixed, link);
    ASSERT_TRUE(wait_until([&] { return connected(); }));
}

TEST_F(CAdapterThreadTest, NoAttemptWhileThePortDoesNotExist) {
    thread.set_port_name(RDX_PORT_COM, world.pty_path(), CAdapterThread::kDesktopAdapterModel);
    thread.Start();
    thread.UpdateThread();
    // For what must not happen: a few reconnect periods to do it anyway.
    EXPECT_FALSE(wait_until([&] { return connected(); },
                            5 * std::chrono::milliseconds(ops::fast_timing().reconnect_ms)));
    EXPECT_EQ(0u, world.counters().connections);
}

TEST_F(CAdapterThreadTest, BusyPortIsLeftDisconnectedWithLastError6UntilReleased) {
    int holder = ::open(world.pty_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(0, ::ioctl(holder, TIOCEXCL));
    thread.set_port_name(RDX_PORT_COM, world.pty_path(), CAdapterThread::kDesktopAdapterModel);
    thread.SetPortExist(true);
    {
        CWithoutSysAdmin unprivileged;
        thread.Start();
    }
    ASSERT_TRUE(wait_until([&] { return thread.GetLastError() == MY_ERR_PORT_BUSY; }));
    ASSERT_TRUE(wait_until([&] { return thread.GetConnectStatus() == CONNECTION_DISCONNECTED; }));
    EXPECT_FALSE(connected());
    // A pseudo-terminal keeps its exclusive mode while the other side is open, so the holder gives it up.
    ::ioctl(holder, TIOCNXCL);
    ::close(holder);
    ASSERT_TRUE(wait_until([&] { return connected(); }));
}

TEST_F(CAdapterThreadTest, ConnectsThroughTheTcpConverterAndLosesItWhenItVanishes) {
    const uint16_t tcp = world.start_tcp();
    connect(RDX_PORT_SERVER, "127.0.0.1:" + std::to_string(tcp));
    ASSERT_TRUE(wait_until([&] { return world.tcp_connected(); }));
    Bytes page(32), expected = page_of(world.controller_memory(), 0x20);
    bool ok = false;
    run(CAdapterThread::CMD_Q4T_TO_FILE,
        [&](CScriptedAdapterThread& t, Cmd cmd) { ok = t.M6_ReadPage(cmd, false, 0x20, page.data()); });
    EXPECT_TRUE(ok);
    EXPECT_BYTES_EQ(expected, page);
    // The converter carries the modem lines of a protocol switch as RFC 2217 commands.
    EXPECT_TRUE(world.line().dtr);
    EXPECT_FALSE(world.line().rts);
    run(CAdapterThread::CMD_Q4T_TO_FILE,
        [&](CScriptedAdapterThread& t, Cmd) { t.SetProto(CAdapterThread::PROTO_ASCII); });
    ASSERT_TRUE(wait_until([&] { return world.line().baud == 9600; }));
    EXPECT_TRUE(world.line().rts);
    EXPECT_FALSE(world.line().dtr);
    world.vanish();
    ASSERT_TRUE(wait_until([&] { return !connected(); }));
}

// ---- Command frame ----

// An unsupported port type is never connected (last error 7); the real dispatch then ends a command at
// once through the frame, with result false.
TEST_F(CAdapterThreadTest, UnsupportedPortTypeLeavesLastError7AndCommandsEndThroughTheFrame) {
    thread.set_port_name(RDX_PORT_CCID, "ccid0", CAdapterThread::kDesktopAdapterModel);
    thread.SetPortExist(true);
    thread.Start();
    ASSERT_TRUE(wait_until([&] { return thread.GetLastError() == MY_ERR_NOT_FOUND; }));
    EXPECT_EQ(CONNECTION_DISCONNECTED, thread.GetConnectStatus());
    thread.StartQ4tClear();
    ASSERT_TRUE(wait_until([&] { return saw_flag(CAdapterThread::NMSG_CMD_FINISH); }));
    EXPECT_EQ(std::make_pair(CAdapterThread::CMD_Q4T_CLEAR, false), last_finished());
    EXPECT_EQ(CAdapterThread::CMD_NONE, thread.GetCurrentCmd());
    EXPECT_EQ("End", thread.GetInfoStatus());
}

TEST_F(CAdapterThreadTest, HistoryLinesAreCollectedOnce) {
    connect_pty();
    history();
    run(CAdapterThread::CMD_Q4T_TO_FILE, [](CScriptedAdapterThread& t, Cmd) {
        t.SetStatusText("title", true);
        t.SetStatusText("50 %", false);
        t.SetStatusText("result", true);
    });
    EXPECT_EQ((std::vector<std::string>{"title", "result"}), history());
    EXPECT_TRUE(history().empty());
    EXPECT_EQ("result", thread.GetStatusText());
}

// The window side answers the question (yes, then no); a no cancels without a finish notification.
TEST_F(CAdapterThreadTest, AskUserAnswerContinuesOrCancelsTheCommand) {
    connect_pty();
    for (const bool yes : {true, false}) {
        answer = yes;
        forget_seen();
        std::atomic<int> said{-1};
        run(CAdapterThread::CMD_Q4T_FROM_DB, [&](CScriptedAdapterThread& t, Cmd cmd) {
            said = t.AskUser(cmd, CAdapterThread::ASK_DB_KEYS, 1363);
            if (said)
                t.FinishCmd(cmd);
        });
        EXPECT_EQ(yes ? 1 : 0, said.load());
        const std::vector<ops::Question> questions = asked();
        ASSERT_EQ(1u, questions.size());
        EXPECT_EQ(CAdapterThread::ASK_DB_KEYS, questions[0].kind);
        EXPECT_EQ(1363u, questions[0].param);
        EXPECT_EQ(std::make_pair(CAdapterThread::CMD_Q4T_FROM_DB, yes), last_finished());
        EXPECT_EQ(yes, saw_flag(CAdapterThread::NMSG_CMD_FINISH));
        EXPECT_EQ(CAdapterThread::CMD_NONE, thread.GetCurrentCmd());
    }
}

TEST_F(CAdapterThreadTest, BreakCmdStopsAWaitingCommand) {
    connect_pty();
    std::atomic<bool> waiting{false};
    std::atomic<int> code{-1};
    const int before = thread.runs();
    thread.set_script([&](CScriptedAdapterThread& t, Cmd cmd) {
        waiting = true;
        code = t.WaitComApp(600000, cmd);
    });
    thread.StartQ4tToFile();
    ASSERT_TRUE(wait_until([&] { return waiting.load(); }));
    forget_seen();
    thread.BreakCmd();
    ASSERT_TRUE(wait_until([&] { return thread.runs() > before; }));
    EXPECT_EQ(0xFF, code.load());
    EXPECT_EQ(CAdapterThread::CMD_NONE, thread.GetCurrentCmd());
    EXPECT_FALSE(saw_flag(CAdapterThread::NMSG_CMD_FINISH));
}

TEST_F(CAdapterThreadTest, StartingAnotherCommandReplacesTheCurrentOne) {
    connect_pty();
    std::atomic<bool> waiting{false};
    std::atomic<int> code{-1};
    const int before = thread.runs();
    thread.set_script([&](CScriptedAdapterThread& t, Cmd cmd) {
        if (cmd == CAdapterThread::CMD_Q4T_TO_FILE) {
            waiting = true;
            code = t.WaitComApp(600000, cmd);
        } else {
            t.FinishCmd(cmd);
        }
    });
    thread.StartQ4tToFile();
    ASSERT_TRUE(wait_until([&] { return waiting.load(); }));
    thread.StartQ4tClear();
    ASSERT_TRUE(wait_until([&] { return thread.runs() >= before + 2; }));
    EXPECT_EQ(0xFF, code.load());
    EXPECT_EQ(std::make_pair(CAdapterThread::CMD_Q4T_CLEAR, true), last_finished());
}

// ---- Protocols over the wire ----

TEST_F(CAdapterThreadTest, SilentAdapterGivesNoConnection) {
    connect_pty();
    world.inject(devsim::Fault::Silence, 0);
    bool ok = true;
    run(CAdapterThread::CMD_Q4T_TO_FILE, [&](CScriptedAdapterThread& t, Cmd) { ok = t.InitAdapter(); });
    EXPECT_FALSE(ok);
    EXPECT_EQ("11 No connection!", thread.GetStatusText());
    EXPECT_EQ(MY_ERR_TIMEOUT, thread.GetLastError());
}

TEST_F(CAdapterThreadTest, PageReadWithCorruptedChecksumIsRepeated) {
    connect_pty();
    const Bytes expected = page_of(world.controller_memory(), 0x20);
    world.inject(devsim::Fault::BadChecksum, 1);
    Bytes page(32);
    bool ok = false;
    run(CAdapterThread::CMD_Q4T_TO_FILE, [&](CScriptedAdapterThread& t, Cmd cmd) {
        world.clear_wire_log();
        ok = t.M6_ReadPage(cmd, false, 0x20, page.data());
    });
    EXPECT_TRUE(ok);
    EXPECT_BYTES_EQ(expected, page);
    EXPECT_EQ(2u, world.counters().ctrl_pages_read);
    EXPECT_TRUE(contains(world.wire_in(), Bytes{0x00, 0x11, 0x95, 0x19, 0x20, 0x00, 0x6D}));
}

// A page that never comes back whole is given up after five attempts instead of being asked for forever.
TEST_F(CAdapterThreadTest, PageReadGivesUpAfterFiveAttempts) {
    connect_pty();
    world.inject(devsim::Fault::BadChecksum, 6);
    Bytes page(32);
    bool ok = true;
    run(CAdapterThread::CMD_Q4T_TO_FILE,
        [&](CScriptedAdapterThread& t, Cmd cmd) { ok = t.M6_ReadPage(cmd, false, 0x20, page.data()); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(5u, world.counters().ctrl_pages_read);
}

TEST_F(CAdapterThreadTest, PageWriteWithLostAcknowledgementIsRepeated) {
    connect_pty();
    Bytes data(32);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(0xA0 + i);
    world.inject(devsim::Fault::LostAck, 1);
    bool ok = false;
    run(CAdapterThread::CMD_Q4T_FROM_DB,
        [&](CScriptedAdapterThread& t, Cmd cmd) { ok = t.M6_WritePage(cmd, false, 0x40, data.data()); });
    EXPECT_TRUE(ok);
    EXPECT_BYTES_EQ(data, page_of(world.controller_memory(), 0x40));
}

// A known memory code is read without writing; an unknown one is probed by wrap-around when the command
// allows it (8 KB is assumed when it does not); a missing controller is reported.
TEST_F(CAdapterThreadTest, DetectMemTypeReadsTheCodeOrProbesTheSize) {
    connect_pty();
    for (int code = 1; code <= 4; ++code) {
        world.set_controller_type(code);
        const uint64_t written = world.counters().ctrl_pages_written;
        const auto [ok, type, page0] = detect(true);
        ASSERT_TRUE(ok) << code; // a broken exchange fails every row alike: one is enough
        EXPECT_EQ(code, static_cast<int>(type));
        EXPECT_EQ(written, world.counters().ctrl_pages_written) << "no probe for a known code";
    }
    const std::pair<size_t, m6::M6MemType> sizes[] = {
        {4096, m6::MEM_4K}, {8192, m6::MEM_8K}, {16384, m6::MEM_16K}, {32768, m6::MEM_32K}};
    for (const auto& [size, expected] : sizes) {
        world.set_controller_unknown(size, 0x99);
        const auto [ok, type, page0] = detect(true);
        ASSERT_TRUE(ok) << size;
        EXPECT_EQ(expected, type) << size;
        if (size == 8192) {
            EXPECT_EQ(0x06, page0[0]) << "page 0 read back after the probe";
        }
    }
    world.set_controller_unknown(16384, 0x99);
    const uint64_t written = world.counters().ctrl_pages_written;
    EXPECT_EQ(m6::MEM_8K, std::get<1>(detect(false, CAdapterThread::CMD_Q4T_TO_DB)));
    EXPECT_EQ(written, world.counters().ctrl_pages_written);
    world.set_controller_present(false);
    const auto [ok, type, page0] = detect(false, CAdapterThread::CMD_Q4T_TO_DB);
    EXPECT_FALSE(ok);
    EXPECT_EQ(m6::MEM_NONE, type);
    EXPECT_EQ("The controller has not been found", thread.GetStatusText());
}

// Regression: the exit action of a finished command used to cancel the same command started again at once
// by the window (it compared only the command code).
TEST_F(CAdapterThreadTest, SameCommandStartedRightAfterItFinishedRunsAgain) {
    connect_pty();
    std::mutex gate_mutex;
    std::condition_variable gate;
    bool restarted = false;
    std::atomic<int> finished_runs{0};
    const int before = thread.runs();
    thread.set_script([&](CScriptedAdapterThread& t, Cmd cmd) {
        const bool first = finished_runs.load() == 0;
        if (t.FinishCmd(cmd))
            ++finished_runs;
        if (first) { // hold the exit action until the window has started the command again
            std::unique_lock lock(gate_mutex);
            gate.wait_for(lock, ops::kDeadline, [&] { return restarted; });
        }
    });
    thread.StartQ4tToFile();
    ASSERT_TRUE(wait_until([&] { return finished_runs.load() == 1; }));
    thread.StartQ4tToFile();
    {
        std::lock_guard lock(gate_mutex);
        restarted = true;
    }
    gate.notify_all();
    ASSERT_TRUE(wait_until([&] { return thread.runs() >= before + 2; }));
    EXPECT_EQ(2, finished_runs.load());
    EXPECT_TRUE(last_finished().second);
}

// A command replaced and started again under the same code before its first run looked: the first run is
// stale and must stop, so that only the new start reads the controller and finishes.
TEST_F(CAdapterThreadTest, ACommandReplacedAndStartedAgainStopsItsEarlierRun) {
    connect_pty();
    std::mutex gate_mutex;
    std::condition_variable gate;
    bool released = false;
    std::atomic<int> started{0};
    std::atomic<int> read_ok[2] = {-1, -1};
    std::atomic<int> finished[2] = {-1, -1};
    const int before = thread.runs();
    thread.set_script([&](CScriptedAdapterThread& t, Cmd cmd) {
        const int run = started++;
        if (run > 1)
            return;
        if (run == 0) { // hold the first run until the window has replaced its command and started it again
            std::unique_lock lock(gate_mutex);
            gate.wait_for(lock, ops::kDeadline, [&] { return released; });
        }
        Bytes page(32);
        read_ok[run] = t.M6_ReadPage(cmd, false, 0x20, page.data());
        finished[run] = t.FinishCmd(cmd);
    });
    const uint64_t reads = world.counters().ctrl_pages_read;
    thread.StartQ4tToFile();
    ASSERT_TRUE(wait_until([&] { return started.load() == 1; }));
    thread.StartQ4tClear();
    thread.StartQ4tToFile();
    {
        std::lock_guard lock(gate_mutex);
        released = true;
    }
    gate.notify_all();
    // A stale run that finishes takes the new start with it: no second run would come.
    ASSERT_TRUE(wait_until([&] { return thread.runs() >= before + 2 || finished[0].load() == 1; }));
    EXPECT_EQ(0, read_ok[0].load());
    EXPECT_EQ(0, finished[0].load());
    EXPECT_EQ(1, read_ok[1].load());
    EXPECT_EQ(1, finished[1].load());
    EXPECT_EQ(reads + 1, world.counters().ctrl_pages_read);
    EXPECT_EQ(std::make_pair(CAdapterThread::CMD_Q4T_TO_FILE, true), last_finished());
}

// A page read through a key is checked by reading it again: a page with data is trusted at the first read
// that agrees; an erased page only when all ten reads agree with it, since a key being pulled away reads
// like one.
TEST_F(CAdapterThreadTest, KeyPagesAreTrustedOnlyAfterEnoughAgreeingReads) {
    using Check = CScriptedAdapterThread::PageCheck;
    struct Row {
        const char* name;
        uint8_t on_key; // every byte of the page on the key
        uint8_t held;   // every byte of the page the first read gave
        Check expected;
        uint64_t reads; // key page reads the check makes
    };
    const Row rows[] = {
        {"data page, first read agrees", 0x3C, 0x3C, Check::Accepted, 1},
        {"erased page, ten agreeing reads", 0xFF, 0xFF, Check::Accepted, 10},
        {"erased page, only nine reads agree", 0xFF, 0x00, Check::Retry, 10},
    };
    connect_pty();
    for (const Row& row : rows) {
        world.set_ds1996_memory(Bytes(8192, row.on_key));
        Bytes held(32, row.held);
        Check check = Check::Failed;
        uint64_t reads = 0;
        run(CAdapterThread::CMD_Q4T_TO_FILE, [&](CScriptedAdapterThread& t, Cmd cmd) {
            ASSERT_TRUE(t.InitAdapter()); // the adapter stops waiting for keys before one is touched
            world.touch_ds1996();
            const uint64_t before = world.counters().key_pages_read;
            check = t.M6_VerifyKeyPage(cmd, 0x15, 0x40, held.data());
            reads = world.counters().key_pages_read - before;
            world.remove_key();
        });
        ASSERT_EQ(static_cast<int>(row.expected), static_cast<int>(check)) << row.name;
        EXPECT_EQ(row.reads, reads) << row.name;
        EXPECT_BYTES_EQ(Bytes(32, row.on_key), held);
    }
}

// 0xF1 and unknown 0xCC replies are shown as the info status and answered as code 0x10.
TEST_F(CAdapterThreadTest, InfoRepliesAreShownAndReturnedAsCode0x10) {
    const std::pair<Bytes, std::string> rows[] = {{{0xF1}, "0xF1"}, {{0xCC, 0x7E}, "0x7E"}};
    connect_pty();
    for (const auto& [reply_bytes, text] : rows) {
        int code = -1;
        const Bytes& reply = reply_bytes; // clang before 16 cannot capture structured bindings
        run(CAdapterThread::CMD_Q4T_TO_FILE, [&](CScriptedAdapterThread& t, Cmd cmd) {
            CFastBuffer& in = t.Port().GetInBuffer();
            in.clear();
            in.append(reply.data(), reply.size());
            code = t.WaitComApp(60000, cmd);
        });
        EXPECT_EQ(0x10, code) << text;
        EXPECT_TRUE(saw_info(text)) << text;
    }
}
