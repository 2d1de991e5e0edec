#!/usr/bin/env bash
# The test command: set-up, both builds, the Wine prefix, Xvfb and wineserver, then the whole
# ctest suite for x64 and for x86 (the build the installer ships).
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

status=0
echo "test: x64 build"
ctest --test-dir build/x64 --output-on-failure --timeout 300 "$@" || status=1
if lumeta_has_wine32; then
  echo "test: x86 build"
  ctest --test-dir build/x86 --output-on-failure --timeout 300 "$@" || status=1
else
  echo "test: x86 build NOT run: this machine cannot run 32-bit programs (no 32-bit Wine)"
fi
exit $status
