// Measures carrying a full key list (1,363 keys) over a set of twelve 1K Mifare cards: writing it with one
// worker and reading it back with another, against the stand-in reader library and its simulated world.
// The figure includes the library noticing each card laid on the reader, as a person swiping cards would.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "readers/CMifareThread.h"

namespace {

constexpr const char* kPort = "bench-mifare-0";
constexpr unsigned kCards = 12;
constexpr unsigned kKeys = 1363;

void write_file(const std::filesystem::path& path, const std::string& text) {
    const auto tmp = path.string() + ".tmp.bench";
    std::ofstream(tmp) << text;
    std::filesystem::rename(tmp, path);
}

// A blank 1K card in the world's card file format: zero data, transport trailers.
std::string blank_card_text(const std::string& uid) {
    std::string text = "uid " + uid + "\nsize 1k\n";
    for (unsigned block = 0; block < 64; ++block) {
        const bool trailer = block % 4 == 3;
        text += "block " + std::to_string(block) + " " +
                (trailer ? "FFFFFFFFFFFFFF078069FFFFFFFFFFFF" : std::string(32, '0')) + "\n";
    }
    return text;
}

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
        keys[i].number = CCardUID(uint64_t{0x0C0000000000} + uint64_t{i} * 7919u, 6);
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
    const auto put_card = [&](const std::string& uid) {
        write_file(dir / "readers" / kPort, "card " + (uid.empty() ? std::string("-") : uid) + "\n");
    };

    unsigned round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> cards;
        for (unsigned i = 0; i < kCards; ++i) {
            char uid[16];
            std::snprintf(uid, sizeof uid, "B%03X%04X", round, i);
            write_file(dir / "cards" / uid, blank_card_text(uid));
            cards.push_back(uid);
        }
        ++round;
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
