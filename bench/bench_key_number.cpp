// Speed of the key number texts: formatting and parsing 100,000 numbers in each key format.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "keys/KeyNumber.h"

namespace {

constexpr std::size_t kNumbers = 100000;

const std::vector<CCardUID>& numbers() {
    static const std::vector<CCardUID> list = [] {
        std::mt19937_64 rng(2024);
        std::vector<CCardUID> v;
        v.reserve(kNumbers);
        for (std::size_t i = 0; i < kNumbers; ++i)
            v.emplace_back(rng(), 6);
        return v;
    }();
    return list;
}

void BM_FormatKeyNumber(benchmark::State& state) {
    const auto format = static_cast<key_format>(state.range(0));
    const auto& list = numbers();
    for (auto _ : state) {
        for (const auto& n : list)
            benchmark::DoNotOptimize(format_key_number(n, format));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * list.size()));
    state.SetLabel(key_format_text_untranslated(format));
}

void BM_TryStrToKeyNumber(benchmark::State& state) {
    const auto format = static_cast<key_format>(state.range(0));
    std::vector<Glib::ustring> texts;
    texts.reserve(kNumbers);
    for (const auto& n : numbers())
        texts.push_back(format_key_number(n, format));
    for (auto _ : state) {
        CCardUID n;
        for (const auto& t : texts) {
            benchmark::DoNotOptimize(try_str_to_key_number(t, n, format));
            benchmark::DoNotOptimize(n);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
    state.SetLabel(key_format_text_untranslated(format));
}

} // namespace

BENCHMARK(BM_FormatKeyNumber)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TryStrToKeyNumber)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
