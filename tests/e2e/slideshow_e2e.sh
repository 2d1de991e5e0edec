#!/usr/bin/env bash
# The built saver shows the configured folder's picture where picture mode 4 puts it, full screen
# (/s, ended by a real key press with exit code 0, one instance at a time), and runs as a preview
# child of a parent window (/p <hwnd>) until the parent goes away.
set -u
build=$1
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
saver="$build/lumeta_show.scr"
work=$(mktemp -d)
pictures="$WINEPREFIX/drive_c/lumeta_e2e_pictures"
settings="$WINEPREFIX/drive_c/windows/lumeta_show.ini"

cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  [ -n "${parent_pid:-}" ] && kill "$parent_pid" 2>/dev/null
  if [ -f "$work/saved.ini" ]; then cp "$work/saved.ini" "$settings"; else rm -f "$settings"; fi
  rm -rf "$pictures" "$work"
}
[ -f "$settings" ] && cp "$settings" "$work/saved.ini"

# A 400 x 200 picture, red on the left half and blue on the right. Mode 4 fits it to
# 1024 x 768 by the smaller ratio 2.56: 1024 x 512 at (0, 128), black bands above and below.
rm -rf "$pictures"
mkdir -p "$pictures"
convert -size 200x200 xc:'#FF0000' -size 200x200 xc:'#0000FF' +append "PNG24:$pictures/wide.png" || fail "convert"
printf '[Screen Saver.lumeta_show]\r\nPASS=C:\\lumeta_e2e_pictures\r\nF-MODE=0\r\nG-MODE=4\r\nS-MODE=0\r\nTIME=400\r\nCOUNT=10\r\n' \
  > "$settings"

# "r,g,b" of one pixel of a screenshot.
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)],%[fx:int(255*p{$2,$3}.g+0.5)],%[fx:int(255*p{$2,$3}.b+0.5)]" info:
}
expect_pixel() {  # shot x y r,g,b what
  local seen
  seen=$(pixel "$1" "$2" "$3")
  [ "$seen" = "$4" ] || fail "$5: pixel ($2, $3) is $seen, not $4"
}

# Full screen.
place_pointer "$build" 1000 700 || fail "cannot put the pointer at (1000, 700)"
"$E2E_RUN" "$saver" /s &
pid=$!
wait_for_window "Screen Saver" "$pid" || fail "no saver window${E2E_EXIT:+: the saver ended with $E2E_EXIT}"
window=$E2E_WINDOW
# The first paint comes when the process gets to it: screenshots until both halves show
# (100 tries, 0.2 s apart).
for _ in $(seq 1 100); do
  import -window root "$work/full.png" || fail "screenshot"
  [ "$(pixel "$work/full.png" 100 300)" = 255,0,0 ] && [ "$(pixel "$work/full.png" 900 300)" = 0,0,255 ] && break
  sleep 0.2
done
kill -0 "$pid" 2>/dev/null || fail "the saver ended on its own"
expect_pixel "$work/full.png" 100 300 255,0,0 "left half of the fitted picture"
expect_pixel "$work/full.png" 900 300 0,0,255 "right half of the fitted picture"
expect_pixel "$work/full.png" 0 128 255,0,0 "top-left corner of the picture"
expect_pixel "$work/full.png" 1023 639 0,0,255 "bottom-right corner of the picture"
expect_pixel "$work/full.png" 300 127 0,0,0 "band just above the picture"
expect_pixel "$work/full.png" 800 640 0,0,0 "band just below the picture"
expect_pixel "$work/full.png" 512 60 0,0,0 "band above the picture"
expect_pixel "$work/full.png" 512 700 0,0,0 "band below the picture"

# A second full-screen start leaves the first alone and ends with 0.
"$E2E_RUN" "$saver" /s &
second=$!
wait_for_exit "$second" || fail "a second saver did not end"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT of the second saver"
kill -0 "$pid" 2>/dev/null || fail "the second start ended the first"

wait_for_focus "$window" || fail "the saver window did not take the keyboard"
xdotool key a
wait_for_exit "$pid" || fail "a key press did not end the run"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after the key"
pid=
wait_for_no_window "Screen Saver" || fail "the saver window stayed"

# Preview inside a 320 x 240 window at (100, 100). Wine does not show what one process draws
# into a child of another process's window, so the preview is checked through its parent: the
# child it holds, and that the preview runs until the parent goes away and then ends with 0.
winwork=$("$E2E_RUN" winepath -w "$work" 2>/dev/null | tr -d '\r')
"$E2E_RUN" "$build/preview_parent.exe" "$winwork\\hwnd.txt" "$winwork\\stop.txt" "$winwork\\report.txt" &
parent_pid=$!
for _ in $(seq 1 200); do [ -s "$work/hwnd.txt" ] && break; sleep 0.1; done
[ -s "$work/hwnd.txt" ] || fail "the preview parent did not start"
"$E2E_RUN" "$saver" /p "$(cat "$work/hwnd.txt")" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the preview ended on its own"
touch "$work/stop.txt"
wait_for_exit "$pid" || fail "the preview did not end with its parent"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT of the preview"
pid=
wait_for_exit "$parent_pid" || fail "the preview parent did not end"
parent_pid=
report=$(cat "$work/report.txt" 2>/dev/null)
[ "$report" = "WindowsScreenSaverClass|Preview|320x240|visible" ] || fail "the parent held: $report"
echo "ok"
