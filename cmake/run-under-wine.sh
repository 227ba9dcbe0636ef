#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest (the cross-build's CMAKE_CROSSCOMPILING_EMULATOR):
#   run-under-wine.sh WINE PROGRAM.exe [ARGUMENT...]
# and ends with it everything that it started. Wine starts a Windows child process, and a service that a
# program asks for, as a Unix process of its own outside the program's tree, holding whatever the program
# had open; one left running would keep ctest's output pipe open, and ctest would wait for it until the
# test timed out. So Wine writes to files of this run's own, copied to our output as they grow, and once
# the program has ended, every process that still holds one of them (so was started by this run) is
# killed. Exits with the program's code.
set -u
wine=$1
shift
program_name=${1##*/}
files=$(mktemp -d "${TMPDIR:-/tmp}/recaster-wine.XXXXXXXX")
: >"$files/out"
: >"$files/err"
started=${EPOCHREALTIME/./}
{ exec 4<&0; } 2>/dev/null || exec 4</dev/null  # a background job would read /dev/null, not ours
"$wine" "$@" <&4 >>"$files/out" 2>>"$files/err" 4<&- &
program=$!
exec 4<&-
tail -q -n +1 -s 0.01 --pid="$program" -f "$files/out" &
copiers=$!
tail -q -n +1 -s 0.01 --pid="$program" -f "$files/err" >&2 &
copiers="$copiers $!"
wait "$program"
code=$?
# shellcheck disable=SC2086
wait $copiers
if [ "$code" -ne 0 ] && [ ! -s "$files/out" ] && [ ! -s "$files/err" ]; then
  echo "run-under-wine: $program_name ended with code $code after $(((${EPOCHREALTIME/./} - started) / 1000)) ms" \
    "and printed nothing" >&2
fi

# The processes that hold one of the files open, but for the Wine server: it keeps the files of the
# handles that Wine's processes have open, lets go of them as those processes end, and serves the tests
# that follow.
holders() {
  local pid
  for pid in $(find /proc/[0-9]*/fd -maxdepth 1 -lname "$files/*" 2>/dev/null | cut -d/ -f3 | sort -u); do
    case $(readlink "/proc/$pid/exe" 2>/dev/null) in
      */wineserver*) ;;
      *) echo "$pid" ;;
    esac
  done
}
left=$(holders)
if [ -n "$left" ]; then
  echo "run-under-wine: ending what $program_name left running:" >&2
  for pid in $left; do
    printf '  %s %s\n' "$pid" "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
  done
  # shellcheck disable=SC2086
  kill -KILL $left 2>/dev/null
  for _ in $(seq 100); do
    [ -z "$(holders)" ] && break
    sleep 0.1
  done
fi
rm -rf "$files"
exit "$code"
