// "Database --> Controller Q-4T" of a full list (5,459 keys) to a 32 KB controller in the device simulator,
// through the real adapter worker and its real command: once as fast as the simulator answers, once with the
// simulator pacing every byte at 38,400 baud. "wire_ratio" is the command's time over the pure wire time of
// the bytes exchanged (1.0 = nothing beyond the line itself).
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "bench/AdapterBench.h"

namespace {

constexpr size_t kKeys = 5459;
constexpr double kBaud = 38400.0;

std::vector<m6::_db_key> full_list() {
    std::vector<m6::_db_key> keys(kKeys);
    for (size_t i = 0; i < kKeys; ++i) {
        const uint8_t bytes[6] = {uint8_t(i), uint8_t(i >> 8), 0x11, uint8_t(i * 7), 0x01, uint8_t(i % 16)};
        keys[i].number = CCardUID(bytes, 6);
        keys[i].attr = KA_NORMAL;
    }
    return keys;
}

void BM_Q4tFromDb(benchmark::State& state) {
    devsim::WorldOptions options;
    options.pace = state.range(0) != 0;
    devsim::CWorld world(options);
    world.set_controller_type(4);
    const std::vector<m6::_db_key> keys = full_list();

    CAdapterThread thread;
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    thread.set_on_notify([&] {
        unsigned int flags = 0;
        thread.get_notifications(flags);
        if (flags & CAdapterThread::NMSG_ASK_USER) {
            thread.SetDbData(keys, 46);
            thread.SetAskUserFinish(true);
        }
        std::lock_guard lock(mutex);
        if (flags & CAdapterThread::NMSG_CMD_FINISH)
            finished = true;
        changed.notify_all();
    });
    auto wait_for = [&](auto done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(300), done);
    };
    if (!connect_adapter(thread, world, wait_for)) {
        state.SkipWithError("adapter not connected");
        return;
    }
    double seconds = 0, wire = 0;
    for (auto _ : state) {
        {
            std::lock_guard lock(mutex);
            finished = false;
        }
        const devsim::Counters before = world.counters();
        const auto start = std::chrono::steady_clock::now();
        thread.StartQ4tFromDb();
        wait_for([&] { return finished; });
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        CAdapterThread::Cmd cmd;
        bool result = false;
        thread.GetFinishedCmd(cmd, result);
        if (!result || world.controller_keys().size() != kKeys) {
            state.SkipWithError("the list was not written");
            return;
        }
        const devsim::Counters after = world.counters();
        const double bytes =
            double(after.bytes_in - before.bytes_in) + double(after.bytes_out - before.bytes_out);
        wire = bytes * world.line().bits_per_byte() / kBaud;
        state.SetIterationTime(seconds);
    }
    state.counters["seconds"] = seconds;
    state.counters["wire_seconds"] = wire;
    state.counters["wire_ratio"] = wire > 0 ? seconds / wire : 0;
}

} // namespace

BENCHMARK(BM_Q4tFromDb)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
