// Speed of find in files over a folder of 200 real-sized databases with a description criterion, and of
// CSV export and import of 100,000 keys.
#include <benchmark/benchmark.h>

#include <giomm/init.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "keys/CKeyDb.h"
#include "keys/CsvExchange.h"
#include "keys/KeySearch.h"

namespace {

constexpr int kDatabases = 200;
constexpr std::uint32_t kKeysPerDatabase = 1363;
constexpr std::uint32_t kCsvKeys = 100000;

std::filesystem::path make_folder(const char* name) {
    std::string templ = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
    if (!mkdtemp(templ.data()))
        std::abort();
    return templ;
}

// Keys as a site accumulates them: mixed types and attributes, Cyrillic and Latin descriptions of varying
// length, creation times spread over three years.
key_info sample_key(std::uint32_t id, std::mt19937& rng) {
    static const char* const kNames[] = {"Иванов И. И.", "Петрова", "Охрана",   "Кв. ",   "Подъезд 3, ",
                                         "Склад №",      "Офис 12", "Smith J.", "Курьер", "Front door, "};
    key_info k;
    k.id = id;
    k.type = rng() % 3 == 0 ? CT_DALLAS : rng() % 2 ? CT_EM_MARINE : CT_MF_CLASSIC_1K;
    k.attr = static_cast<KeyAttr>(1 + rng() % 4);
    k.number = CCardUID(static_cast<std::uint64_t>(rng()) << 16 ^ rng(), 6);
    k.is_short = rng() % 10 == 0;
    k.created = 1609459200 + static_cast<std::int64_t>(rng() % (3 * 365 * 24 * 60)) * 60;
    k.comment = std::string(kNames[rng() % 10]) + std::to_string(rng() % 1000);
    return k;
}

const std::filesystem::path& search_folder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path dir = make_folder("kestrix-bench-search");
        std::mt19937 rng(1363);
        for (int d = 0; d < kDatabases; ++d) {
            CKeyDb db;
            db.Connect(dir / ("base" + std::to_string(d) + ".dbf"), true);
            db.SetComment("Жилой дом, ул. Садовая " + std::to_string(d));
            for (std::uint32_t i = 1; i <= kKeysPerDatabase; ++i)
                db.AddKey(sample_key(i, rng));
        }
        return dir;
    }();
    return folder;
}

void run_search(benchmark::State& state, const SearchCriteria& criteria) {
    const SearchRequest request{search_folder(), criteria, {}};
    const CKeyMatcher matcher(criteria);
    const std::atomic<bool> cancel{false};
    std::uint64_t records = 0;
    std::size_t hits = 0;
    for (auto _ : state) {
        const SearchResult result = find_in_files(request, matcher, cancel);
        records += result.records;
        hits = result.hits.size();
    }
    state.counters["records/s"] =
        benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
    state.counters["hits"] = static_cast<double>(hits);
}

void BM_FindInFilesDescription(benchmark::State& state) {
    SearchCriteria criteria;
    criteria.flags = kSearchDescription;
    criteria.description = "подъезд";
    run_search(state, criteria);
}
BENCHMARK(BM_FindInFilesDescription)->Unit(benchmark::kMillisecond);

void BM_FindInFilesWholeWordLatin(benchmark::State& state) {
    SearchCriteria criteria;
    criteria.flags = kSearchDescription;
    criteria.text_options = kMatchWholeWord;
    criteria.description = "door";
    run_search(state, criteria);
}
BENCHMARK(BM_FindInFilesWholeWordLatin)->Unit(benchmark::kMillisecond);

void BM_FindInFilesNumber(benchmark::State& state) {
    SearchCriteria criteria;
    criteria.flags = kSearchNumber;
    criteria.number = CCardUID(0x123456u, 3);
    criteria.is_short = true;
    run_search(state, criteria);
}
BENCHMARK(BM_FindInFilesNumber)->Unit(benchmark::kMillisecond);

// A document of 100,000 keys, opened once.
CKeyDocument& csv_document() {
    static CKeyDocument* doc = [] {
        const std::filesystem::path dir = make_folder("kestrix-bench-csv");
        {
            std::mt19937 rng(kCsvKeys);
            CKeyDb db;
            db.Connect(dir / "large.dbf", true);
            for (std::uint32_t i = 1; i <= kCsvKeys; ++i)
                db.AddKey(sample_key(i, rng));
        }
        auto* d = new CKeyDocument; // lives as long as the program
        d->set_filename(dir / "large.dbf");
        d->open();
        return d;
    }();
    return *doc;
}

std::filesystem::path csv_file() {
    return csv_document().get_filename().parent_path() / "keys.csv";
}

void BM_CsvExport100k(benchmark::State& state) {
    CKeyDocument& doc = csv_document();
    for (auto _ : state)
        benchmark::DoNotOptimize(export_keys_to_csv_file(csv_file(), doc, KF_EM_MARINE));
}
BENCHMARK(BM_CsvExport100k)->Unit(benchmark::kMillisecond);

void BM_CsvImport100kIntoEmpty(benchmark::State& state) {
    export_keys_to_csv_file(csv_file(), csv_document(), KF_EM_MARINE);
    const std::filesystem::path empty_db = csv_file().parent_path() / "empty.dbf";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(empty_db);
        auto doc = std::make_unique<CKeyDocument>();
        doc->set_filename(empty_db);
        doc->open();
        state.ResumeTiming();
        const CsvImportResult result = import_keys_from_csv_file(csv_file(), *doc, true, KF_EM_MARINE);
        benchmark::DoNotOptimize(result.added);
        state.PauseTiming();
        doc.reset(); // freeing 100,000 keys is not part of the import
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CsvImport100kIntoEmpty)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    Gio::init();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
