// Speed of the key database path: opening and saving a key document of a large real-sized database,
// opening a very large one (with the memory its keys take), and the raw scan rate of key records as find
// in files reads them.
#include <benchmark/benchmark.h>

#include <giomm/init.h>
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "keys/CKeyDb.h"
#include "keys/CKeyDocument.h"

namespace {

constexpr std::uint32_t kRealSize = 5459;
constexpr std::uint32_t kLargeSize = 100000;

std::filesystem::path bench_folder() {
    static const std::filesystem::path folder = [] {
        std::string templ = (std::filesystem::temp_directory_path() / "kestrix-bench-XXXXXX").string();
        if (!mkdtemp(templ.data()))
            std::abort();
        return std::filesystem::path(templ);
    }();
    return folder;
}

// Keys as a site accumulates them: mixed types and attributes, Cyrillic descriptions of varying length,
// creation times spread over three years.
key_info sample_key(std::uint32_t id, std::mt19937& rng) {
    static const char* const kNames[] = {"Иванов И. И.", "Петрова", "Охрана",   "Кв. ",   "Подъезд 3, ",
                                         "Склад №",      "Офис 12", "Smith J.", "Курьер", "Дворник"};
    key_info k;
    k.id = id;
    k.type = static_cast<CardType>(rng() % 3 == 0 ? CT_DALLAS : rng() % 2 ? CT_EM_MARINE : CT_MF_CLASSIC_1K);
    k.attr = static_cast<KeyAttr>(1 + rng() % 4);
    k.number = CCardUID(static_cast<std::uint64_t>(rng()) << 16 ^ rng(), 6);
    k.is_short = rng() % 10 == 0;
    k.created = 1609459200 + static_cast<std::int64_t>(rng() % (3 * 365 * 24 * 60)) * 60;
    k.comment = std::string(kNames[rng() % 10]) + std::to_string(rng() % 1000);
    return k;
}

std::filesystem::path database_of(std::uint32_t keys) {
    static std::map<std::uint32_t, std::filesystem::path> made;
    auto& path = made[keys];
    if (path.empty()) {
        path = bench_folder() / ("keys" + std::to_string(keys) + ".dbf");
        std::mt19937 rng(keys);
        CKeyDb db;
        db.Connect(path, true);
        db.SetComment("Жилой дом, ул. Садовая 5");
        for (std::uint32_t i = 1; i <= keys; ++i)
            db.AddKey(sample_key(i, rng));
        db.Close();
    }
    return path;
}

void open_document(benchmark::State& state) {
    Gio::init();
    const auto path = database_of(static_cast<std::uint32_t>(state.range(0)));
    double bytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        CKeyDocument doc;
        doc.set_filename(path);
        doc.open();
        bytes = static_cast<double>(mallinfo2().uordblks - before);
        state.PauseTiming();
        doc.close(false);
        state.ResumeTiming();
    }
    state.counters["keys"] = static_cast<double>(state.range(0));
    state.counters["doc_MB"] = bytes / (1024.0 * 1024.0);
}
BENCHMARK(open_document)->Arg(kRealSize)->Arg(kLargeSize)->Unit(benchmark::kMillisecond);

void save_document(benchmark::State& state) {
    Gio::init();
    const auto source = database_of(static_cast<std::uint32_t>(state.range(0)));
    const auto path = bench_folder() / "saved.dbf";
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    CKeyDocument doc;
    doc.set_filename(path);
    doc.open();
    for (auto _ : state) {
        doc.set_modified_flag(true);
        doc.save();
    }
    state.counters["keys"] = static_cast<double>(state.range(0));
}
BENCHMARK(save_document)->Arg(kRealSize)->Unit(benchmark::kMillisecond);

// The key rows alone, without the file: what the rows' own construction costs in the document's open.
void create_key_rows(benchmark::State& state) {
    Gio::init();
    std::mt19937 rng(1);
    std::vector<key_info> infos;
    for (std::uint32_t i = 1; i <= kLargeSize; ++i)
        infos.push_back(sample_key(i, rng));
    double bytes = 0;
    for (auto _ : state) {
        std::vector<Glib::RefPtr<CKey>> rows;
        rows.reserve(infos.size());
        const std::size_t before = mallinfo2().uordblks;
        for (const auto& info : infos)
            rows.push_back(CKey::create(info));
        bytes = static_cast<double>(mallinfo2().uordblks - before);
        state.PauseTiming();
        rows.clear();
        state.ResumeTiming();
    }
    state.counters["rows_MB"] = bytes / (1024.0 * 1024.0);
}
BENCHMARK(create_key_rows)->Unit(benchmark::kMillisecond);

// What the key tables do for each cell they bind: read one row property through GObject, here the number
// and the description of every key of a real-sized database.
void read_key_row_properties(benchmark::State& state) {
    Gio::init();
    std::mt19937 rng(2);
    std::vector<Glib::RefPtr<CKey>> rows;
    for (std::uint32_t i = 1; i <= kRealSize; ++i)
        rows.push_back(CKey::create(sample_key(i, rng)));
    GValue number = G_VALUE_INIT;
    GValue text = G_VALUE_INIT;
    g_value_init(&number, Glib::Value<CCardUID>::value_type());
    g_value_init(&text, G_TYPE_STRING);
    for (auto _ : state) {
        for (const auto& row : rows) {
            g_object_get_property(row->gobj(), "number", &number);
            g_object_get_property(row->gobj(), "key-description", &text);
        }
    }
    g_value_unset(&number);
    g_value_unset(&text);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows.size()));
}
BENCHMARK(read_key_row_properties)->Unit(benchmark::kMillisecond);

void scan_key_records(benchmark::State& state) {
    const auto path = database_of(kLargeSize);
    std::int64_t records = 0;
    key_info info;
    for (auto _ : state) {
        CKeyDb db;
        db.Connect(path, false);
        const std::uint32_t n = db.GetKeyCount();
        for (std::uint32_t k = 0; k < n; ++k) {
            db.ReadKey(k, info);
            benchmark::DoNotOptimize(info);
        }
        records += n;
    }
    state.SetItemsProcessed(records);
}
BENCHMARK(scan_key_records)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(bench_folder(), ec);
    return 0;
}
