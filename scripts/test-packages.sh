#!/usr/bin/env bash
# Builds the three packages with scripts/package.sh and checks them:
#   - signing: unsigned without a certificate, as package.sh says; refused with a missing certificate
#     or a wrong password; with a throwaway code-signing certificate, both programs of the ZIP and the
#     MSI verified by osslsigncode, the password never on a command line (the rest runs on these);
#   - the Debian package: lintian reports nothing, it holds the program, the manual page and the
#     documents Debian asks for, and its program converts the sample to the POSIX build's bytes;
#   - the ZIP: the two programs, the README, the guide, the licence, the third-party notices and the
#     three schemas (the JSON report's, the version 6 file's, the check output's);
#   - the MSI: what only its tables can tell (Wine does not act on it), then, under Wine in a fresh
#     prefix, silent installs and uninstalls: the programs in Program Files, recaster-cli.exe from
#     there converting the sample to the POSIX build's bytes and leaving no temporary file when Ctrl+C
#     ends it in the middle of a write, the Start menu shortcut, the entry in
#     Programs and Features, the version under HKLM\SOFTWARE\Recaster, an install into the folder
#     INSTALLDIR names, a major upgrade, a refused downgrade, and nothing left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/packages-test
# No desktop entries from the shortcuts in the home folder; no Mono or Gecko installer prompts.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

step() { printf '\n== %s ==\n' "$*"; }
failures=0
check() {
  if eval "$1"; then echo "ok: $2"; else echo "FAIL: $2"; failures=$((failures + 1)); fi
}

bash scripts/setup.sh --windows
bash scripts/setup.sh --packages

step "build the packages"
# The certificates of the signing steps, made for this run only.
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
bash scripts/package.sh | tee "$keys/unsigned.txt"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
deb=$root/build/package/recaster_${version}_amd64.deb
zip=$root/build/windows/recaster-${version}-win64.zip
msi=$root/build/windows/recaster-${version}-x64.msi

# The Windows programs of the ZIP in FOLDER.
zip_programs() { rm -rf "$1" && mkdir -p "$1" && (cd "$1" && cmake -E tar xf "$zip" Recaster.exe recaster-cli.exe); }
unsigned() { ! osslsigncode extract-signature -in "$1" -out "$keys/signature" >/dev/null 2>&1; }
signed() { osslsigncode verify -CAfile "$keys/ca.pem" -in "$1" >"$keys/verify.txt" 2>&1 || { cat "$keys/verify.txt"; return 1; }; }
zip_programs "$keys/unsigned"
check 'grep -qx "package: no RECASTER_SIGN_PFX, so the Windows programs and the MSI are not signed" "$keys/unsigned.txt"' \
  "without a certificate, package.sh says in one line that it does not sign"
check 'unsigned "$keys/unsigned/Recaster.exe" && unsigned "$keys/unsigned/recaster-cli.exe" && unsigned "$msi"' \
  "and the programs in the ZIP and the MSI carry no signature"

step "sign the packages"
# A certificate authority of its own and a code-signing certificate from it, in a PKCS#12 file with a
# password that has a space and a quote in it.
password="two words'"
(cd "$keys" && printf '%s' "$password" >password \
  && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Recaster test CA" \
       -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
  && openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Recaster test signer" \
  && printf '%s\n' extendedKeyUsage=codeSigning keyUsage=critical,digitalSignature basicConstraints=CA:FALSE >signer.ext \
  && openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext -out signer.pem \
  && openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout file:password -out signer.pfx) 2>/dev/null
# A certificate that is not there, or a wrong password: package.sh fails at once and builds nothing.
refused() {  # PFX PASSWORD MESSAGE
  local status=0
  RECASTER_SIGN_PFX=$1 RECASTER_SIGN_PASSWORD=$2 bash scripts/package.sh >"$keys/refused.txt" 2>&1 || status=$?
  [ "$status" -ne 0 ] && [ "$(wc -l <"$keys/refused.txt")" -eq 1 ] && grep -qF "$3" "$keys/refused.txt" \
    || { cat "$keys/refused.txt"; return 1; }
}
check 'refused "$keys/none.pfx" "$password" "RECASTER_SIGN_PFX names $keys/none.pfx, which is not a readable file"' \
  "a certificate that is not there: package.sh fails and says so"
check 'refused "$keys/signer.pfx" wrong "does not open with RECASTER_SIGN_PASSWORD"' \
  "a wrong password: package.sh fails and says so"
# osslsigncode and openssl as package.sh runs them, each command line written down.
mkdir -p "$keys/bin"
for tool in osslsigncode openssl; do
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/command-lines"\nexec %s "$@"\n' "$keys" "$(command -v "$tool")" \
    >"$keys/bin/$tool"
  chmod +x "$keys/bin/$tool"
done
mkdir -p "$keys/tmp"
start=$SECONDS
TMPDIR=$keys/tmp PATH=$keys/bin:$PATH RECASTER_SIGN_PFX=$keys/signer.pfx RECASTER_SIGN_PASSWORD=$password \
  bash scripts/package.sh | tee "$keys/signed.txt"
echo "   the signed build took $((SECONDS - start)) s"
check 'grep -q -- "-readpass" "$keys/command-lines" && ! grep -qF -- "$password" "$keys/command-lines"' \
  "the password reaches osslsigncode in a file (-readpass), never on a command line"
check '[ -z "$(ls -A "$keys/tmp")" ]' "and the file is gone after the build"
zip_programs "$keys/signed"
check 'signed "$keys/signed/Recaster.exe" && signed "$keys/signed/recaster-cli.exe"' \
  "with a certificate, Recaster.exe and recaster-cli.exe in the ZIP are signed (osslsigncode verify)"
check 'signed "$msi"' "and so is the MSI"
check 'grep -q "^\s*Text description: Recaster$" "$keys/verify.txt"' "the signature names Recaster"
check '(cd build/windows && sha256sum --quiet -c "recaster-$version-x64.msi.sha256")' "the MSI's checksum file is of the signed MSI"
product_name="Ornvale - Recaster"
manufacturer="Recaster developers"
upgrade_code="{B831A17D-E643-487A-9859-EB5B40C5B71E}"

step "POSIX build's output for the sample"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j 2 --target recaster
rm -rf "$work"
mkdir -p "$work/home" "$work/logs"
sample=$root/samples/ov_server_settings.cfg
build/release/cli/recaster convert --force --quiet "$sample" "$work/expected.json" </dev/null

step "Debian package"
status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" || status=$?
check '[ "$status" -eq 0 ] && [ ! -s "$work/lintian.txt" ]' "lintian reports nothing"
cat "$work/lintian.txt"
dpkg-deb -x "$deb" "$work/deb"
for file in usr/bin/recaster usr/share/man/man1/recaster.1.gz usr/share/doc/recaster/copyright \
  usr/share/doc/recaster/changelog.gz usr/share/doc/recaster/README.md.gz usr/share/doc/recaster/guide.md.gz \
  usr/share/recaster/report.schema.json usr/share/recaster/v6.schema.json usr/share/recaster/check.schema.json \
  usr/share/recaster/diff.schema.json usr/share/bash-completion/completions/recaster \
  usr/share/zsh/vendor-completions/_recaster usr/share/fish/vendor_completions.d/recaster.fish; do
  check '[ -f "$work/deb/$file" ]' "it holds /$file"
done
check 'zcat "$work/deb/usr/share/doc/recaster/README.md.gz" | cmp -s - README.md' "its README is the project's"
check 'zcat "$work/deb/usr/share/doc/recaster/guide.md.gz" | cmp -s - docs/guide.md' "its guide is the project's"
check 'cmp -s "$work/deb/usr/share/recaster/report.schema.json" docs/report.schema.json' "its report schema is the project's"
check 'cmp -s "$work/deb/usr/share/recaster/v6.schema.json" docs/v6.schema.json' "its version 6 schema is the project's"
check 'cmp -s "$work/deb/usr/share/recaster/check.schema.json" docs/check.schema.json' "its check output schema is the project's"
check 'cmp -s "$work/deb/usr/share/recaster/diff.schema.json" docs/diff.schema.json' "its diff output schema is the project's"
# The licences of what the program holds: ours, CLI11's and Boost's, each with its text.
for licence in MIT BSD-3-Clause BSL-1.0; do
  check 'grep -qx "License: $licence" "$work/deb/usr/share/doc/recaster/copyright" && grep -q "^License: .*\b$licence\b" <(sed -n "1,/^\$/p" "$work/deb/usr/share/doc/recaster/copyright")' \
    "its copyright file names $licence and holds its text"
done
check '[ "$(zcat "$work/deb/usr/share/doc/recaster/changelog.gz" | sed -n "1s/^recaster (\([^)]*\)).*/\1/p")" = "$version" ]' \
  "the changelog's latest entry is version $version"
check '"$work/deb/usr/bin/recaster" convert --force --quiet "$sample" "$work/deb.json" </dev/null && cmp -s "$work/deb.json" "$work/expected.json"' \
  "its program converts the sample to the POSIX build's bytes"
check 'bash scripts/test-completion.sh "$work/deb" >"$work/logs/completion.log" || { grep FAIL "$work/logs/completion.log"; false; }' \
  "its bash completion, with bash-completion and without, completes commands, options, --format's values and file names"

# What the ZIP and the MSI put beside the programs, each the project's own file.
beside_programs="LICENSE README.md docs/guide.md THIRD-PARTY-NOTICES docs/report.schema.json docs/v6.schema.json
  docs/check.schema.json docs/diff.schema.json"
listing() { printf '%s\n' Recaster.exe recaster-cli.exe recaster-cli-completion.ps1 $beside_programs | sed 's|.*/||' | LC_ALL=C sort | tr "\n" " "; }
same_files() {  # FOLDER: the files beside the programs there are the project's
  local file
  for file in $beside_programs; do cmp -s "$1/${file##*/}" "$file" || return 1; done
}

step "ZIP"
check '[ "$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr "\n" " ")" = "$(listing)" ]' \
  "it holds Recaster.exe, recaster-cli.exe, README.md, guide.md, LICENSE, THIRD-PARTY-NOTICES and the three schemas"
mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
check 'same_files "$work/zip"' "its LICENSE, THIRD-PARTY-NOTICES, README.md, guide.md and schemas are the project's"

# The rows of one table of an MSI, without its three header lines. msiinfo writes the streams of a
# table (the icon) into a folder named after it, here in the test's folder.
table() { (cd "$work" && msiinfo export "$1" "$2") | tail -n +4 | tr -d '\r'; }
property() { table "$1" Property | awk -F '\t' -v name="$2" '$1 == name { print $2 }'; }

# What the MSI's tables say, where Wine does not act on it.
components_are_64bit() {
  local attributes
  while IFS=$'\t' read -r _ _ _ attributes _; do
    (( attributes & 256 )) || return 1
  done < <(table "$msi" Component)
}
# Shortcut rows: directory, target and icon (none: the target's own).
start_menu_shortcut() {
  [ "$(table "$msi" Shortcut | awk -F '\t' '{ print $2 "|" $5 "|" $9 }')" = "ProgramMenuFolder|[#RecasterExe]|" ]
}
downgrade_refused() {
  table "$msi" LaunchCondition | grep -qxF "NOT WIX_DOWNGRADE_DETECTED"$'\t'"A newer version of [ProductName] is already installed."
}

step "MSI tables: what Wine does not act on"
check 'msiinfo suminfo "$msi" | grep -qx "Template: x64;1033"' "a 64-bit package"
check components_are_64bit "every component is a 64-bit component"
check '[ "$(property "$msi" ALLUSERS)" = 1 ]' "per-machine (ALLUSERS=1), so the shortcut goes to the common Start menu"
check start_menu_shortcut "one shortcut, in the Start menu's Programs, to Recaster.exe, with the program's icon"
check downgrade_refused "a downgrade is refused with a message"
check '[ "$(property "$msi" ARPPRODUCTICON)" = recaster.ico ] && table "$msi" Icon | cut -f 1 | grep -qx recaster.ico' \
  "Programs and Features shows the program's icon"

step "MSI under Wine: install, upgrade, refuse a downgrade, uninstall"
export WINEPREFIX=$work/prefix HOME=$work/home
timeout 300 wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
drive_c=$WINEPREFIX/drive_c

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# A Windows path of drive C: as a path of this machine.
unixpath() { local p=${1#[Cc]:}; printf '%s%s' "$drive_c" "${p//\\//}"; }
# Every file and folder of drive C: but the folder where msiexec keeps installed packages.
snapshot() { (cd "$drive_c" && find . ! -path ./windows/Installer | LC_ALL=C sort) >"$1"; }
# Runs msiexec quietly with a log; Wine exits with the Windows exit code modulo 256.
run_msiexec() {
  local log=$1 code=0
  shift
  timeout 300 wine msiexec "$@" /qn /l*v "$(winpath "$work/logs/$log.log")" </dev/null || code=$?
  timeout 60 wineserver -w
  return "$code"
}
registry_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The value a deployment tool's detection rule reads: HKLM\SOFTWARE\Recaster, Version, in the
# registry's 64-bit view (VIEW 64) or its 32-bit view (32).
detection_version() {
  wine reg query 'HKLM\SOFTWARE\Recaster' /v Version "/reg:$1" 2>/dev/null | tr -d '\r' | sed -n 's/^ *Version *REG_SZ *//p'
}
detection_key() { wine reg query 'HKLM\SOFTWARE\Recaster' "/reg:$1" >/dev/null 2>&1; }
listed() { registry_value "$uninstall_key\\$1" "$2"; }
folders='Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
common_programs=$(unixpath "$(registry_value "HKLM\\$folders" "Common Programs")")
user_programs=$(unixpath "$(registry_value "HKCU\\$folders" Programs)")
# The shortcuts to the product in the common Start menu and the user's (Wine's msiexec puts the
# shortcuts of a per-machine package in the user's).
shortcuts() { find "$common_programs" "$user_programs" -maxdepth 1 -name "$product_name.lnk" 2>/dev/null; }
installed=$drive_c/Program\ Files/Recaster
code=$(property "$msi" ProductCode)

snapshot "$work/before.txt"
status=0
run_msiexec install /i "$(winpath "$msi")" || status=$?
check '[ "$status" -eq 0 ]' "msiexec /i recaster-$version-x64.msi /qn succeeds"
check '[ "$(ls "$installed" | LC_ALL=C sort | tr "\n" " ")" = "$(listing)" ] && same_files "$installed"' \
  "Recaster.exe, recaster-cli.exe, README.md, guide.md, LICENSE, THIRD-PARTY-NOTICES and the three schemas are in C:\\Program Files\\Recaster"
check 'timeout 60 wine "C:\\Program Files\\Recaster\\recaster-cli.exe" convert --force --quiet "$(winpath "$sample")" "$(winpath "$work/msi.json")" </dev/null && cmp -s "$work/msi.json" "$work/expected.json"' \
  "recaster-cli.exe run from there converts the sample to the POSIX build's bytes"

# Ctrl+C in the middle of a write: Wine hands SIGINT to the console program as a Ctrl+C event. The
# source's 30 million character bind address makes a 60 MB file, so that the event comes while the
# temporary file is being written; the destination keeps its old content and no temporary is left.
python3 - "$sample" "$work/big.cfg" <<'PY'
import sys
text = open(sys.argv[1], 'rb').read().decode('utf-16')
text = text.replace('<Ipv4BindAddr text="192.0.2.10"/>', '<Ipv4BindAddr text="' + 'a' * 30_000_000 + '"/>', 1)
open(sys.argv[2], 'wb').write(text.encode('utf-16'))
PY
mkdir -p "$work/interrupted"
echo old >"$work/interrupted/out.json"
interrupted_write() {
  local pid temporary="" i
  wine "C:\\Program Files\\Recaster\\recaster-cli.exe" convert --force --quiet "$(winpath "$work/big.cfg")" \
    "$(winpath "$work/interrupted/out.json")" </dev/null >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 1500; i++)); do
    temporary=$(find "$work/interrupted" -name '.out.json.recaster-*' | head -n 1)
    [ -n "$temporary" ] && break
    sleep 0.02
  done
  [ -n "$temporary" ] || { wait "$pid"; echo "   no temporary file appeared"; return 1; }
  kill -INT "$pid"
  wait "$pid" || true
  timeout 60 wineserver -w
  [ "$(cat "$work/interrupted/out.json")" = old ] && [ -z "$(find "$work/interrupted" -name '.out.json.recaster-*')" ]
}
check interrupted_write "Ctrl+C while recaster-cli.exe writes leaves the old file and no temporary"
shortcut=$(shortcuts)
check '[ -n "$shortcut" ] && [ "$(printf "%s\n" "$shortcut" | wc -l)" -eq 1 ]' "one Start menu shortcut \"$product_name\""
echo "   the shortcut: ${shortcut#"$drive_c"}"
check 'grep -qaF "C:\\Program Files\\Recaster\\Recaster.exe" "$shortcut"' "it starts C:\\Program Files\\Recaster\\Recaster.exe"
check '[ "$(listed "$code" DisplayName)" = "$product_name" ] && [ "$(listed "$code" DisplayVersion)" = "$version" ] && [ "$(listed "$code" Publisher)" = "$manufacturer" ]' \
  "Programs and Features lists \"$product_name\" $version by $manufacturer"
check '[ "$(listed "$code" InstallLocation)" = "C:\\Program Files\\Recaster\\" ]' "with its install location"
check '[ "$(detection_version 64)" = "$version" ] && ! detection_key 32' \
  "HKLM\\SOFTWARE\\Recaster holds Version $version (REG_SZ, in the 64-bit view)"
check '[ "$(property "$msi" UpgradeCode)" = "$upgrade_code" ]' "the upgrade code is the product's own"
check 'grep -qF "msiexec /x $code /qn" docs/guide.md && grep -qF "$upgrade_code" docs/guide.md' \
  "the guide gives this product code and the upgrade code"

status=0
run_msiexec uninstall /x "$(winpath "$msi")" || status=$?
check '[ "$status" -eq 0 ]' "msiexec /x recaster-$version-x64.msi /qn succeeds"
snapshot "$work/after.txt"
check 'diff "$work/before.txt" "$work/after.txt" >"$work/left.txt"' "the uninstall leaves no file, folder or shortcut behind"
sed 's/^/   /' "$work/left.txt"
check '[ -z "$(listed "$code" DisplayName)" ]' "Programs and Features no longer lists it"
check '! detection_key 64' "nor is HKLM\\SOFTWARE\\Recaster there"

# Elsewhere, as a deployment tool installs it: msiexec /i recaster-X.msi /qn INSTALLDIR=C:\Tools\Recaster
elsewhere=$drive_c/Tools/Recaster
status=0
run_msiexec install-elsewhere /i "$(winpath "$msi")" 'INSTALLDIR=C:\Tools\Recaster' || status=$?
check '[ "$status" -eq 0 ] && [ "$(ls "$elsewhere" | LC_ALL=C sort | tr "\n" " ")" = "$(listing)" ] && same_files "$elsewhere" && [ ! -e "$installed" ]' \
  "msiexec /i ... /qn INSTALLDIR=C:\\Tools\\Recaster puts the programs and the files beside them there, and nothing in Program Files"
check 'timeout 60 wine "C:\\Tools\\Recaster\\recaster-cli.exe" convert --force --quiet "$(winpath "$sample")" "$(winpath "$work/elsewhere.json")" </dev/null && cmp -s "$work/elsewhere.json" "$work/expected.json"' \
  "recaster-cli.exe run from there converts the sample to the POSIX build's bytes"
check '[ "$(listed "$code" InstallLocation)" = "C:\\Tools\\Recaster\\" ] && [ "$(detection_version 64)" = "$version" ]' \
  "Programs and Features gives that install location, and the registry the version"
status=0
# Windows finds the folder of an installed product by itself; Wine's msiexec looks for the files in
# the default folder unless INSTALLDIR names the other one again.
run_msiexec uninstall-elsewhere /x "$code" 'INSTALLDIR=C:\Tools\Recaster' || status=$?
check '[ "$status" -eq 0 ] && [ ! -e "$elsewhere" ] && [ -z "$(listed "$code" DisplayName)" ] && ! detection_key 64' \
  "uninstalling it removes C:\\Tools\\Recaster and the registry value"
# C:\Tools, made for the folder named on the command line, is not the product's.
rmdir "$drive_c/Tools" 2>/dev/null || true

# The same files as the next version: it must replace this one, and this one must not replace it.
newer=$(printf '%s\n' "$version" | awk -F . -v OFS=. '{ $NF = $NF + 1; print }')
(cd build/windows && cpack -G External -B "$work/newer" -D "CPACK_PACKAGE_VERSION=$newer" \
  -D CPACK_RECASTER_OTHER_VERSION=ON >"$work/logs/newer-cpack.log")
newer_msi=$work/newer/recaster-$newer-x64.msi
newer_code=$(property "$newer_msi" ProductCode)
check '[ "$newer_code" != "$code" ] && [ "$(property "$newer_msi" UpgradeCode)" = "$upgrade_code" ]' \
  "version $newer is another product with the same upgrade code"
status=0
run_msiexec install-again /i "$(winpath "$msi")" || status=$?
run_msiexec upgrade /i "$(winpath "$newer_msi")" || status=$?
check '[ "$status" -eq 0 ] && [ "$(listed "$newer_code" DisplayVersion)" = "$newer" ] && [ -z "$(listed "$code" DisplayName)" ]' \
  "installing $newer over $version replaces it (major upgrade)"
check '[ -f "$installed/Recaster.exe" ] && [ -f "$installed/recaster-cli.exe" ] && [ "$(shortcuts | wc -l)" -eq 1 ]' \
  "the programs and one shortcut are there after the upgrade"
check '[ "$(detection_version 64)" = "$newer" ]' "and HKLM\\SOFTWARE\\Recaster holds Version $newer"
status=0
run_msiexec downgrade /i "$(winpath "$msi")" || status=$?
check '[ "$status" -eq $((1603 % 256)) ] && [ "$(listed "$newer_code" DisplayVersion)" = "$newer" ] && [ -z "$(listed "$code" DisplayName)" ]' \
  "installing $version over $newer fails (1603) and leaves $newer installed"
status=0
run_msiexec uninstall-newer /x "$newer_code" || status=$?
snapshot "$work/after-upgrade.txt"
check '[ "$status" -eq 0 ] && diff "$work/before.txt" "$work/after-upgrade.txt" >"$work/left.txt"' \
  "uninstalling $newer by its product code leaves nothing behind"
sed 's/^/   /' "$work/left.txt"
timeout 60 wineserver -k || true

step "package sizes"
for package in "$deb" "$zip" "$msi"; do
  printf '%10d bytes  %s\n' "$(stat -c %s "$package")" "${package#"$root"/}"
done

echo
echo "packages: $failures failed"
[ "$failures" -eq 0 ]
