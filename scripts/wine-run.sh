#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix and display, passing its exit code on.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${WINEPREFIX:=$(cd "$here/.." && pwd)/build/wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export LANG="${LUMETA_WINE_LANG:-ja_JP.UTF-8}"
export LC_ALL="$LANG"
exec /usr/lib/wine/wine64 "$@"
