#!/usr/bin/env bash
# The test command: set-up, both builds, the Wine prefix, Xvfb and wineserver, then ctest for x64.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset x64 >/dev/null
cmake --build --preset x64
cmake --preset x86 >/dev/null
cmake --build --preset x86
# The picture library's core natively: unit tests under sanitizers, bounded fuzz runs per type.
bash imgctl/native/check.sh

source scripts/wine-env.sh
trap lumeta_stop_started EXIT
lumeta_prepare_prefix
lumeta_start_display
lumeta_start_wineserver

ctest --test-dir build/x64 --output-on-failure --timeout 300 "$@"
