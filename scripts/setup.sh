#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
#   bash scripts/setup.sh          what the build and the tests need
#   bash scripts/setup.sh bench    that, and what only the benchmarks compare against (pugixml)
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev libboost1.81-dev libgtest-dev libcli11-dev libbenchmark-dev)
bench_packages=(libpugixml-dev)
if [ "${1:-}" = bench ]; then packages+=("${bench_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
