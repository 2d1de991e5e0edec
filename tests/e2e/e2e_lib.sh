#!/usr/bin/env bash
# Sourced by the end-to-end scripts: hold the X display for the script, start the built program
# under Wine, find its windows on the X display, wait for it to end. The environment (WINEPREFIX,
# DISPLAY) is set by ctest.
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_RUN="$E2E_ROOT/scripts/wine-run.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb resets itself whenever its last client disconnects: the pointer goes back to the middle of
# the screen, and a Wine process that connects during the reset gets no display (its window, and
# Wine's desktop process started for it, fail to be made). Between two steps of a script the last
# client is often Wine's desktop process, which ends about a second after the last program, or a
# single xdotool call. One client of our own, connected from here to the script's end, keeps the
# display as the script left it.
# xprop prints the root window's name (there is none) once it is connected, then waits for changes.
E2E_DISPLAY_HOLDER_OUT=$(mktemp)
xprop -root -spy WM_NAME >"$E2E_DISPLAY_HOLDER_OUT" 2>&1 &
E2E_DISPLAY_HOLDER=$!
for _ in $(seq 1 100); do [ -s "$E2E_DISPLAY_HOLDER_OUT" ] && break; sleep 0.05; done

# At exit: the script's own clean-up (a function named cleanup, when it has one), then the holder.
e2e_exit() {
  local status=$?
  if declare -F cleanup >/dev/null; then cleanup || true; fi
  kill "$E2E_DISPLAY_HOLDER" 2>/dev/null || true
  wait "$E2E_DISPLAY_HOLDER" 2>/dev/null || true
  rm -f "$E2E_DISPLAY_HOLDER_OUT"
  exit "$status"
}
trap e2e_exit EXIT
# A script that stops on a failed command (set -e) says which one, instead of ending without a word.
trap 'e2e_status=$?; [[ $- != *e* ]] || echo "FAIL: $(basename "$0") line $LINENO: $BASH_COMMAND (exit $e2e_status)" >&2' ERR

# wait_for_window <title> [<pid>]: waits up to 20 s for a visible X window with exactly this
# title and puts its id in E2E_WINDOW. Gives up at once when process <pid> has ended, with its
# exit code in E2E_EXIT (empty otherwise). Not in a command substitution: only this shell can
# wait for its children.
wait_for_window() {
  E2E_WINDOW=
  E2E_EXIT=
  for _ in $(seq 1 200); do
    E2E_WINDOW=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$E2E_WINDOW" ] && return 0
    if [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null; then
      E2E_EXIT=0; wait "$2" || E2E_EXIT=$?
      return 1
    fi
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

# wait_for_focus <id>...: waits up to 20 s for one of these X windows to hold the keyboard focus,
# so that typed keys go to their program.
wait_for_focus() {
  local focus id
  for _ in $(seq 1 200); do
    focus=$(xdotool getwindowfocus 2>/dev/null)
    for id in "$@"; do [ "$focus" = "$id" ] && return 0; done
    sleep 0.1
  done
  return 1
}

# Waits up to 20 s for the process to end; its exit code in E2E_EXIT.
wait_for_exit() {
  for _ in $(seq 1 200); do
    if ! kill -0 "$1" 2>/dev/null; then
      E2E_EXIT=0; wait "$1" || E2E_EXIT=$?
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# pointer_is_at <x> <y>: the X pointer is at this screen point.
pointer_is_at() {
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell)"
  [ "$X,$Y" = "$1,$2" ]
}

# place_pointer <build folder> <x> <y>: puts the pointer at this screen point through Wine
# (tests/fakes/set_cursor.cpp), before a program that measures mouse movement starts. Moved with
# xdotool while no Wine window is under it, the pointer would leave Wine's copy of the cursor
# position behind, which a new saver may take for its cursor anchor. On a busy machine the
# helper's last move was at times lost with its ended process; it is then placed again.
place_pointer() {
  for _ in 1 2 3; do
    "$E2E_RUN" "$1/set_cursor.exe" "$2" "$3" && pointer_is_at "$2" "$3" && return 0
  done
  return 1
}

# Input may take a moment to travel through the X server and Wine; a program that
# should stay is given this long to (wrongly) end before it is checked.
settle() { sleep 1; }

wine_reg() { "$E2E_RUN" reg "$@" >/dev/null 2>&1; }
