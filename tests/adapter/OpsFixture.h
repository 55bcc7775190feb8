// A real adapter worker connected to the device simulator over a pseudo-terminal (or loopback TCP), with the
// window's side played by the notification callback: it records every status line and question, hands over
// the key list when asked and answers. Timeouts are shortened through AdapterTiming.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "adapter/CAdapterThread.h"
#include "app/CDebugLog.h"
#include "common/HexDiff.h"
#include "readers/CRdxTemicLibrary.h"
#include "sim/devsim/CWorld.h"

namespace ops {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
constexpr auto kDeadline = 60s;

// The simulator answers within milliseconds, so a response that has not come in 400 ms is not coming: a
// broken protocol then fails each exchange quickly instead of holding every test for seconds per page.
inline AdapterTiming fast_timing() {
    AdapterTiming t;
    t.response_ms = 400;
    t.key_wait_ms = 1500;
    t.connect_ms = 3000;
    t.reset_pulse_ms = 50;
    t.reconnect_ms = 200;
    t.busy_retry_ms = 100;
    t.countdown_poll_ms = 50;
    t.mode_answer_ms = 300;
    t.rearm_ms = 500;
    return t;
}

struct Question {
    CAdapterThread::AskUserKind kind;
    unsigned long param;
};

// Thread is the worker under test: CAdapterThread itself, or a subclass that scripts its commands.
template <class Thread = CAdapterThread>
class COpsTestOf : public ::testing::Test {
protected:
    using Cmd = CAdapterThread::Cmd;

    std::filesystem::path dir;
    devsim::CWorld world;
    Thread thread{fast_timing()};

    // What the window side saw (guarded by mutex).
    std::mutex mutex;
    std::condition_variable changed;
    unsigned int flags = 0;
    std::vector<std::string> statuses;
    std::vector<std::string> infos;
    std::vector<Question> questions;
    // The connection as it stood when the command's exit action showed "End".
    ConnectionStatus connection_at_end = CONNECTION_DISCONNECTED;
    bool answer = true;
    std::vector<m6::_db_key> keys_to_give;
    unsigned short lock_to_give = 46;

    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kestrix-ops-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        g_Debug.set_filename(dir / "kestrix.log");
        g_Debug.set_log_level(LOGLEVEL_WARNING);
        thread.set_on_notify([this] { on_notify(); });
        thread.set_temic_library(std::make_shared<CRdxTemicLibrary>());
    }

    void TearDown() override {
        thread.Stop();
        g_Debug.set_log_level(LOGLEVEL_NONE);
        std::filesystem::remove_all(dir);
    }

    // The window's dispatcher, run right on the worker: the order of lines is exactly the worker's.
    void on_notify() {
        unsigned int more = 0;
        thread.get_notifications(more);
        std::lock_guard lock(mutex);
        flags |= more;
        if (more & CAdapterThread::NMSG_STATUS_TEXT)
            statuses.push_back(thread.GetStatusText().raw());
        if (more & CAdapterThread::NMSG_INFO_STATUS) {
            infos.push_back(thread.GetInfoStatus().raw());
            if (infos.back() == "End")
                connection_at_end = thread.GetConnectStatus();
        }
        if (more & CAdapterThread::NMSG_ASK_USER) {
            Question q{};
            thread.GetAskUserData(q.kind, q.param);
            questions.push_back(q);
            if (q.kind == CAdapterThread::ASK_DB_KEYS)
                thread.SetDbData(keys_to_give, lock_to_give);
            thread.SetAskUserFinish(answer);
        }
        changed.notify_all();
    }

    // The condition takes the lock itself where it reads what the window side saw.
    bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = kDeadline) {
        const auto until = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (done())
                return true;
            if (std::chrono::steady_clock::now() >= until)
                return false;
            std::unique_lock lock(mutex);
            changed.wait_for(lock, 20ms);
        }
    }

    bool saw_info(const std::string& text) {
        std::lock_guard lock(mutex);
        return std::find(infos.begin(), infos.end(), text) != infos.end();
    }
    bool saw_flag(unsigned int flag) {
        std::lock_guard lock(mutex);
        return (flags & flag) != 0;
    }
    bool saw_status(const std::string& text) {
        std::lock_guard lock(mutex);
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    }

    bool connected() { return thread.GetConnectStatus() == CONNECTION_CONNECTED; }

    void connect(rdx_port_type type, const std::string& name, rdx_reader_model model = 4) {
        thread.set_port_name(type, name, model);
        thread.SetPortExist(true);
        thread.Start();
        ASSERT_TRUE(wait_until([&] { return connected(); }));
    }
    void connect_pty(rdx_reader_model model = 4) { connect(RDX_PORT_COM, world.pty_path(), model); }

    void forget_seen() {
        std::lock_guard lock(mutex);
        flags = 0;
        statuses.clear();
        infos.clear();
        questions.clear();
    }

    // Starts a command and waits until its exit action has run ("End"); returns whether it succeeded.
    bool run(const std::function<void()>& start) {
        std::vector<Glib::ustring> old;
        thread.GetHistoryStatusText(old);
        forget_seen();
        start();
        const bool ended = wait_until([&] { return saw_info("End"); });
        EXPECT_TRUE(ended) << seen_text() << "command " << thread.GetCurrentCmd() << ", reading state "
                           << thread.GetComMode() << ", connection " << thread.GetConnectStatus();
        Cmd cmd;
        bool result = false;
        thread.GetFinishedCmd(cmd, result);
        std::lock_guard lock(mutex);
        return (flags & CAdapterThread::NMSG_CMD_FINISH) && result;
    }

    // Everything shown so far, for failure messages.
    std::string seen_text() {
        std::lock_guard lock(mutex);
        std::string text;
        for (const std::string& s : statuses)
            text += "status: " + s + "\n";
        for (const std::string& s : infos)
            text += "info: " + s + "\n";
        return text;
    }

    std::vector<std::string> history() {
        std::vector<Glib::ustring> lines;
        thread.GetHistoryStatusText(lines);
        return std::vector<std::string>(lines.begin(), lines.end());
    }

    // Status lines that begin with prefix, in order.
    std::vector<std::string> lines_starting(const std::string& prefix) {
        std::lock_guard lock(mutex);
        std::vector<std::string> out;
        for (const std::string& s : statuses)
            if (s.rfind(prefix, 0) == 0)
                out.push_back(s);
        return out;
    }

    std::vector<Question> asked() {
        std::lock_guard lock(mutex);
        return questions;
    }

    // The key list and lock time code the last read handed over.
    std::pair<std::vector<m6::_db_key>, unsigned short> db_data() {
        std::pair<std::vector<m6::_db_key>, unsigned short> data{{}, 0};
        thread.GetDbData(data.first, data.second);
        return data;
    }
};

using COpsTest = COpsTestOf<>;

inline m6::_db_key full_key(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e, uint8_t f,
                            KeyAttr attr = KA_NORMAL) {
    m6::_db_key key;
    const uint8_t bytes[6] = {a, b, c, d, e, f};
    key.number = CCardUID(bytes, 6);
    key.attr = attr;
    return key;
}

// n distinct full keys with varied attributes; byte 6 keeps to a nibble as the controller stores it.
inline std::vector<m6::_db_key> many_keys(size_t n) {
    std::vector<m6::_db_key> keys;
    for (size_t i = 0; i < n; ++i)
        keys.push_back(full_key(static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x5A,
                                static_cast<uint8_t>(i * 7), 0x01, static_cast<uint8_t>(i % 16),
                                static_cast<KeyAttr>(1 + i % 4)));
    return keys;
}

inline Bytes slice(const Bytes& b, size_t from, size_t n) {
    return Bytes(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(from + n));
}

} // namespace ops
