#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
#   bash scripts/setup.sh            what the build and the tests need
#   bash scripts/setup.sh bench      that, and what only the benchmarks compare against (pugixml)
#   bash scripts/setup.sh --windows  what the Windows cross-build and its tests under Wine and Xvfb need
#   bash scripts/setup.sh --browser  the headless browser that renders the HTML report, with a font, and
#                                    the accessibility check's packages (node, npm ci in scripts/browser/)
#   bash scripts/setup.sh --packages what scripts/package.sh and its checks add: wixl and msitools for
#                                    the MSI, osslsigncode and openssl to sign the Windows programs and
#                                    the MSI, lintian and dpkg-shlibdeps for the Debian package,
#                                    bash-completion to load its bash completion as a shell does
set -euo pipefail

posix_packages=(cmake make g++ clang libclang-rt-14-dev libboost1.81-dev libgtest-dev libcli11-dev libbenchmark-dev
                python3-jsonschema jq cmark-gfm)
bench_packages=(libpugixml-dev)
browser_packages=(chromium fonts-dejavu-core)

# mingw-w64 (the posix thread model, for std::thread and friends), Wine to run the programs, a headless
# X server for the dialogs, Wine's own fonts so that "MS Shell Dlg" keeps its metrics, ImageMagick for
# the icon and the screenshots, and Debian's GoogleTest sources to build the tests for Windows.
windows_packages=(cmake make libboost1.81-dev libcli11-dev googletest
                  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine xvfb xauth fonts-wine
                  imagemagick)

package_packages=(wixl msitools osslsigncode openssl lintian dpkg-dev bash-completion)

case "${1:-}" in
  --windows) packages=("${windows_packages[@]}") ;;
  --browser) packages=("${browser_packages[@]}")
             # Debian's node and npm only where there are none (a newer node may be installed already).
             command -v node >/dev/null || packages+=(nodejs)
             command -v npm >/dev/null || packages+=(npm) ;;
  --packages) packages=("${package_packages[@]}") ;;
  bench) packages=("${posix_packages[@]}" "${bench_packages[@]}") ;;
  *) packages=("${posix_packages[@]}") ;;
esac

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

# axe-core and puppeteer-core, test-only, at the versions scripts/browser/package-lock.json pins; npm ci
# runs again only when the lock file changed since it last ran.
if [ "${1:-}" = --browser ]; then
  browser_dir="$(dirname "$0")/browser"
  if ! cmp -s "$browser_dir/package-lock.json" "$browser_dir/node_modules/.installed-lock.json"; then
    echo "setup: npm ci in scripts/browser"
    (cd "$browser_dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    cp "$browser_dir/package-lock.json" "$browser_dir/node_modules/.installed-lock.json"
  fi
fi
