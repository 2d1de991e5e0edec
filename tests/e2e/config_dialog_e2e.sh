#!/usr/bin/env bash
# End to end: lumeta_show.scr /c shows the settings screen with its Japanese texts; real keys
# edit the display text and press Close, which saves the settings and ends with 1.
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
ini="$WINEPREFIX/drive_c/windows/lumeta_show.ini"
shot="$build/config_dialog_e2e.png"

saved=""
if [ -f "$ini" ]; then saved=$(mktemp); cp "$ini" "$saved"; fi
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  if [ -n "$saved" ]; then cp "$saved" "$ini"; rm -f "$saved"; else rm -f "$ini"; fi
}
rm -f "$ini"

"$E2E_RUN" "$build/lumeta_show.scr" /c &
pid=$!

wait_for_window "Orvalo設定画面" "$pid" || fail "the settings screen did not appear${E2E_EXIT:+: exit code $E2E_EXIT}"
window=$E2E_WINDOW
# Typed keys go to the focused control once the dialog holds the keyboard.
wait_for_focus "$window" || fail "the settings screen did not take the keyboard"
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "dialog at $X,$Y size ${WIDTH}x$HEIGHT; screenshot $shot"
# 236 x 168 dialog units in a 9-point font: a few hundred pixels each way.
[ "$WIDTH" -gt 300 ] && [ "$WIDTH" -lt 700 ] || { echo "FAIL: width $WIDTH"; exit 1; }
[ "$HEIGHT" -gt 200 ] && [ "$HEIGHT" -lt 600 ] || { echo "FAIL: height $HEIGHT"; exit 1; }
# The labels are drawn: dark text pixels on the dialog face, once it has painted (100 screenshots,
# 0.2 s apart).
for _ in $(seq 1 100); do
  import -window root "$shot"
  dark=$(convert "$shot" -crop "${WIDTH}x${HEIGHT}+$X+$Y" -colorspace gray -threshold 40% -format "%[fx:round((1-mean)*w*h)]" info:)
  [ "$dark" -gt 500 ] && break
  sleep 0.2
done
[ "$dark" -gt 500 ] || { echo "FAIL: only $dark dark pixels in the dialog"; exit 1; }

# The display text has the focus with its text selected: typing replaces it.
xdotool type --delay 20 "E2E text"
# Tab order: display text, text-mode combo, Close.
xdotool key --delay 50 Tab Tab space
wait_for_exit "$pid" || fail "Close did not end the dialog"
pid=""
[ "$E2E_EXIT" -eq 1 ] || fail "exit code $E2E_EXIT, expected 1"
grep -q "^STR=E2E text" "$ini" || { echo "FAIL: STR not saved"; cat "$ini"; exit 1; }
grep -q "^J-MODE=1" "$ini" || { echo "FAIL: J-MODE not 1"; exit 1; }
echo "PASS"
