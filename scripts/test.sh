#!/usr/bin/env bash
# Sets up, builds and runs every test of k3gap: the tests; the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the fuzz targets over their seed corpus and then for a bounded time each.
# FUZZ_SECONDS sets that time (30 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
scripts/install-deps.sh
scripts/check-format.sh
scripts/check-windows.sh

# A compiler cache makes a second run (another clone, the sanitizer build after a change) much faster;
# paths are taken relative to the folder above the checkout, so clones in different places share it.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$root")}
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

echo "== tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j"$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 120)

echo "== tests with AddressSanitizer and UndefinedBehaviorSanitizer"
# Leaks are reported except those inside fontconfig (its caches live until the process ends).
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK3GAP_SANITIZE=ON -DK3GAP_BENCH=OFF "${launcher[@]}"
cmake --build build-asan -j"$jobs"
(cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 120)

echo "== fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DK3GAP_FUZZ=ON "${launcher[@]}"
cmake --build build-fuzz -j"$jobs"
# The targets write small databases for every input: a memory file system keeps that fast.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p build-fuzz/artifacts
for target in import update_page backup shape json_page; do
    fuzzer=build-fuzz/bin/fuzz_$target
    seeds=tests/fuzz/corpus/$target
    work=build-fuzz/corpus/$target
    mkdir -p "$work"
    log=build-fuzz/$target.log
    echo "-- $target: seed corpus, then ${fuzz_seconds} s"
    if ! "$fuzzer" "$seeds"/* >"$log" 2>&1 ||
        ! "$fuzzer" "$work" "$seeds" -max_total_time="$fuzz_seconds" -timeout=20 -rss_limit_mb=2048 \
            -artifact_prefix="build-fuzz/artifacts/$target-" >>"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz target $target failed; the input is in build-fuzz/artifacts/"
        exit 1
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true
done
echo "all tests passed"
