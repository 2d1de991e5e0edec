#!/usr/bin/env bash
# The manifest of each build as shipped: per-monitor DPI awareness and common controls 6 in both;
# an execution level (asInvoker) only in the 64-bit build, none in the 32-bit one, whose settings-file
# writes Windows must keep redirecting for standard users.
set -euo pipefail
build=${1:?build folder}
root=$(cd "$build/.." && pwd)
failures=0

check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

# The manifest is stored as plain UTF-8 text in the program's resource section.
manifest_of() { perl -0777 -ne 'print $1 if /(<\?xml[^\0]*?<\/assembly>)/' "$1"; }

for arch in x64 x86; do
  program="$root/$arch/lumeta_show.scr"
  if [ ! -f "$program" ]; then
    echo "FAIL: $program is not built" >&2; failures=$((failures + 1)); continue
  fi
  text=$(manifest_of "$program")
  check "$arch: one manifest" [ "$(grep -a -o "</assembly>" "$program" | wc -l)" = 1 ]
  check "$arch: dpiAware true/pm" grep -q '<dpiAware [^>]*>true/pm</dpiAware>' <<<"$text"
  check "$arch: dpiAwareness PerMonitorV2,PerMonitor" \
    grep -q '<dpiAwareness [^>]*>PerMonitorV2,PerMonitor</dpiAwareness>' <<<"$text"
  check "$arch: common controls 6" grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$text"
  case $arch in
    x64)
      check "x64: asInvoker" grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$text"
      check "x64: amd64 identity" grep -q 'processorArchitecture="amd64"' <<<"$text" ;;
    x86)
      check "x86: no execution level" bash -c '! grep -qi "requestedExecutionLevel\|trustInfo" <<<"$0"' "$text"
      check "x86: x86 identity" grep -q 'processorArchitecture="x86"' <<<"$text" ;;
  esac
done
[ "$failures" = 0 ]
