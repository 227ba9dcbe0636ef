#!/usr/bin/env bash
# Checks that every C++ file and function is within its length, builds optimised as a user's Release
# build is (-O3), with every warning as an error in this and every other build, runs all tests, runs
# them again built with AddressSanitizer and UndefinedBehaviorSanitizer, gives each fuzz target a short
# run from its corpus, and builds and tests the Windows programs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
fuzz_seconds=${RECASTER_FUZZ_SECONDS:-60}

step() { printf '\n== %s ==\n' "$*"; }

step "limits: every C++ file 600 lines or fewer, every function 60 or fewer"
python3 scripts/check-limits.py --self-test
python3 scripts/check-limits.py

step "build and test (release, -O3)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DRECASTER_WERROR=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"
step "the HTML report in a browser (headless Chromium)"; bash scripts/test-report-browser.sh build/release

step "build and test (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DRECASTER_SANITIZE=ON -DRECASTER_WERROR=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

step "fuzz (${fuzz_seconds} s per target)"
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DRECASTER_BUILD_FUZZERS=ON -DRECASTER_BUILD_TESTS=OFF -DRECASTER_WERROR=ON >/dev/null
cmake --build build/fuzz -j "$jobs"
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=build/fuzz/corpus-$name
  rm -rf "$work" && mkdir -p "$work"
  cp fuzz/corpus/"${name#fuzz_}"/* "$work"/ 2>/dev/null || true
  echo "fuzz: $name"
  "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/ "$work" 2>build/fuzz/$name.log || { tail -n 60 build/fuzz/$name.log; exit 1; }
  grep -E '^stat::number_of_executed_units' build/fuzz/$name.log || true
done

step "Windows programs: cross-built with mingw-w64, tested under Wine"
bash scripts/test-windows.sh

step "packages: the Debian package under lintian, the ZIP, the MSI installed and removed under Wine"
bash scripts/test-packages.sh

echo
echo "all checks passed"
