#!/usr/bin/env bash
# Builds the packages: the Debian package of the command-line program (build/package/recaster_*.deb)
# and, when the Windows cross-build exists (build/windows, from scripts/test-windows.sh), its ZIP of
# Recaster.exe, recaster-cli.exe and the README.
#   bash scripts/package.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
build=$here/build/package
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DRECASTER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2
(cd "$build" && cpack -G DEB)
ls "$build"/*.deb

windows=$here/build/windows
if [ -f "$windows/CMakeCache.txt" ]; then
  cmake --build "$windows" -j 2
  (cd "$windows" && cpack -G ZIP)
  ls "$windows"/*.zip
else
  echo "package: no Windows build in $windows; the ZIP is left out"
fi
