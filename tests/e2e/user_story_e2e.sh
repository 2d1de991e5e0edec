#!/usr/bin/env bash
# The user's story, end to end with real input, started as Windows starts a screen saver: with no
# settings file, /c opens the dialog; the user types a text, an interval and a picture folder, picks
# the bouncing text and fitted pictures and presses Close; /s then shows the pictures fitted with the
# text; a mouse movement ends it with exit code 0; /p <hwnd> draws inside a small window; the
# settings file holds what the user typed.
set -euo pipefail
build=${1:?build folder}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run.sh"
source "$root/tests/e2e/e2e_lib.sh"
program="$build/lumeta_show.scr"
work=$(mktemp -d)
failures=0

readonly kDialogTitle="Orvalo設定画面"
readonly kTypedText="Summer 夏休み"   # the Japanese part goes in as characters, no input method
readonly kTypedFolder='C:\lumeta_story'
readonly kTypedInterval=400
# The one picture: 800 x 200, one colour. Fitted to a 1024 x 768 screen it grows by 1024 / 800 to
# 1024 x 256 and is centred: rows 256 to 511, the full width.
readonly kPictureColour='#2878c8'
readonly kBandTop=256 kBandBottom=511

check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

settings="$WINEPREFIX/drive_c/windows/lumeta_show.ini"
pictures="$WINEPREFIX/drive_c/lumeta_story"
[ -f "$settings" ] && cp -p "$settings" "$work/settings.saved"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$settings"
  [ -f "$work/settings.saved" ] && cp -p "$work/settings.saved" "$settings"
  rm -rf "$pictures" "$work"
}

read -r screen_width screen_height < <(xdotool getdisplaygeometry)
if [ "$screen_width" != 1024 ] || [ "$screen_height" != 768 ]; then
  echo "FAIL: the story expects a 1024 x 768 screen, not $screen_width x $screen_height" >&2; exit 1
fi

rm -f "$settings"
rm -rf "$pictures"
mkdir -p "$pictures"
convert -size 800x200 "xc:$kPictureColour" -quality 95 "$pictures/holiday.jpg"

# wait_for_end <pid>: waits up to 20 s and sets exit_code ("timeout" if it still runs). Not in a
# command substitution: only this shell can wait for its children.
wait_for_end() {
  if wait_for_exit "$1"; then exit_code=$E2E_EXIT; else exit_code=timeout; fi
}

# The colour of one screen pixel as "r,g,b" (0 to 255).
pixel() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
near() {  # near <r,g,b> <r,g,b>: each channel within 12
  local IFS=,
  local a=($1) b=($2) i
  for i in 0 1 2; do [ $((a[i] - b[i])) -le 12 ] && [ $((b[i] - a[i])) -le 12 ] || return 1; done
}
picture_rgb=$(printf '%d,%d,%d' "0x${kPictureColour:1:2}" "0x${kPictureColour:3:2}" "0x${kPictureColour:5:2}")

echo "-- /c: the user edits the settings"
"$run" "$program" /c &
dialog_pid=$!
pids+=("$dialog_pid")
wait_for_window "$kDialogTitle" "$dialog_pid" || fail "the dialog did not open${E2E_EXIT:+: exit code $E2E_EXIT}"
wait_for_focus "$E2E_WINDOW" || fail "the dialog did not take the keyboard"
keys() { xdotool key --delay 60 "$@"; sleep 0.2; }
replace_text() { keys Home shift+End; xdotool type --delay 100 "$1"; sleep 0.3; }
# Picks item n of the focused drop-down list with the arrow keys: up to the first item, then down.
pick_item() { keys Up Up Up Up Up Up Up; [ "$1" = 0 ] || keys $(printf 'Down %.0s' $(seq 1 "$1")); }
# The first control, the text edit, has the focus. Tab order: text, text mode, Close, font, TIME,
# folder, folder picker, file types, (the disabled check box is skipped), picture mode.
replace_text "$kTypedText"
keys Tab                                  # text mode: "2:ピンポン"
pick_item 2
keys Tab Tab Tab                          # past Close and the font button to TIME
replace_text "$kTypedInterval"
keys Tab                                  # the picture folder
replace_text "$kTypedFolder"
keys Tab Tab Tab                          # past the picker and the file types to the picture mode
pick_item 4                               # "4:フィット元絵"
import -window root "$work/dialog.png"
keys shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab  # back to Close
keys space
wait_for_end "$dialog_pid"
check "Close ends the dialog with 1 ($exit_code)" [ "$exit_code" = 1 ]

echo "-- the settings file holds what the user typed"
check "the settings file exists" [ -f "$settings" ]
value() { iconv -f CP932 -t UTF-8 "$settings" | tr -d '\r' | sed -n "s/^$1=//p"; }
check "STR is the typed text, in Shift-JIS ($(value STR))" [ "$(value STR)" = "$kTypedText" ]
check "PASS is the typed folder ($(value PASS))" [ "$(value PASS)" = "$kTypedFolder" ]
check "TIME is the typed interval" [ "$(value TIME)" = "$kTypedInterval" ]
check "S-MODE is 2" [ "$(value S-MODE)" = 2 ]
check "G-MODE is 4" [ "$(value G-MODE)" = 4 ]
check "J-MODE is 1 after Close" [ "$(value J-MODE)" = 1 ]
check "COUNT keeps its default" [ "$(value COUNT)" = 10 ]
check "the font keeps its default face" [ "$(value lfFaceName)" = "ＭＳ 明朝" ]

echo "-- /s: the slide show"
place_pointer "$build" 900 700 || fail "cannot put the pointer at (900, 700)"
"$run" "$program" /s &
saver_pid=$!
pids+=("$saver_pid")
wait_for_window "Screen Saver" "$saver_pid" || fail "the saver window did not open${E2E_EXIT:+: exit code $E2E_EXIT}"
# The text line is white (the default colour); its copies outside the picture band stay on screen.
text_pixels_outside_band() {
  convert "$work/saver.png" -fill black -draw "rectangle 0,$kBandTop 1023,$kBandBottom" \
    -fuzz 10% -fill red -opaque white -fill black +opaque red -format '%[fx:int(mean.r*w*h)]' info:
}
# Screenshots until the picture and a copy of the text line beside it show (100 tries, 0.2 s apart):
# the first paints come when the process gets to them. COUNT is 10: the screen is cleared every 4 s.
for _ in $(seq 1 100); do
  import -window root "$work/saver.png"
  near "$(pixel "$work/saver.png" 512 384)" "$picture_rgb" && [ "$(text_pixels_outside_band)" -ge 100 ] && break
  sleep 0.2
done
check "the picture fills the band's middle" near "$(pixel "$work/saver.png" 512 384)" "$picture_rgb"
check "the picture reaches the left edge" near "$(pixel "$work/saver.png" 0 $((kBandTop + 2)))" "$picture_rgb"
check "the picture reaches the right edge" near "$(pixel "$work/saver.png" 1023 $((kBandBottom - 2)))" "$picture_rgb"
band_rows() {  # the number of rows of column x near the band that hold the picture colour
  local rgb count=0
  while read -r rgb; do near "$rgb" "$picture_rgb" && count=$((count + 1)); done < <(
    convert "$work/saver.png" -crop "1x$((kBandBottom - kBandTop + 9))+$1+$((kBandTop - 4))" +repage -depth 8 txt:- |
      sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p')
  echo "$count"
}
check "fitted: the picture is exactly 256 rows high" [ "$(band_rows 3)" = 256 ]
text_pixels=$(text_pixels_outside_band)
check "the text line shows outside the picture ($text_pixels white pixels)" [ "$text_pixels" -ge 100 ]
xdotool mousemove_relative -- 30 30
wait_for_end "$saver_pid"
check "a mouse movement ends the slide show with 0 ($exit_code)" [ "$exit_code" = 0 ]

echo "-- /p <hwnd>: the preview inside a small window"
"$run" "$build/preview_parent.exe" 'C:\lumeta_story\parent.txt' 'C:\lumeta_story\stop.txt' \
  'C:\lumeta_story\child.txt' &
parent_pid=$!
pids+=("$parent_pid")
for _ in $(seq 1 100); do [ -s "$pictures/parent.txt" ] && break; sleep 0.1; done
parent_handle=$(cat "$pictures/parent.txt" 2>/dev/null || true)
check "the preview parent is up" [ -n "$parent_handle" ]
"$run" "$program" /p "$parent_handle" &
preview_pid=$!
pids+=("$preview_pid")
sleep "$(awk -v t="$kTypedInterval" 'BEGIN { print 3 * t / 1000 + 1 }')"
xdotool mousemove_relative -- 40 40
sleep 0.5
check "input does not end the preview" kill -0 "$preview_pid"
touch "$pictures/stop.txt"
wait_for_end "$preview_pid"
check "the preview ends with its parent, with 0 ($exit_code)" [ "$exit_code" = 0 ]
wait_for_end "$parent_pid"
# Wine does not put a child window of another process on the X display, so the preview cannot be
# seen in a screenshot here; the parent reports the child it held instead.
child=$(tr -d '\r' < "$pictures/child.txt" 2>/dev/null || true)
check "the parent held the preview, filling it ($child)" [ "$child" = "WindowsScreenSaverClass|Preview|320x240|visible" ]

if [ "$failures" != 0 ]; then
  mkdir -p "$build/user_story"
  cp "$work"/*.png "$build/user_story/" 2>/dev/null || true
  echo "screenshots kept in $build/user_story" >&2
fi
[ "$failures" = 0 ]
