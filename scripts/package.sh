#!/usr/bin/env bash
# Builds the three packages:
#   build/package/recaster_<version>_amd64.deb  the command-line program, for Debian
#   build/windows/recaster-<version>-win64.zip  Recaster.exe, recaster-cli.exe, the README and the guide
#   build/windows/recaster-<version>-x64.msi    the same as a Windows installer, built with wixl
# The Windows packages come from the cross-build in build/windows (scripts/test-windows.sh makes it);
# when there is none yet, this script makes it.
#   bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
bash scripts/setup.sh --packages

# The Debian package is built with Debian's own build flags, hardening included.
build=$root/build/package
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" -DRECASTER_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2
(cd "$build" && cpack -G DEB)

windows=$root/build/windows
if [ ! -f "$windows/CMakeCache.txt" ]; then
  bash scripts/setup.sh --windows
  cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$windows" -j 2
(cd "$windows" && cpack -G ZIP && cpack -G External)
# The External generator's description of the staged files, not a package.
rm -f "$windows"/recaster-*-win64.json "$windows"/recaster-*-win64.json.sha256

echo
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
ls -l "$build/recaster_${version}_amd64.deb" "$windows/recaster-${version}-win64.zip" \
  "$windows/recaster-${version}-x64.msi"
