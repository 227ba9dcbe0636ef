#!/usr/bin/env bash
# The limits of time and memory: every crafted and hostile file of the benchmark at the size limit
# (64 MiB), and the file of hostile texts, through `convert`, `show`, `report`, `report --html`,
# `report --format json` and a fleet of that one source (`convert -o DIR`), each run RUNS times (3) in a
# fresh process under /usr/bin/time, its output going to a file beside the inputs; prints the best
# user+system CPU seconds and the smallest peak resident memory (max RSS) of each, with the exit code.
# The goal: 2 s and 1 GiB, and 6 s for the fleet.
#   bash scripts/bench-limits.sh [BUILD] [PATTERN]
# BUILD is a build folder with the benchmarks on (default build/bench, configured and built here as
# scripts/bench.sh does); PATTERN keeps the files whose name holds it (grep -E). RUNS=5 changes the runs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/bench}
pattern=${2:-.}
runs=${RUNS:-3}
if [ -z "${1:-}" ]; then
  bash "$here/scripts/setup.sh" bench
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DRECASTER_BUILD_BENCHMARKS=ON -DRECASTER_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target recaster make_limit_files make_hostile >/dev/null
work=$(mktemp -d /tmp/recaster-limits-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_limit_files" "$work"
hostile=$(find "$build" -name make_hostile -type f -perm -u+x | head -n 1)
"$hostile" "$work/texts.cfg" && printf 'texts.cfg\tevery text hostile (make_hostile)\n' >>"$work/index.tsv"
recaster=$build/cli/recaster

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; best of $runs runs"
printf '%-44s %6s  %-20s %7s %9s %5s\n' file MiB command "CPU s" "peak MiB" exit
grep -E -- "$pattern" "$work/index.tsv" | while IFS=$'\t' read -r file name; do
  path=$work/$file
  mib=$(awk -v b="$(stat -c %s "$path")" 'BEGIN { printf "%.2f", b / 1048576 }')
  for command in convert show report report-html report-json fleet; do
    case $command in
      convert) args=(convert -q -f "$path" "$work/out.json") label=convert ;;
      show) args=(show "$path") label=show ;;
      report) args=(report "$path") label=report ;;
      report-html) args=(report --html "$path") label='report --html' ;;
      report-json) args=(report --format json "$path") label='report --format json' ;;
      fleet) args=(convert -q -o "$work/fleet" "$path") label='convert -o DIR' ;;
    esac
    best_cpu='' best_kib='' code=0
    for _ in $(seq "$runs"); do
      code=0
      rm -rf "$work/fleet"
      /usr/bin/time -o "$work/time" -f '%U %S %M' "$recaster" "${args[@]}" >"$work/stdout" 2>&1 </dev/null || code=$?
      read -r user system kib < <(tail -n 1 "$work/time")
      cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
      if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then best_cpu=$cpu; fi
      if [ -z "$best_kib" ] || [ "$kib" -lt "$best_kib" ]; then best_kib=$kib; fi
    done
    rm -rf "$work/out.json" "$work/stdout" "$work/fleet"
    printf '%-44s %6s  %-20s %7s %9.1f %5s\n' "$name" "$mib" "$label" "$best_cpu" \
      "$(awk -v k="$best_kib" 'BEGIN { print k / 1024 }')" "$code"
  done
  rm -f "$path"
done
