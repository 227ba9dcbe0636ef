#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64, runs the unit tests under Wine, then drives
# Recaster.exe as a person would, under Xvfb and Wine, with tests/wine/driver.exe: its resources, its
# dialogs (screenshots go to docs/screenshots/), and conversions compared byte for byte with the POSIX
# build's output.
#
# The end-to-end part runs in a fresh folder outside the clone (made by mktemp) that holds copies of what
# it needs. Run as root, it runs there as the user nobody: root writes read-only files, and one of the
# checks is that a read-only destination is refused; the clone may sit where nobody cannot enter.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows
work=$root/build/windows-test
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

step() { printf '\n== %s ==\n' "$*"; }

# A Unix path as Wine sees it (drive Z: is the root folder).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Boots a fresh prefix with a virtual desktop (no window manager is running) and Wine's own fonts,
# so that "MS Shell Dlg" keeps its metrics.
make_prefix() {
  local prefix=$1
  rm -rf "$prefix"
  mkdir -p "$prefix"
  WINEPREFIX=$prefix timeout 180 wineboot -i >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 60 wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  WINEPREFIX=$prefix timeout 60 wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null
  cp $(dpkg -L fonts-wine | grep '\.ttf$') "$prefix/drive_c/windows/Fonts/"
  WINEPREFIX=$prefix timeout 60 wineserver -w
}

# The end-to-end checks; runs inside the X display, as the user that owns $work, which holds bin/
# (Recaster.exe, driver.exe), files/ (the sample and the POSIX build's output for it) and shots/.
run_scenarios() {
  export WINEPREFIX=$work/prefix-gui HOME=$work/home
  make_prefix "$WINEPREFIX"
  local exe driver files failures=0
  exe=$(winpath "$work/bin/Recaster.exe")
  driver=$work/bin/driver.exe
  files=$work/files
  # What earlier runs left behind would change what the dialogs ask.
  rm -f "$files"/out.json "$files"/no-extension* "$files"/kept.json "$files"/read-only.json "$files"/never.json
  rm -f "$files"/*.report.html "$files"/carried.json "$files"/report-kept.json "$files"/given.json "$files"/dropped.json
  rm -f "$files"/scaled-*.json
  local documents
  documents=$WINEPREFIX/drive_c/users/$(id -un)/Documents
  # The test handler of .html files (Wine reads classes from the machine's part only): the driver's `opened`
  # command records in opened.log what it is given.
  local opened=$files/opened.log
  rm -f "$opened"
  timeout 60 wine reg add 'HKCR\.html' /ve /d RecasterTest.html /f >/dev/null
  timeout 60 wine reg add 'HKCR\RecasterTest.html\shell\open\command' /ve \
    /d "\"$(winpath "$driver")\" opened \"$(winpath "$opened")\" \"%1\"" /f >/dev/null

  scenario() {
    local name=$1
    shift
    echo "-- $name"
    if ! timeout 120 wine "$driver" "$exe" "$@"; then
      echo "FAILED: $name"
      failures=$((failures + 1))
    fi
  }
  expect() {
    if eval "$1"; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
  }

  scenario "resources" resources
  scenario "dialogs" dialogs "$(winpath "$work/shots")" 96

  scenario "convert the sample, and open the report" convert "$(winpath "$files/ov_server_settings.cfg")" \
    "$(winpath "$files/out.json")" saved:47 "open:$(winpath "$opened")"
  expect 'cmp -s "$files/out.json" "$files/expected.json"' "the written bytes equal the POSIX build's output"
  expect 'grep -q "<code>ops@example.com</code>" "$files/out.report.html"' "the report beside it holds an alert's recipient"

  rm -f "$opened"
  scenario "replace an existing file, and not open the report" convert "$(winpath "$files/ov_server_settings.cfg")" \
    "$(winpath "$files/out.json")" saved:47 "keep:$(winpath "$opened")"
  expect 'cmp -s "$files/out.json" "$files/expected.json"' "the replaced file holds the POSIX build's output"

  scenario "a name without extension" convert "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/no-extension")" saved:47
  expect 'cmp -s "$files/no-extension.json" "$files/expected.json" && [ ! -e "$files/no-extension" ]' \
    "the save dialog appends the default extension json"

  scenario "nothing left behind" convert "$(winpath "$files/carried_only.cfg")" "$(winpath "$files/carried.json")" saved
  expect '[ -s "$files/carried.json" ] && [ ! -e "$files/carried.report.html" ]' "the converted file is written, and no report"

  printf 'kept\n' >"$files/report-kept.report.html"
  chmod a-w "$files/report-kept.report.html"
  scenario "the report cannot be written" convert "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/report-kept.json")" saved:47:not-written
  expect 'cmp -s "$files/report-kept.json" "$files/expected.json" && [ "$(cat "$files/report-kept.report.html")" = kept ]' \
    "the conversion stands and the read-only report is unchanged"

  printf 'kept\n' >"$files/kept.json"
  scenario "cancel at the open dialog" convert "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/kept.json")" nothing cancel-open
  scenario "cancel at the save dialog" convert "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/kept.json")" nothing cancel-save
  expect '[ "$(cat "$files/kept.json")" = kept ]' "cancelling leaves the destination as it was"
  expect '[ ! -e "$documents/converted_ov_config.json" ]' "cancelling writes nothing to the documents folder"

  printf 'read only\n' >"$files/read-only.json"
  chmod a-w "$files/read-only.json"
  scenario "read-only destination" convert "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/read-only.json")" write-failed
  expect '[ "$(cat "$files/read-only.json")" = "read only" ]' "the read-only destination is unchanged"

  printf 'not a settings file\n' >"$files/not-settings.cfg"
  scenario "not a version 5 configuration" convert "$(winpath "$files/not-settings.cfg")" "$(winpath "$files/never.json")" load-failed
  expect '[ ! -e "$files/never.json" ] && [ ! -e "$documents/converted_ov_config.json" ]' "a file that does not load writes nothing"

  # A file given as the program's argument (as Explorer starts it for a file dropped on the program or
  # its shortcut) or dropped on the main dialog stands for the open dialog's answer; anything else is
  # the open dialog's initial name.
  scenario "a file given as argument" convert-argument "$(winpath "$files/ov_server_settings.cfg")" \
    "$(winpath "$files/given.json")" saved:47
  expect 'cmp -s "$files/given.json" "$files/expected.json"' "the file given as argument converts to the POSIX build's output"
  scenario "a file dropped on the main dialog" convert-drop "$(winpath "$files/ov_server_settings.cfg")" \
    "$(winpath "$files/dropped.json")" saved:47
  expect 'cmp -s "$files/dropped.json" "$files/expected.json"' "the dropped file converts to the POSIX build's output"
  scenario "a missing file given as argument" convert-argument "$(winpath "$files/missing.cfg")" \
    "$(winpath "$files/never.json")" nothing cancel-open
  scenario "a missing file dropped" convert-drop "$(winpath "$files/missing.cfg")" "$(winpath "$files/never.json")" \
    nothing cancel-open
  expect '[ ! -e "$files/never.json" ]' "a path that is no regular file converts nothing by itself"

  # Several files, or a folder (every ov_server_settings.cfg below it, the name in any case): a folder
  # dialog chooses where they go, and the message gives the totals and offers the index.
  rm -rf "$files/fleet" "$files/fleet-out" "$files/fleet-args"
  mkdir -p "$files/fleet/srv01" "$files/fleet/SRV02" "$files/fleet/bad" "$files/fleet/srv03" "$files/fleet-out" \
    "$files/fleet-args"
  cp "$files/ov_server_settings.cfg" "$files/fleet/srv01/"
  cp "$files/ov_server_settings.cfg" "$files/fleet/SRV02/OV_SERVER_SETTINGS.CFG"
  printf 'not a settings file\n' >"$files/fleet/bad/ov_server_settings.cfg"
  cp "$files/ov_server_settings.cfg" "$files/fleet/srv03/other.cfg"
  rm -f "$opened"
  scenario "a folder dropped on the main dialog" fleet-drop "$(winpath "$files/fleet-out")" 2:3:1:94:50 \
    "open:$(winpath "$opened")" "$(winpath "$files/fleet")"
  expect 'cmp -s "$files/fleet-out/srv01.json" "$files/expected.json" && cmp -s "$files/fleet-out/SRV02.json" "$files/expected.json" &&
          [ -s "$files/fleet-out/index.json" ] && [ "$(ls "$files/fleet-out" | wc -l)" -eq 9 ]' \
    "the folder's two configurations convert to the POSIX build's output, the bad one and other.cfg make nothing"
  touch -d '2001-01-01' "$files/fleet-out"/*
  scenario "a folder dropped again, and the existing files kept" fleet-drop "$(winpath "$files/fleet-out")" 9 \
    refuse-replace "$(winpath "$files/fleet")"
  expect '[ -z "$(find "$files/fleet-out" -type f ! -name .recaster.lock -newermt 2002-01-01)" ]' "No to replacing leaves every file as it was (the folder's lock file aside)"
  rm -f "$opened"
  scenario "several files given as arguments" fleet-argument "$(winpath "$files/fleet-args")" 2:2:0:47:47 \
    "keep:$(winpath "$opened")" "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/carried_only.cfg")"
  expect 'cmp -s "$files/fleet-args/files.json" "$files/expected.json" && [ -s "$files/fleet-args/carried_only.json" ]' \
    "both files given as arguments are converted, each named as the command line names it"
  scenario "cancel at the folder dialog" fleet-drop "$(winpath "$files/never")" 0:0:0:0 cancel-folder \
    "$(winpath "$files/ov_server_settings.cfg")" "$(winpath "$files/carried_only.cfg")"

  # The dialogs and the message at 150 % and 200 %: the system's scale is read when Wine starts.
  local dpi
  for dpi in 144 192; do
    timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
    timeout 60 wineserver -k || true
    scenario "dialogs at $dpi DPI" dialogs "$(winpath "$work/shots")" "$dpi"
    scenario "the message at $dpi DPI" convert "$(winpath "$files/ov_server_settings.cfg")" \
      "$(winpath "$files/scaled-$dpi.json")" saved:47
  done

  timeout 60 wineserver -k || true
  echo
  echo "end-to-end: $failures failed"
  [ "$failures" -eq 0 ]
}

# recaster-cli.exe, the command line built for Windows, on Windows paths; no display needed.
run_cli_checks() {
  local cli=$build/app/recaster-cli.exe files=$work/files failures=0 code
  local sample documents
  sample=$(winpath "$files/ov_server_settings.cfg")
  documents=$WINEPREFIX/drive_c/users/$(id -un)/Documents
  check() {
    if eval "$1"; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
  }
  run() { timeout 60 wine "$cli" "$@" </dev/null; }

  check '[ "$(run --version | tr -d "\r")" = "recaster 1.0.1" ]' "--version prints the product version"
  check 'run completion powershell >"$files/completion.ps1" && grep -q "^Register-ArgumentCompleter -Native -CommandName recaster-cli.exe,recaster-cli " "$files/completion.ps1"' \
    "completion powershell prints the completer of recaster-cli.exe"
  check 'run convert --force --quiet "$sample" "$(winpath "$files/cli.json")" && cmp -s "$files/cli.json" "$files/expected.json"' \
    "convert writes the POSIX build's bytes"
  check 'run convert --quiet "$sample" - >"$files/cli-stdout.json" && cmp -s "$files/cli-stdout.json" "$files/expected.json"' \
    "convert to standard output gives the same bytes, without carriage returns"
  check 'run report "$sample" | tail -n +2 | cmp -s - <(tail -n +2 "$root/tests/data/ov_server_settings.report.md")' "report prints the sample's report as the POSIX build does"
  check 'timeout 60 wine "$cli" convert --quiet - - <"$files/ov_server_settings.cfg" >"$files/cli-stdin.json" && cmp -s "$files/cli-stdin.json" "$files/expected.json"' \
    "convert - reads standard input in binary mode"
  check 'run convert --quiet --out-dir "$(winpath "$files/fleet")" "$sample" && cmp -s "$files/fleet/files.json" "$files/expected.json" && [ -s "$files/fleet/index.html" ]' \
    "convert --out-dir writes NAME.json and the index"
  rm -f "$documents/converted_ov_config.json"
  check 'run convert --quiet "$sample" && cmp -s "$documents/converted_ov_config.json" "$files/expected.json"' \
    "without a destination it writes converted_ov_config.json in the documents folder"
  rm -f "$documents/converted_ov_config.json"
  code=0; run convert --quiet "$sample" "$(winpath "$files/cli.json")" 2>/dev/null || code=$?
  check '[ "$code" -eq 4 ]' "an existing destination is not replaced without --force when no one can be asked (exit 4)"
  code=0; run convert --quiet 'C:\no\such\file.cfg' "$(winpath "$files/cli-never.json")" 2>/dev/null || code=$?
  check '[ "$code" -eq 2 ] && [ ! -e "$files/cli-never.json" ]' "a missing source is a usage error (exit 2)"
  printf 'not a settings file\n' >"$files/cli-not-settings.cfg"
  code=0; run convert --quiet "$(winpath "$files/cli-not-settings.cfg")" "$(winpath "$files/cli-never.json")" 2>/dev/null || code=$?
  check '[ "$code" -eq 3 ] && [ ! -e "$files/cli-never.json" ]' "a file that does not load writes nothing (exit 3)"
  cp "$files/ov_server_settings.cfg" "$files/cli-self.cfg"
  code=0; run convert --force "$(winpath "$files/cli-self.cfg")" "$(winpath "$files/cli-self.cfg")" 2>/dev/null || code=$?
  check '[ "$code" -eq 2 ] && cmp -s "$files/cli-self.cfg" "$files/ov_server_settings.cfg"' \
    "the source as its own destination is refused and kept (exit 2)"
  mkdir -p "$files/cli-folder.json"
  code=0; run convert --force "$sample" "$(winpath "$files/cli-folder.json")" 2>/dev/null || code=$?
  check '[ "$code" -eq 2 ]' "a folder as destination is refused (exit 2)"
  check 'run convert --force "$sample" "$(winpath "$files/cli.json")" 2>&1 >/dev/null | tr -d "\r" |
         grep -qxF "recaster: written to $(winpath "$files/cli.json")"' \
    "the success names the absolute path written on standard error"
  check '! ls -a "$files" | grep -q "\.recaster-"' "no temporary file is left behind"
  code=0; run show "$sample" >/dev/full 2>/dev/null || code=$?
  check '[ "$code" -eq 1 ]' "a failed write to standard output exits 1"
  echo "command line: $failures failed"
  [ "$failures" -eq 0 ]
}

if [ "${1:-}" = "--scenarios" ]; then
  work=$2
  run_scenarios
  exit
fi

bash scripts/setup.sh --windows
bash scripts/setup.sh

step "cross-build for Windows"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRECASTER_WERROR=ON >/dev/null
cmake --build "$build" -j 2

step "POSIX build's output for the sample"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DRECASTER_WERROR=ON >/dev/null  # as scripts/test.sh
cmake --build build/release -j 2 --target recaster
rm -rf "$work"
mkdir -p "$work/files" "$work/home" "$work/home-tests"
sample=$root/samples/ov_server_settings.cfg
cp "$sample" "$work/files/ov_server_settings.cfg"
build/release/cli/recaster convert --force --quiet "$sample" "$work/files/expected.json" </dev/null

step "unit tests under Wine"
export WINEPREFIX=$work/prefix-tests HOME=$work/home-tests  # Wine links the documents folder to HOME
make_prefix "$WINEPREFIX"
# A persistent server with its services started before ctest: a service started by the first test
# would hold ctest's output pipe open until the server ends.
timeout 60 wineserver -p
timeout 60 wine cmd /c exit >/dev/null 2>&1 </dev/null || true
status=0
timeout 900 ctest --test-dir "$build" --output-on-failure --timeout 120 || status=$?
[ "$status" -eq 0 ] || { timeout 60 wineserver -k || true; echo "unit tests under Wine failed"; exit 1; }

step "recaster-cli.exe under Wine"
status=0
run_cli_checks || status=$?
timeout 60 wineserver -k || true
[ "$status" -eq 0 ] || { echo "command line checks failed"; exit 1; }

step "end-to-end under Xvfb and Wine"
# A folder that only its owner may enter; as root, in /tmp whatever TMPDIR says, so that nobody can
# pass through the folder above it.
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  scratch=$(mktemp -d /tmp/recaster-e2e.XXXXXXXX)
  as_user=(runuser -u nobody -- env TMPDIR=/tmp WINEDEBUG="$WINEDEBUG" WINEDLLOVERRIDES="$WINEDLLOVERRIDES")
else
  scratch=$(mktemp -d -t recaster-e2e.XXXXXXXX)
fi
trap 'rm -rf "$scratch"' EXIT
e2e=$scratch/e2e
mkdir -p "$e2e/bin" "$e2e/files" "$e2e/home" "$e2e/shots"
cp "$build/app/Recaster.exe" "$build/tests/wine/driver.exe" scripts/test-windows.sh "$e2e/bin/"
cp "$work/files/ov_server_settings.cfg" "$work/files/expected.json" tests/data/carried_only.cfg "$e2e/files/"
[ ${#as_user[@]} -eq 0 ] || chown -R nobody:nogroup "$scratch"
status=0
timeout 900 "${as_user[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" bash "$e2e/bin/test-windows.sh" \
  --scenarios "$e2e" || status=$?
mkdir -p "$work/shots"
cp "$e2e"/shots/*.bmp "$work/shots/" 2>/dev/null || true

# The screenshots, without time stamps, so that an unchanged dialog gives unchanged files.
mkdir -p docs/screenshots
im=$(command -v convert-im6.q16 || command -v convert)
for shot in main-dialog about-box main-dialog-144 about-box-144 main-dialog-192 about-box-192; do
  if [ -f "$work/shots/$shot.bmp" ]; then
    "$im" "$work/shots/$shot.bmp" -strip -define png:exclude-chunks=date,time "docs/screenshots/$shot.png"
  fi
done
[ "$status" -eq 0 ] || { echo "end-to-end checks failed"; exit 1; }

echo
echo "all Windows checks passed"
