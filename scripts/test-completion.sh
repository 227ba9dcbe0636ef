#!/usr/bin/env bash
# Checks the bash completion that the Debian package installs, as bash completes a line: with Debian's
# bash-completion loaded (as an interactive shell loads it) and without it. Each case sets COMP_WORDS,
# COMP_CWORD, COMP_LINE and COMP_POINT as bash does for the line, calls the completion function and
# reads COMPREPLY: the commands, each command's options, the values of --format, file and folder names.
#   bash scripts/test-completion.sh FOLDER    FOLDER: the package extracted with dpkg-deb -x
set -uo pipefail
script=$1/usr/share/bash-completion/completions/recaster
loader=/usr/share/bash-completion/bash_completion
[ -f "$script" ] || { echo "FAIL: no $script"; exit 1; }
[ -f "$loader" ] || { echo "FAIL: no $loader (bash scripts/setup.sh --packages installs bash-completion)"; exit 1; }
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
mkdir "$files/servers" "$files/saved"
touch "$files/sample.cfg" "$files/srv01.json" "$files/servers/ov_server_settings.cfg"

# What completion offers at the end of LINE, sorted on one line; with bash-completion when WITH is yes.
offered() {  # WITH LINE
  bash --norc --noprofile -c '
    if [ "$1" = yes ]; then . "$2"; fi
    . "$3"
    cd "$4" || exit 1
    COMP_LINE=$5
    COMP_POINT=${#5}
    words=${5//=/ = }  # bash breaks words at "=" too
    read -ra COMP_WORDS <<<"$words"
    if [[ $5 == *" " ]]; then COMP_WORDS+=(""); fi
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _recaster recaster "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    if [ ${#COMPREPLY[@]} -gt 0 ]; then printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "; fi
  ' _ "$1" "$loader" "$script" "$files" "$2"
}

cases=(
  "recaster con|convert "
  "recaster |check completion convert diff help report show "
  "recaster --v|--version "
  "recaster report --fo|--format "
  "recaster convert --out|--out-dir "
  "recaster report --format |csv html json markdown "
  "recaster report --format j|json "
  "recaster report --format=c|csv "
  "recaster check --format |json text "
  "recaster report sa|sample.cfg saved "
  "recaster convert -f sample.cfg sr|srv01.json "
  "recaster convert --out-dir s|saved servers "
  "recaster convert -o se|servers "
  "recaster convert -j |"
  "recaster help rep|report "
  "recaster completion |bash fish powershell zsh "
)
failures=0
for with in yes no; do
  for case in "${cases[@]}"; do
    line=${case%%|*}
    expected=${case#*|}
    got=$(offered "$with" "$line")
    if [ "$got" = "$expected" ]; then
      echo "ok: bash-completion $with: \"$line\" offers: $expected"
    else
      echo "FAIL: bash-completion $with: \"$line\" offers \"$got\", not \"$expected\""
      failures=$((failures + 1))
    fi
  done
done
echo "completion: $failures failed"
[ "$failures" -eq 0 ]
