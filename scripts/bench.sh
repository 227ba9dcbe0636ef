#!/usr/bin/env bash
# Installs what is missing (pugixml too), builds the benchmarks optimised and runs them, printing
# Google Benchmark's lines and then the summary tables. Extra arguments go to the benchmark program
# (e.g. --benchmark_filter=16MiB, or --no_hostile to leave out the hostile files of 64 MiB). Run it on
# an otherwise idle machine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" bench
build=$here/build/bench
# -O2 rather than CMake's -O3: GCC 12 at -O3 reports a false -Wrestrict (an error here) inside
# std::string's operator+ in the mapping.
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DRECASTER_BUILD_BENCHMARKS=ON -DRECASTER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target bench_recaster
echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
"$build/bench/bench_recaster" --benchmark_color=false "$@"
