#!/usr/bin/env bash
# Builds the packages: the Debian package of the command-line program (build/package/recaster_*.deb)
# and, when the Windows cross-build exists (build/windows, from scripts/test-windows.sh), its ZIP of
# Recaster.exe, recaster-cli.exe and the README.
#   bash scripts/package.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/setup.sh" --packages
# The Debian package is built with Debian's own build flags, hardening included.
build=$here/build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cd "$here"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" -DRECASTER_BUILD_TESTS=OFF >/dev/null
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
