// Writing a full 32 KB controller (1,024 pages) through the real adapter worker to the device simulator over
// a pseudo-terminal: once as fast as the simulator answers, once with the simulator pacing every byte at
// 38,400 baud. The paced run reports its time against the pure wire time of the bytes exchanged
// ("wire_ratio"; 1.0 = no overhead beyond the line itself).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "bench/AdapterBench.h"

namespace {

constexpr unsigned int kPages = 1024;
constexpr unsigned int kImageSize = kPages * 32;
constexpr uint32_t kPaceBaud = 38400;

// The real worker with one command replaced: write the whole image page by page inside the command frame,
// measuring time and line traffic from the first request to the last answer.
class CWriteImageThread : public CAdapterThread {
public:
    CWriteImageThread(devsim::CWorld& world, const std::vector<unsigned char>& image)
        : CAdapterThread(AdapterTiming()), m_World(world), m_Image(image) {}
    ~CWriteImageThread() override { Stop(); }

    bool ok = false;
    double seconds = 0;
    uint64_t bytes = 0;

protected:
    void DoCmd() override {
        const Cmd cmd = GetCurrentCmd();
        RunCommand(cmd, CmdExit::KeepReading, [&] {
            const devsim::Counters before = m_World.counters();
            const auto start = std::chrono::steady_clock::now();
            ok = true;
            for (unsigned int page = 0; page < kPages && ok; ++page)
                ok = M6_WritePage(cmd, false, page * 32, m_Image.data() + page * 32);
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const devsim::Counters after = m_World.counters();
            bytes = (after.bytes_in - before.bytes_in) + (after.bytes_out - before.bytes_out);
            if (ok)
                FinishCmd(cmd);
        });
    }

private:
    devsim::CWorld& m_World;
    const std::vector<unsigned char>& m_Image;
};

void BM_WriteFullController(benchmark::State& state) {
    const bool paced = state.range(0) != 0;
    devsim::WorldOptions options;
    options.pace = paced;
    options.pace_baud = paced ? kPaceBaud : 0;
    devsim::CWorld world(options);
    world.set_controller_type(4);
    std::vector<unsigned char> image(kImageSize);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 31 + 7);

    CWriteImageThread thread(world, image);
    std::mutex mutex;
    std::condition_variable changed;
    thread.set_on_notify([&] {
        std::lock_guard lock(mutex);
        changed.notify_all();
    });
    auto wait_for = [&](auto done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(120), done);
    };
    if (!connect_adapter(thread, world, wait_for)) {
        state.SkipWithError("adapter not connected");
        return;
    }
    double seconds = 0, wire = 0; // over all iterations
    for (auto _ : state) {
        // Key reading settles first (the worker restarts it after every command): an acknowledgement of its
        // still on the line would be taken for the write's first one, and the first page sent again.
        world.wait_until([&] { return thread.GetComMode() == CAdapterThread::COM_SCANNING; },
                         std::chrono::seconds(10));
        thread.StartQ4tFromFile();
        wait_for([&] { return thread.GetCurrentCmd() == CAdapterThread::CMD_NONE; });
        CAdapterThread::Cmd finished;
        bool result = false;
        thread.GetFinishedCmd(finished, result);
        if (!result || world.controller_memory() != std::vector<uint8_t>(image.begin(), image.end())) {
            state.SkipWithError("the image was not written");
            return;
        }
        state.SetIterationTime(thread.seconds);
        seconds += thread.seconds;
        wire += static_cast<double>(thread.bytes) * world.line().bits_per_byte() / kPaceBaud;
    }
    state.counters["bytes"] = static_cast<double>(thread.bytes);
    state.counters["wire_ratio"] = paced ? seconds / wire : 0;
}

} // namespace

BENCHMARK(BM_WriteFullController)
    ->ArgName("paced")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
