#!/usr/bin/env bash
# Installs what is missing, builds the command-line program and converts the bundled sample into
# converted_ov_config.json in the current folder, printing the conversion notes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/release" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$here/build/release" -j "$(nproc 2>/dev/null || echo 2)" --target recaster
"$here/build/release/cli/recaster" convert --force "$here/samples/ov_server_settings.cfg" converted_ov_config.json
