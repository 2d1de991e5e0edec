#!/usr/bin/env bash
# The demo: set-up, build, a Wine prefix of its own, a folder of desktop photographs (JPEG, BMP, GIF
# and PNG), a demo settings file, then the slide show (or, with --config, the settings dialog).
# With a DISPLAY it runs there until a key or mouse movement ends it. Without one (or with --xvfb)
# it runs on its own Xvfb display for a fixed time and leaves screenshots and a contact sheet.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

usage() {
  cat <<'EOF'
usage: bash scripts/demo.sh [--config] [--xvfb]
  (none)    the slide show full screen (lumeta_show.scr /s) on photographs
  --config  the settings dialog (lumeta_show.scr /c) over the demo settings
  --xvfb    use a display of its own even when DISPLAY is set
EOF
}

mode=saver
own_display=0
[ -z "${DISPLAY:-}" ] && own_display=1
for arg in "$@"; do
  case $arg in
    --config) mode=config ;;
    --xvfb) own_display=1 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

readonly kPhotoPackage=mate-backgrounds
readonly kPhotos=/usr/share/backgrounds/mate
readonly kInterval=1500      # TIME: milliseconds between pictures
readonly kShots=10           # screenshots of a headless run, one per picture
out="$root/build/demo"

LUMETA_EXTRA_PACKAGES="$kPhotoPackage" bash scripts/setup.sh
cmake --preset x64 >/dev/null
cmake --build --preset x64 --target lumeta_show imgctl

# A prefix of its own, so that the demo's settings file never meets the tests'.
export WINEPREFIX="$root/build/wine-demo"
source scripts/wine-env.sh
source scripts/x11-helpers.sh
trap lumeta_stop_started EXIT
lumeta_prepare_prefix

# The picture folder C:\lumeta_demo: photographs as the package ships them, plus GIF, BMP and PNG
# copies of a few, so that all four types show. The saver lists JPEG, BMP, GIF, PNG in that order.
pictures="$WINEPREFIX/drive_c/lumeta_demo"
# Half of them are portrait crops: fitted to a wide screen they leave wide bands at their sides,
# where the text line shows (the painter draws the text first and the picture over it).
pictures="$WINEPREFIX/drive_c/lumeta_demo"
if [ ! -f "$pictures/.complete-v3" ]; then
  echo "demo: making the picture folder $pictures"
  rm -rf "$pictures"
  mkdir -p "$pictures"
  portrait() { convert "$kPhotos/nature/$1" -gravity center -crop "$2" +repage -resize '1280x1280>' "${@:3}"; }
  cp "$kPhotos/nature/Aqua.jpg" "$kPhotos/nature/Storm.jpg" "$pictures/"
  portrait Dune.jpg 700x1050+0+0 -quality 92 "$pictures/Dune.jpg"
  portrait GreenMeadow.jpg 680x1020+0+0 -quality 92 "$pictures/GreenMeadow.jpg"
  convert "$kPhotos/nature/Garden.jpg" -resize '1280x1280>' -type TrueColor "BMP3:$pictures/Garden.bmp"
  portrait Wood.jpg 1280x1920+0+0 -type TrueColor "BMP3:$pictures/Wood.bmp"
  convert "$kPhotos/nature/YellowFlower.jpg" -resize '1280x1280>' "$pictures/YellowFlower.gif"
  portrait FreshFlower.jpg 800x1200+0+0 "$pictures/FreshFlower.gif"
  portrait TwoWings.jpg 1000x1500+0+0 "$pictures/TwoWings.png"
  cp "$kPhotos/abstract/Silk.png" "$pictures/"
  touch "$pictures/.complete-v3"
fi

# The demo settings: pictures fitted to the screen, the text bouncing, a short interval, and the
# screen cleared on every 4th picture. The file is read in the ANSI code page 932: Shift-JIS.
settings="$WINEPREFIX/drive_c/windows/lumeta_show.ini"
iconv -f UTF-8 -t CP932 > "$settings" <<EOF
[Screen Saver.lumeta_show]
STR=写真 lumeta
PASS=C:\\lumeta_demo
TIME=$kInterval
COUNT=4
SIZE=400
S-MODE=2
F-MODE=0
G-MODE=4
J-MODE=1
lfHeight=-48
lfWidth=0
lfEscapement=0
lfOrientation=0
lfWeight=700
lfItalic=0
lfUnderline=0
lfStrikeOut=0
lfCharSet=128
lfOutPrecision=3
lfClipPrecision=2
lfQuality=1
lfPitchAndFamily=17
lfFaceName=ＭＳ Ｐゴシック
COLOR_R=255
COLOR_G=224
COLOR_B=64
EOF
sed -i 's/$/\r/' "$settings"

if [ "$own_display" = 0 ]; then
  LUMETA_USE_DISPLAY="$DISPLAY" lumeta_start_display
else
  # A Full HD screen of its own.
  LUMETA_SCREEN="${LUMETA_SCREEN:-1920x1080x24}" lumeta_start_display
fi
lumeta_start_wineserver
program="$root/build/x64/lumeta_show.scr"
switch=/s
[ "$mode" = config ] && switch=/c

if [ "$own_display" = 0 ]; then
  echo "demo: lumeta_show.scr $switch on $DISPLAY (a key or a mouse movement ends the slide show)"
  status=0
  scripts/wine-run.sh "$program" "$switch" || status=$?
  echo "demo: exit code $status"
  exit 0
fi

# Headless: run for a fixed time on the own display and keep what it showed.
mkdir -p "$out"
# Each mode replaces only its own pictures.
if [ "$mode" = saver ]; then rm -f "$out"/shot-*.png "$out"/shot-*.miff "$out/contact-sheet.png"; else rm -f "$out/config.png"; fi
scripts/wine-run.sh "$program" "$switch" &
pid=$!

finish() {  # finish <window>: ends the program as a user would, then by force
  local window=$1
  xdotool windowfocus "$window" 2>/dev/null || true
  if [ "$mode" = saver ]; then
    xdotool mousemove_relative -- 40 40 2>/dev/null || true
    sleep 0.3
    xdotool key space 2>/dev/null || true
  else
    xdotool key --window "$window" alt+F4 2>/dev/null || true
  fi
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
  status=0
  wait "$pid" || status=$?
  echo "demo: lumeta_show.scr $switch ended with exit code $status"
}

if [ "$mode" = saver ]; then
  window=$(lumeta_wait_for_window "Screen Saver" "$pid") || { echo "demo: the saver window did not appear" >&2; exit 1; }
  # One screenshot of each new picture: the middle of the screen is watched, and a change there
  # (a new picture) is grabbed a moment later, once it is drawn whole.
  read -r width height < <(xdotool getdisplaygeometry)
  centre="32x32+$((width / 2 - 16))+$((height / 2 - 16))"
  signature() { import -window root -crop "$centre" -format '%[fx:int(1000000*mean)]' info: 2>/dev/null | head -1; }
  last=0   # a black middle: no picture yet
  n=0
  deadline=$((SECONDS + kShots * kInterval * 3 / 1000 + 10))
  while [ "$n" -lt "$kShots" ] && [ "$SECONDS" -lt "$deadline" ] && kill -0 "$pid" 2>/dev/null; do
    now=$(signature)
    if [ -n "$now" ] && [ "$now" != "$last" ]; then
      sleep 0.3
      n=$((n + 1))
      # Uncompressed while the saver runs, so that each grab stays short; PNG afterwards.
      import -window root "$out/shot-$(printf %02d "$n").miff"
      last=$(signature)
    fi
    sleep 0.1
  done
  finish "$window"
  for shot in "$out"/shot-*.miff; do convert "$shot" "${shot%.miff}.png" && rm -f "$shot"; done
  montage -label '%t' "$out"/shot-*.png -tile 5x -geometry 384x216+4+4 -background '#333333' \
    -font /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf -fill white -pointsize 12 "$out/contact-sheet.png"
  echo "demo: screenshots"
  ls "$out"/shot-*.png | sed 's/^/  /'
  echo "demo: contact sheet"
  echo "  $out/contact-sheet.png"
else
  window=$(lumeta_wait_for_window "Orvalo設定画面" "$pid") || { echo "demo: the dialog did not appear" >&2; exit 1; }
  sleep 1
  import -window root "$out/config.png"
  finish "$window"
  echo "demo: screenshot of the settings dialog"
  echo "  $out/config.png"
fi
