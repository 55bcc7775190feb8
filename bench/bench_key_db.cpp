// Speed of the key database path: opening and saving a key document of a large real-sized database,
// opening a very large one (with the memory its keys take), and the raw scan rate of key records as find
// in files reads them. Opening is measured beside shapelib's C reader going over every field of the same
// file, saving beside a plain durable copy of the same bytes, each pair in the same iteration, so that the
// ratios ("x_shapelib", "x_copy": medians over the iterations) hold on a busy machine.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <giomm/init.h>
#include <malloc.h>
#include <shapefil.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The reference reader: shapelib's DBFReadStringAttribute over every field of every record.
void shapelib_read_all(const std::filesystem::path& path) {
    DBFHandle dbf = DBFOpen(path.c_str(), "rb");
    if (!dbf)
        std::abort();
    const int records = DBFGetRecordCount(dbf);
    const int fields = DBFGetFieldCount(dbf);
    for (int r = 0; r < records; ++r)
        for (int f = 0; f < fields; ++f)
            benchmark::DoNotOptimize(DBFReadStringAttribute(dbf, r, f));
    DBFClose(dbf);
}

std::string file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The reference save: the same bytes written to a temporary file, flushed, renamed over the target, and
// the folder flushed.
void durable_copy(const std::string& bytes, const std::filesystem::path& path) {
    const std::string temp = path.string() + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0)
        std::abort();
    const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || ::fsync(dir) != 0)
        std::abort();
    ::close(dir);
}

// Each iteration opens the document and, right after, lets shapelib read the same file; the iteration's
// time is the document's.
void open_document(benchmark::State& state) {
    Gio::init();
    const auto path = database_of(static_cast<std::uint32_t>(state.range(0)));
    double bytes = 0;
    std::vector<double> ratios;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto start = Clock::now();
        CKeyDocument doc;
        doc.set_filename(path);
        doc.open();
        const double open_time = seconds_since(start);
        bytes = static_cast<double>(mallinfo2().uordblks - before);
        doc.close(false);
        start = Clock::now();
        shapelib_read_all(path);
        ratios.push_back(open_time / seconds_since(start));
        state.SetIterationTime(open_time);
    }
    state.counters["keys"] = static_cast<double>(state.range(0));
    state.counters["doc_MB"] = bytes / (1024.0 * 1024.0);
    state.counters["x_shapelib"] = median(ratios);
}
BENCHMARK(open_document)
    ->Arg(kRealSize)
    ->Arg(kLargeSize)
    ->UseManualTime()
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond);

void shapelib_read(benchmark::State& state) {
    const auto path = database_of(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state)
        shapelib_read_all(path);
}
BENCHMARK(shapelib_read)->Arg(kRealSize)->Arg(kLargeSize)->Unit(benchmark::kMillisecond);

// Each iteration saves the document and, right after, makes a durable copy of the bytes the save wrote.
void save_document(benchmark::State& state) {
    Gio::init();
    const auto source = database_of(static_cast<std::uint32_t>(state.range(0)));
    const auto path = bench_folder() / "saved.dbf";
    const auto copy = bench_folder() / "copied.dbf";
    std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
    CKeyDocument doc;
    doc.set_filename(path);
    doc.open();
    doc.set_modified_flag(true);
    doc.save();
    const std::string bytes = file_bytes(path); // what every save writes
    std::vector<double> ratios;
    for (auto _ : state) {
        doc.set_modified_flag(true);
        auto start = Clock::now();
        doc.save();
        const double save_time = seconds_since(start);
        start = Clock::now();
        durable_copy(bytes, copy);
        ratios.push_back(save_time / seconds_since(start));
        state.SetIterationTime(save_time);
    }
    if (file_bytes(path) != bytes)
        state.SkipWithError("a save wrote other bytes than the first one");
    state.counters["keys"] = static_cast<double>(state.range(0));
    state.counters["x_copy"] = median(ratios);
}
BENCHMARK(save_document)->Arg(kRealSize)->UseManualTime()->MinTime(2.0)->Unit(benchmark::kMillisecond);

void durable_copy_of_file(benchmark::State& state) {
    const std::string bytes = file_bytes(database_of(static_cast<std::uint32_t>(state.range(0))));
    const auto copy = bench_folder() / "copied.dbf";
    for (auto _ : state)
        durable_copy(bytes, copy);
}
BENCHMARK(durable_copy_of_file)->Arg(kRealSize)->Unit(benchmark::kMillisecond);

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
