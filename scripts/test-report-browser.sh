#!/usr/bin/env bash
# Renders the HTML migration report of a settings file full of hostile values, and the index of a
# folder converted from a folder whose name is markup, in a real browser
# (Debian's headless Chromium) and fails if any element of the rendered page came from a value: the
# page must hold exactly the elements of the report of its benign twin (the same texts with every
# character an x, so the same shape), no attribute may run code or link out of the page (its only links
# are to its own parts), and the hostile texts must be there as text. Then takes the screenshot of the
# sample's report for the README (docs/screenshots/report.png), ticks two of its boxes with clicks
# (scripts/report-ticks.py; build/report-browser/report-ticked.png) and checks that printed, every box
# shows and the settings at their defaults stay folded.
#   bash scripts/test-report-browser.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
work=$root/build/report-browser

bash scripts/setup.sh --browser
# A build that exists keeps its configuration (the test command's is Release with warnings as errors).
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target recaster make_hostile >/dev/null

rm -rf "$work"
mkdir -p "$work"
failures=0
check() {
  if eval "$1"; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}

# Chromium as root needs --no-sandbox; each run gets a fresh profile.
browser() {
  local profile
  profile=$(mktemp -d "$work/profile.XXXXXX")
  local flags=(--headless --disable-gpu --no-first-run --no-default-browser-check --user-data-dir="$profile")
  [ "$(id -u)" -ne 0 ] || flags+=(--no-sandbox)
  timeout 120 chromium "${flags[@]}" "$@" 2>"$work/chromium.log"
}

# True when every link of a page is "#ID" with ID an element's id on the same page, and no attribute
# runs code or loads anything.
own_links_only() {
  ! grep -E -i -q "<[^>]*[[:space:]](on[a-z]+|srcdoc|src)=" "$1" || return 1
  local link
  grep -o -i -E "<[^>]*[[:space:]]href=[^[:space:]>]*" "$1" | sed -E 's/.*[[:space:]][hH][rR][eE][fF]=//' |
    while read -r link; do
      [[ $link =~ ^\"#([a-z0-9-]+)\"$ ]] && grep -F -q " id=\"${BASH_REMATCH[1]}\"" "$1" ||
        { echo "a link out of the page: $link"; return 1; }
    done
}

# How many elements of each name a page holds: "count name" lines, sorted by name.
element_counts() {
  grep -o -i '<[a-z][a-z0-9-]*' "$1" | tr 'A-Z' 'a-z' | sed 's/^<//' | sort | uniq -c | awk '{print $2, $1}'
}

for twin in hostile benign; do
  "$build/tests/make_hostile" "$work/$twin.cfg" $([ "$twin" = benign ] && echo --benign)
  "$build/cli/recaster" report --html "$work/$twin.cfg" >"$work/$twin.html"
  browser --dump-dom "file://$work/$twin.html" >"$work/$twin.dom.html"
  element_counts "$work/$twin.dom.html" >"$work/$twin.elements.txt"
done

check '[ -s "$work/hostile.dom.html" ] && grep -q "</html>" "$work/hostile.dom.html"' "the browser rendered the page"
check '[ -s "$work/benign.elements.txt" ] && diff -u "$work/benign.elements.txt" "$work/hostile.elements.txt"' \
  "the rendered page has exactly the elements of its benign twin's, none from a value"
check 'own_links_only "$work/hostile.dom.html"' \
  "no element carries an attribute that runs code or loads anything; the only links are to the page's own parts"
check 'grep -F -q "&lt;script&gt;document.body.appendChild" "$work/hostile.dom.html"' "a script tag from a value is text"
check 'grep -F -q "&lt;/code&gt;&lt;/td&gt;&lt;/tr&gt;&lt;/tbody&gt;&lt;/table&gt;&lt;h1&gt;injected heading" "$work/hostile.dom.html"' \
  "closing tags from a value are text"
check 'grep -F -q "&amp;lt;b&amp;gt;not bold" "$work/hostile.dom.html"' "entities from a value are shown as written"
check '! grep -F -q "<title>injected" "$work/hostile.dom.html"' "no value ran code"

# The index of a folder of converted servers: one converted from a folder whose name is markup, one
# missing there. Its links are its only attributes that name anything.
for twin in hostile benign; do
  folder="$work/$twin-servers/$([ "$twin" = hostile ] && echo '<img src=x onerror=alert(1)>&amp;' || echo xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx)"
  mkdir -p "$folder"
  cp "$work/$twin.cfg" "$folder/ov_server_settings.cfg"
  "$build/cli/recaster" convert -q --out-dir "$work/$twin-index" "$folder/ov_server_settings.cfg" "$folder/missing.cfg" \
    >/dev/null 2>&1 || true
  browser --dump-dom "file://$work/$twin-index/index.html" >"$work/$twin-index.dom.html"
  element_counts "$work/$twin-index.dom.html" >"$work/$twin-index.elements.txt"
done
check '[ -s "$work/benign-index.elements.txt" ] && diff -u "$work/benign-index.elements.txt" "$work/hostile-index.elements.txt"' \
  "the rendered index has exactly the elements of its benign twin's, none from a name"
check '! grep -E -i -q "<[^>]*[[:space:]](on[a-z]+|srcdoc|src)=" "$work/hostile-index.dom.html"' \
  "no element of the index carries an attribute that runs code or loads anything"
check '[ "$(grep -F -c "&lt;img src=x onerror=alert(1)&gt;&amp;amp;" "$work/hostile-index.dom.html")" -ge 1 ]' \
  "a folder name of markup is text in the index"

# The screenshot of the sample's report shown in the README.
"$build/cli/recaster" report --html samples/ov_server_settings.cfg >"$work/sample.html"
browser --hide-scrollbars --window-size=1100,3300 --screenshot="$work/report.png" "file://$work/sample.html" >/dev/null
check '[ -s "$work/report.png" ]' "the screenshot of the sample's report was taken"
if [ -s "$work/report.png" ]; then
  mkdir -p docs/screenshots
  cp "$work/report.png" docs/screenshots/report.png
fi

# Two boxes ticked by clicks, then the page printed: every box shows, and the settings at their
# defaults stay folded.
profile=$(mktemp -d "$work/profile.XXXXXX")
flags=(--disable-gpu --no-first-run --no-default-browser-check --hide-scrollbars --user-data-dir="$profile")
[ "$(id -u)" -ne 0 ] || flags+=(--no-sandbox)
ticks=$(timeout 120 python3 scripts/report-ticks.py "$work/sample.html" "$work/report-ticked.png" "${flags[@]}" || true)
echo "ticked and printed: $ticks"
field() { python3 -c 'import json, sys; print(json.loads(sys.argv[1] or "{}").get(sys.argv[2]))' "$ticks" "$1"; }
boxes=$(grep -o 'type="checkbox"' "$work/sample.html" | wc -l)
check '[ "$boxes" -eq 47 ] && [ "$(field boxes)" = "$boxes" ]' "the sample's report has a box per setting to re-create (47)"
check '[ "$(field ticked)" = 2 ] && [ -s "$work/report-ticked.png" ]' "two boxes ticked by clicks, and their screenshot taken"
check '[ "$(field print_shown)" = "$boxes" ] && [ "$(field print_ticked)" = 2 ]' "printed, every box shows, the two ticked"
check '[ "$(field details)" -gt 0 ] && [ "$(field open)" = 0 ] && [ "$(field folded_rows_shown)" = 0 ]' \
  "the settings at their defaults are folded"

# axe-core (scripts/axe-report.js) over the sample's report, the report full of hostile values and the
# index of a fleet (the sample, a copy with other ports, a missing file): no violation of the WCAG 2.x
# A and AA rules.
axe=$work/axe
mkdir -p "$axe/servers/sample" "$axe/servers/changed"
cp samples/ov_server_settings.cfg "$axe/servers/sample/"
python3 -c 'import sys; t = open(sys.argv[1], "rb").read().decode("utf-16")
open(sys.argv[2], "wb").write(t.replace("<UdpPort>1514<", "<UdpPort>1515<").replace("<TcpPort>1601<", "<TcpPort>1602<").encode("utf-16"))' \
  samples/ov_server_settings.cfg "$axe/servers/changed/ov_server_settings.cfg"
"$build/tests/make_hostile" "$axe/hostile.cfg"
"$build/cli/recaster" report --html samples/ov_server_settings.cfg >"$axe/sample.html"
"$build/cli/recaster" report --html "$axe/hostile.cfg" >"$axe/hostile.html"
"$build/cli/recaster" convert -q --out-dir "$axe/index" "$axe"/servers/{sample,changed}/ov_server_settings.cfg \
  "$axe/servers/missing.cfg" >/dev/null 2>&1 || true
check '[ -s "$axe/index/index.html" ] && node scripts/axe-report.js "$axe/sample.html" "$axe/hostile.html" "$axe/index/index.html"' \
  "axe-core finds no violation of the WCAG 2.x A and AA rules in the reports and the index"

echo "report in a browser: $failures failed"
[ "$failures" -eq 0 ]
