#!/usr/bin/env bash
# A fleet in one call against a shell loop: N (1000) sample-sized sources in nested folders, each with
# its own listener port, converted by `convert --out-dir` in one process, and by a loop that makes the
# same three files per source (`convert`, `report --html`, `report --format json`). Prints the wall
# time of each, the time per source, the speed-up, and the peak resident memory of the call for N
# sources and for one (/usr/bin/time -v). The goals: 5 times faster, 2 ms per source, 4 times the memory.
# Then the memory budget: 16 files of five 16,384-item lists (653 KiB each, 147 MiB each when converted)
# with --jobs 16, which must stay under 1 GiB; it writes about 7.7 GB, so TMPDIR wants room
# (FLEET_MEMORY=0 leaves it out).
#   bash scripts/bench-fleet.sh [BUILD]
# BUILD is a build folder (default build/bench-fleet, configured Release and built here). N=200 changes
# the count.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/bench-fleet}
count=${N:-1000}
if [ -z "${1:-}" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRECASTER_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target recaster >/dev/null
recaster=$build/cli/recaster
work=$(mktemp -d /tmp/recaster-fleet-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The sources: sites/SITE/srvNNNN/ov_server_settings.cfg, the sample with another port each.
python3 - "$here/samples/ov_server_settings.cfg" "$work/sites" "$count" <<'PY'
import os, sys
sample, root, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(sample, "rb").read().decode("utf-16")
for i in range(count):
    folder = os.path.join(root, "site%02d" % (i % 20), "srv%04d" % i)
    os.makedirs(folder)
    with open(os.path.join(folder, "ov_server_settings.cfg"), "wb") as f:
        f.write(text.replace("<Port>1514<", "<Port>%d<" % (2000 + i)).encode("utf-16"))
PY
mapfile -t sources < <(find "$work/sites" -name ov_server_settings.cfg | sort)

# Wall seconds and peak KiB of one command, from /usr/bin/time -v.
measure() {
  /usr/bin/time -v -o "$work/time" "$@" >/dev/null 2>"$work/err" || true
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time" |
         awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
  cpu=$(sed -n 's/.*\(User\|System\) time (seconds): //p' "$work/time" | awk '{ s += $1 } END { print s }')
}

sync
measure "$recaster" convert -q -o "$work/fleet" "${sources[@]}"
fleet_wall=$wall fleet_peak=$peak fleet_cpu=$cpu
measure "$recaster" convert -q -o "$work/one" "${sources[0]}"
one_peak=$peak

mkdir "$work/loop"
sync
start=$(date +%s.%N)
for source in "${sources[@]}"; do
  name=$(basename "$(dirname "$source")")
  "$recaster" convert -q -f "$source" "$work/loop/$name.json"
  "$recaster" report --html "$source" >"$work/loop/$name.report.html"
  "$recaster" report --format json "$source" >"$work/loop/$name.report.json"
done
loop_wall=$(echo "$(date +%s.%N) - $start" | bc)

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; $count sources of $(stat -c %s "${sources[0]}") bytes"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) (the machine may be shared: compare CPU time too)"
awk -v n="$count" -v f="$fleet_wall" -v l="$loop_wall" -v fp="$fleet_peak" -v op="$one_peak" -v fc="$fleet_cpu" 'BEGIN {
  printf "one call (convert --out-dir): %7.2f s, %5.2f ms per source; CPU %.2f s, %.2f ms per source\n", f, 1000 * f / n, fc, 1000 * fc / n
  printf "shell loop (3 runs a source):  %7.2f s, %5.2f ms per source\n", l, 1000 * l / n
  printf "speed-up: %.1f times\n", l / f
  printf "peak memory: %.1f MiB for %d sources, %.1f MiB for one (%.2f times)\n", fp / 1024, n, op / 1024, fp / op
}'

[ "${FLEET_MEMORY:-1}" = 0 ] && exit 0
# The file of long lists: the five longest lists the loader takes, of empty items.
mkdir -p "$work/lists"
python3 - "$work/lists" <<'PY'
import sys
items = "<a/>" * 16384
body = ("<RIZavoza><Grid><Colors>" + items + "</Colors></Grid><EmailAlerts><Alerts>" + items +
        "</Alerts></EmailAlerts><SyslogForwarders><Forwarders>" + items + "</Forwarders></SyslogForwarders>"
        "<Storage><KeepPeriod>" + items + "</KeepPeriod></Storage><Backup><Schedule><Times>" + items +
        "</Times></Schedule></Backup></RIZavoza>")
data = b"\xff\xfe" + ('<?xml version="1.0" encoding="UTF-16"?>' + body).encode("utf-16-le")
for i in range(16):
    open("%s/s%02d.cfg" % (sys.argv[1], i), "wb").write(data)
PY
rm -rf "$work/fleet" "$work/one" "$work/loop"
measure "$recaster" convert -q -o "$work/lists-one" "$work/lists/s00.cfg"
lists_one=$peak
rm -rf "$work/lists-one"
measure "$recaster" convert -q --jobs 16 -o "$work/lists-out" "$work/lists"/*.cfg
awk -v p="$peak" -v o="$lists_one" -v w="$wall" 'BEGIN {
  printf "16 files of long lists, --jobs 16: %.2f s, peak %.0f MiB (one alone: %.0f MiB; the goal: under 1024)\n", w, p / 1024, o / 1024
}'
