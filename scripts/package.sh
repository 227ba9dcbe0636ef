#!/usr/bin/env bash
# Builds the three packages:
#   build/package/recaster_<version>_amd64.deb  the command-line program, for Debian
#   build/windows/recaster-<version>-win64.zip  Recaster.exe, recaster-cli.exe, the README and the guide
#   build/windows/recaster-<version>-x64.msi    the same as a Windows installer, built with wixl
# The Windows packages come from the cross-build in build/windows (scripts/test-windows.sh makes it);
# when there is none yet, this script makes it.
#   bash scripts/package.sh
# With a code-signing certificate, the two programs (as CPack stages them, before it packs them) and
# the MSI are signed with osslsigncode:
#   RECASTER_SIGN_PFX=cert.pfx RECASTER_SIGN_PASSWORD=... [RECASTER_SIGN_TIMESTAMP=URL] bash scripts/package.sh
# RECASTER_SIGN_TIMESTAMP is an RFC 3161 time-stamping server's address. The password reaches
# osslsigncode in a file only the user can read, never on a command line. packaging/sign.cmake signs
# the staged programs by running this script as
#   bash scripts/package.sh --sign FILE...
set -euo pipefail
# A certificate named relative to where the script was started.
[ -z "${RECASTER_SIGN_PFX:-}" ] || RECASTER_SIGN_PFX=$(realpath -m -- "$RECASTER_SIGN_PFX")
cd "$(dirname "$0")/.."
root=$PWD

signing_url=https://recaster.example.com/
password_file=
# Fails unless RECASTER_SIGN_PFX and RECASTER_SIGN_PASSWORD open a PKCS#12 certificate; writes the
# password where only this user can read it, removed when the script ends.
open_certificate() {
  local pfx=$RECASTER_SIGN_PFX
  if [ ! -f "$pfx" ] || [ ! -r "$pfx" ]; then
    echo "package: RECASTER_SIGN_PFX names $pfx, which is not a readable file; nothing was built" >&2
    exit 1
  fi
  if [ -z "${RECASTER_SIGN_PASSWORD+set}" ]; then
    echo "package: RECASTER_SIGN_PFX is set but RECASTER_SIGN_PASSWORD is not; nothing was built" >&2
    exit 1
  fi
  command -v osslsigncode >/dev/null && command -v openssl >/dev/null || bash scripts/setup.sh --packages
  password_file=$(umask 077 && mktemp)
  trap 'rm -f "$password_file"' EXIT
  trap 'exit 130' INT TERM HUP
  printf '%s' "$RECASTER_SIGN_PASSWORD" >"$password_file"
  if ! openssl pkcs12 -in "$pfx" -passin "file:$password_file" -noout 2>/dev/null; then
    echo "package: $pfx does not open with RECASTER_SIGN_PASSWORD (a wrong password, or not a PKCS#12 file); nothing was built" >&2
    exit 1
  fi
}
sign() {  # FILE...: each signed in place
  local file timestamp=()
  [ -z "${RECASTER_SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$RECASTER_SIGN_TIMESTAMP")
  for file in "$@"; do
    rm -f "$file.signed"
    if ! osslsigncode sign -pkcs12 "$RECASTER_SIGN_PFX" -readpass "$password_file" -n Recaster \
      -i "$signing_url" -h sha256 "${timestamp[@]}" -in "$file" -out "$file.signed" >"$file.signing.log" 2>&1; then
      cat "$file.signing.log" >&2
      rm -f "$file.signed" "$file.signing.log"
      echo "package: osslsigncode could not sign $file" >&2
      exit 1
    fi
    mv "$file.signed" "$file"
    rm -f "$file.signing.log"
    echo "package: signed ${file#"$root"/}"
  done
}

cpack_signing=()
if [ -n "${RECASTER_SIGN_PFX:-}" ]; then
  open_certificate
  cpack_signing=(-D "CPACK_PRE_BUILD_SCRIPTS=$root/packaging/sign.cmake" -D "CPACK_RECASTER_SIGN_SCRIPT=$root/scripts/package.sh")
elif [ "${1:-}" = --sign ]; then
  echo "package: --sign needs RECASTER_SIGN_PFX and RECASTER_SIGN_PASSWORD" >&2
  exit 1
else
  echo "package: no RECASTER_SIGN_PFX, so the Windows programs and the MSI are not signed"
fi
if [ "${1:-}" = --sign ]; then
  shift
  sign "$@"
  exit 0
fi

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
(cd "$windows" && cpack -G ZIP "${cpack_signing[@]}" && cpack -G External "${cpack_signing[@]}")
# The External generator's description of the staged files, not a package.
rm -f "$windows"/recaster-*-win64.json "$windows"/recaster-*-win64.json.sha256

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
if [ -n "$password_file" ]; then
  sign "$windows/recaster-${version}-x64.msi"
  # CPack's checksum was of the unsigned file.
  (cd "$windows" && sha256sum "recaster-${version}-x64.msi" >"recaster-${version}-x64.msi.sha256")
fi

echo
ls -l "$build/recaster_${version}_amd64.deb" "$windows/recaster-${version}-win64.zip" \
  "$windows/recaster-${version}-x64.msi"
