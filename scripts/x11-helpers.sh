#!/usr/bin/env bash
# Sourced helpers for scripts that drive the programs on an X display with xdotool.

# lumeta_wait_for_window <title> <pid>: prints the X window id of a visible window titled exactly
# <title>; waits up to 20 s, and gives up at once when process <pid> has ended.
lumeta_wait_for_window() {
  local id
  for _ in $(seq 1 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
