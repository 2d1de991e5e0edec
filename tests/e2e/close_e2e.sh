#!/usr/bin/env bash
# A full-screen run ends on a key press and on a mouse movement of more than 4 pixels
# (real input through the X server), not on a movement of 4; the exit code is 0.
set -u
build=$1
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
saver="$build/lumeta_show.scr"

start_saver() {
  xdotool mousemove 500 400
  "$E2E_RUN" "$saver" /s &
  pid=$!
  wait_for_window "Screen Saver" >/dev/null || fail "no saver window"
  settle
  kill -0 "$pid" 2>/dev/null || fail "the saver ended before any input"
}

start_saver
xdotool mousemove 502 402  # 2 right and 2 down: 4 pixels
settle
kill -0 "$pid" 2>/dev/null || fail "a movement of 4 pixels ended the run"
xdotool mousemove 503 402  # 5 pixels from where the run started
wait_for_exit "$pid" || fail "a movement of 5 pixels did not end the run"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after the movement"

start_saver
xdotool key a
wait_for_exit "$pid" || fail "a key press did not end the run"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after the key"

start_saver
xdotool click 1
wait_for_exit "$pid" || fail "a click did not end the run"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after the click"
echo "ok"
