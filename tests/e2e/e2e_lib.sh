#!/usr/bin/env bash
# Sourced by the end-to-end scripts: start the built program under Wine, find its windows
# on the X display, wait for it to end. The environment (WINEPREFIX, DISPLAY) is set by ctest.
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_RUN="$E2E_ROOT/scripts/wine-run.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to 20 s for an X window with exactly this title; prints its id.
wait_for_window() {
  local id
  for _ in $(seq 1 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Waits up to 20 s for the X window with this title to go away.
wait_for_no_window() {
  for _ in $(seq 1 200); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# Waits up to 20 s for the process to end; its exit code in E2E_EXIT.
wait_for_exit() {
  for _ in $(seq 1 200); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"; E2E_EXIT=$?; return 0
    fi
    sleep 0.1
  done
  return 1
}

# Input may take a moment to travel through the X server and Wine; a program that
# should stay is given this long to (wrongly) end before it is checked.
settle() { sleep 1; }

wine_reg() { "$E2E_RUN" reg "$@" >/dev/null 2>&1; }
