// Measures carrying a full key list (1,363 keys) over a set of twelve 1K Mifare cards: writing it with one
// worker and reading it back with another, against the stand-in reader library and its simulated world.
// The figure includes the library noticing each card laid on the reader, as a person swiping cards would.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "MifareBench.h"
#include "readers/CMifareThread.h"

namespace {

using namespace mifare_bench;
constexpr const char* kPort = "bench-mifare-0";

class CWorkerWatch {
public:
    explicit CWorkerWatch(CMifareThread& thread) : m_thread(thread) {
        thread.SetOnNotify([this] {
            std::lock_guard lock(m_mutex);
            std::vector<CCardUID> done;
            m_thread.GetFinCards(done);
            m_finished = done.size();
            m_changed.notify_all();
        });
    }
    bool wait_finished(size_t cards) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_finished >= cards; });
    }

private:
    CMifareThread& m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_finished = 0;
};

std::vector<m6::_db_key> make_keys() {
    std::vector<m6::_db_key> keys(kKeys);
    for (unsigned i = 0; i < kKeys; ++i)
        keys[i].number = key_number(i);
    return keys;
}

void BM_MifareWriteAndReadTwelveCards(benchmark::State& state) {
    char pattern[] = "/tmp/kestrix-bench-mifare-XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::filesystem::path dir = pattern;
    std::filesystem::create_directories(dir / "readers");
    std::filesystem::create_directories(dir / "cards");
    write_file(dir / "devices", std::string("1\t") + kPort + "\t2\t1\t0\n");
    setenv("RDX_SIM_DIR", dir.c_str(), 1);
    const auto keys = make_keys();
    const auto put_card = [&](const std::string& uid) { mifare_bench::put_card(dir, kPort, uid); };

    unsigned round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto cards = make_blank_cards(dir, 'B', round++);
        put_card("");
        state.ResumeTiming();

        std::vector<m6::_db_key> read;
        for (bool writing : {true, false}) {
            CMifareThread thread;
            CWorkerWatch watch(thread);
            thread.set_port(RDX_PORT_COM, kPort);
            if (writing)
                thread.StartWriteDb(keys, 46);
            else
                thread.StartReadDb();
            for (unsigned i = 0; i < kCards; ++i) {
                put_card(cards[i]);
                if (!watch.wait_finished(i + 1)) {
                    state.SkipWithError(("card not finished: " + thread.GetStatusText()).c_str());
                    return;
                }
            }
            if (!writing) {
                unsigned short lock_code = 0;
                thread.GetDbData(read, lock_code);
            }
            put_card("");
        }
        if (read.size() != keys.size())
            state.SkipWithError("the keys did not read back");
    }
    std::filesystem::remove_all(dir);
    state.SetItemsProcessed(state.iterations() * kKeys);
}

BENCHMARK(BM_MifareWriteAndReadTwelveCards)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
