#!/usr/bin/env bash
# Builds Kestrix with AddressSanitizer and UBSan (clang) and runs every test (window tests under Xvfb), builds the
# program, simulators and benchmarks once optimised with warnings as errors, then the threaded tests in a
# ThreadSanitizer build, then every fuzz target for a short run over its seed corpus.
# Exits 0 only when everything passed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/deps.sh
jobs=$(nproc)
fuzz_seconds=${KESTRIX_FUZZ_SECONDS:-10}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$top/tools/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$top/tools/tsan.supp

echo "== AddressSanitizer + UBSan build and tests"
# The benchmarks are built once, optimised, below: under the sanitizers they would only take time.
# clang compiles this unoptimised build in about two thirds of GCC's time; GCC builds the optimised one.
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DKESTRIX_SANITIZE=address,undefined -DKESTRIX_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs")

# Optimisation brings warnings of its own (inlining lets the compiler see more), so one optimised build of
# everything except the tests must compile without any.
echo "== Release build without warnings"
cmake -S . -B build-werror -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRIX_WERROR=ON -DKESTRIX_TESTS=OFF \
      -DKESTRIX_BENCH=ON >/dev/null
cmake --build build-werror -j "$jobs"

echo "== ThreadSanitizer build of the threaded tests"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIX_SANITIZE=thread \
      -DKESTRIX_UI=OFF -DKESTRIX_BENCH=OFF >/dev/null
threaded=$(tools/threaded-tests.sh build-tsan)
cmake --build build-tsan -j "$jobs" --target $threaded
(cd build-tsan && ctest --output-on-failure -j "$jobs" -R "^($(echo $threaded | sed 's/test_//g; s/ /|/g'))\$")

echo "== Fuzz targets, ${fuzz_seconds} s each, ${jobs} at a time"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIX_FUZZ=ON \
      -DKESTRIX_UI=OFF -DKESTRIX_TESTS=OFF -DKESTRIX_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
# The targets run side by side, one per core; a failing one shows the end of its log.
fuzz_one() {
    target=$1
    name=$(basename "$target")
    corpus=build-fuzz/corpus/${name#fuzz_}
    mkdir -p "$corpus"
    cp -r fuzz/corpus/"${name#fuzz_}"/. "$corpus"/ 2>/dev/null || true
    echo "-- $name"
    "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 \
        "$corpus" 2>build-fuzz/"$name".log || { tail -n 60 build-fuzz/"$name".log; return 1; }
}
export -f fuzz_one
export fuzz_seconds
find build-fuzz/fuzz -maxdepth 1 -name 'fuzz_*' -type f -executable | sort |
    xargs -P "$jobs" -I{} bash -c 'fuzz_one {}'
echo "All tests passed."
