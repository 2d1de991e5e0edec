#!/usr/bin/env bash
# A full-screen run ends on a key press and on a mouse movement of more than 4 pixels
# (real input through the X server), not on a movement of 4; the exit code is 0.
set -u
build=$1
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
saver="$build/lumeta_show.scr"
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; }

# The run takes its cursor anchor where the pointer is when its window is made: (500, 400).
start_saver() {
  place_pointer "$build" 500 400 || fail "cannot put the pointer at (500, 400): $(xdotool getmouselocation)"
  "$E2E_RUN" "$saver" /s &
  pid=$!
  wait_for_window "Screen Saver" "$pid" || fail "no saver window${E2E_EXIT:+: the saver ended with $E2E_EXIT}"
  wait_for_focus "$E2E_WINDOW" || fail "the saver window did not take the keyboard"
  pointer_is_at 500 400 || fail "the pointer left (500, 400) while the saver started: $(xdotool getmouselocation)"
  settle
  kill -0 "$pid" 2>/dev/null || fail "the saver ended before any input"
}

# The run must end after <what>, with 0.
expect_end() {
  wait_for_exit "$pid" || fail "$1 did not end the run"
  pid=
  [ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after $1"
}

start_saver
xdotool mousemove 502 402  # 2 right and 2 down: 4 pixels
settle
kill -0 "$pid" 2>/dev/null || fail "a movement of 4 pixels ended the run"
xdotool mousemove 503 402  # 5 pixels from where the run started
expect_end "a movement of 5 pixels"

start_saver
xdotool key a
expect_end "a key press"

start_saver
xdotool click 1
expect_end "a click"
echo "ok"
