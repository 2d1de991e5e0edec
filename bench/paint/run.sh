#!/usr/bin/env bash
# The paint benchmark under Wine: for 12 MP and 24 MP JPEG photos and a 12 MP PNG, on a 1920 x 1080
# and a 3840 x 2160 screen, the time of one whole paint in picture modes 3, 4 and 5, the saver's
# start time to the first picture, its CPU time between ticks and its peak memory, each against the
# picture library's own decode of the same file measured in the same run; then the wake time: keys
# pressed (real X input) while the saver paints a 24 MP JPEG or PNG again and again on a 1920 x 1080
# screen, timed from the key to the end of the saver's process. For the 64-bit build and, where
# 32-bit programs run, for the 32-bit build the installer ships.
# Writes build/paint-bench/paint-results.md (Markdown tables) and prints it; the wake time alone
# goes to build/paint-bench/wake-results.md.
# Usage: bash bench/paint/run.sh [rounds]          (default 5 paint rounds, 3 saver runs per case)
#        bash bench/paint/run.sh --wake [presses]  (the wake time alone)
# LUMETA_WAKE_PRESSES sets the presses per case of the whole run (default 10), LUMETA_WAKE_SEED the
# seed of the moments at which they fall.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$(pwd)
wake_only=
if [ "${1:-}" = --wake ]; then
  wake_only=1
  presses=${2:-${LUMETA_WAKE_PRESSES:-10}}
else
  rounds=${1:-5}
  presses=${LUMETA_WAKE_PRESSES:-10}
fi
wake_seed=${LUMETA_WAKE_SEED:-16}
saver_rounds=3
readonly kPhoto=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
# The wake time's settings: the picture fitted to the screen, no text line, no clearing, and the
# shortest interval. A single picture is painted on every tick (the index wraps to it), and a TIME
# below 10 ms gets Windows' shortest timer of 10 ms, which is always due again by the time a paint
# ends: one paint follows the other. A key that comes during a paint is read when it ends, before
# the next tick (input comes before timer messages).
readonly kWakeTime=1
readonly kWakeNoClearing=1000000
# The targets of the worst wake time, milliseconds.
readonly kWakeTargetJpegMs=100
readonly kWakeTargetPngMs=500

LUMETA_EXTRA_PACKAGES=mate-backgrounds bash scripts/setup.sh
# A prefix of its own: the saver runs write the settings file.
export WINEPREFIX="$root/build/wine-bench"
source scripts/wine-env.sh
trap lumeta_stop_started EXIT

builds="x64"
if lumeta_has_wine32; then builds="x64 x86"; else echo "bench: no 32-bit Wine: x64 alone"; fi
for build in $builds; do
  cmake --preset "$build" >/dev/null
  cmake --build --preset "$build" --target lumeta_show imgctl paint_bench set_cursor
done
lumeta_prepare_prefix

# One folder per picture, so that the saver shows only that one: a desktop photograph brought to
# 12 MP (4000 x 3000) and 24 MP (6000 x 4000) as JPEG (quality 90), and the two JPEGs as PNG. Each
# is made once and kept for later runs.
pictures="$WINEPREFIX/drive_c/lumeta_bench"
make_picture() {  # <path under the pictures folder> <what convert makes it from and how>...
  local file="$pictures/$1" making="$pictures/.making"
  shift
  [ -f "$file" ] && return 0
  echo "bench: making ${file#"$pictures"/}"
  mkdir -p "$making" "$(dirname "$file")"
  convert "$@" "$making/${file##*/}"
  mv "$making/${file##*/}" "$file"
}
make_picture jpeg24/photo24.jpg "$kPhoto" -resize 6000x4000^ -gravity center -extent 6000x4000 -quality 90
make_picture png24/photo24.png "$pictures/jpeg24/photo24.jpg"
if [ -z "$wake_only" ]; then
  make_picture jpeg12/photo12.jpg "$kPhoto" -resize 4000x3000^ -gravity center -extent 4000x3000 -quality 90
  make_picture png12/photo12.png "$pictures/jpeg12/photo12.jpg"
fi

out="$root/build/paint-bench"
mkdir -p "$out"

# Paints, starts, CPU between ticks and peak memory on both screens: paint-results.md.
measure_paints() {
  local raw="$out/paint-raw.txt"
  : > "$raw"
  for screen in 1920x1080 3840x2160; do
    LUMETA_SCREEN="${screen}x24" lumeta_start_display
    lumeta_start_wineserver
    echo "bench: screen $screen (display $DISPLAY)"
    width=${screen%x*} height=${screen#*x}
    for build in $builds; do
      bench="$root/build/$build/paint_bench.exe"
      program='Z:'$(sed 's|/|\\|g' <<<"$root/build/$build/lumeta_show.scr")
      for case in jpeg12/photo12.jpg jpeg24/photo24.jpg png12/photo12.png; do
        folder='C:\lumeta_bench\'"${case%/*}"
        picture="$folder\\${case#*/}"
        for mode in 3 4 5; do
          scripts/wine-run.sh "$bench" paint "$picture" "$width" "$height" "$mode" "$rounds" | tr -d '\r' |
            sed "s|^|build=$build |" | tee -a "$raw"
        done
        if [ "$screen" = 1920x1080 ]; then
          scripts/wine-run.sh "$bench" decode-peak "$picture" | tr -d '\r' |
            sed "s|^|build=$build picture=${case#*/} |" | tee -a "$raw"
        fi
        scripts/wine-run.sh "$bench" saver "$program" "$folder" "$saver_rounds" | tr -d '\r' |
          sed "s|^|build=$build picture=${case#*/} |" | tee -a "$raw"
      done
    done
    lumeta_stop_started
  done
  rm -f "$WINEPREFIX/drive_c/windows/lumeta_show.ini"

  # The table: one row per build, picture and screen.
  awk '
    function field(line, key,   parts, i, kv) {
      n = split(line, parts, " ")
      for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
      return ""
    }
    /kind=paint/ {
      key = field($0, "build") " " field($0, "picture") " " field($0, "screen")
      paint[key, field($0, "mode")] = field($0, "paint_ms"); ratio[key, field($0, "mode")] = field($0, "ratio")
      decodeSum[key] += field($0, "decode_ms"); decodeCount[key]++
      if (!(key in seen)) { seen[key] = 1; order[++rows] = key }
    }
    /kind=decode_peak/ { peakDecode[field($0, "build") " " field($0, "picture")] = field($0, "peak_kb") }
    /kind=saver/ {
      key = field($0, "build") " " field($0, "picture") " " field($0, "screen")
      start[key] = field($0, "start_ms"); idle[key] = field($0, "idle_cpu_ms_per_s"); peak[key] = field($0, "peak_kb")
    }
    END {
      print "| Build | Picture | Screen | Library decode (ms) | Paint mode 3 (ms, × decode) | Paint mode 4 | Paint mode 5 | Start to first picture (ms, × decode) | CPU between ticks (ms per s, × decode) | Peak memory (MB, × decode-only process) |"
      print "| --- | --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"
      for (r = 1; r <= rows; r++) {
        key = order[r]; split(key, k, " "); d = decodeSum[key] / decodeCount[key]
        printf "| %s | %s | %s | %.0f |", k[1], k[2], k[3], d
        for (m = 3; m <= 5; m++) printf " %.0f (%.2f) |", paint[key, m], ratio[key, m]
        if (start[key] != "") printf " %.0f (%.1f) | %.2f (%.4f) | %.0f (%.2f) |\n", start[key], start[key] / d, idle[key], idle[key] / d, peak[key] / 1024, peak[key] / peakDecode[k[1] " " k[2]]
        else printf " - | - | - |\n"
      }
    }' "$raw" > "$out/paint-results.md"
}

# The wake time on a 1920 x 1080 screen: for each build and 24 MP picture, <presses> runs of the
# saver, each ended by one key pressed at a chosen moment of a paint (bench/paint/wake_press.py),
# timed from the key to the end of the saver's process: wake-results.md.
measure_wake() {
  local raw="$out/wake-raw.txt" settings="$WINEPREFIX/drive_c/windows/lumeta_show.ini"
  local build case size press pid line saver
  : > "$raw"
  LUMETA_SCREEN=1920x1080x24 lumeta_start_display
  lumeta_start_wineserver
  echo "bench: wake time on screen 1920x1080 (display $DISPLAY), $presses presses per case"
  # The end-to-end helpers: the pointer placed through Wine before each start, so that the saver's
  # cursor anchor is where the pointer is, and the keyboard focus awaited before the key.
  cleanup() { lumeta_stop_started; }
  source tests/e2e/e2e_lib.sh
  for build in $builds; do
    for case in jpeg24/photo24.jpg png24/photo24.png; do
      printf '[Screen Saver.lumeta_show]\r\nPASS=C:\\lumeta_bench\\%s\r\nTIME=%d\r\nCOUNT=%d\r\nS-MODE=0\r\nF-MODE=0\r\nG-MODE=4\r\n' \
        "${case%/*}" "$kWakeTime" "$kWakeNoClearing" > "$settings"
      size=$(stat -c %s "$pictures/$case")
      for press in $(seq 0 $((presses - 1))); do
        place_pointer "$root/build/$build" 500 400 || fail "cannot put the pointer at (500, 400)"
        scripts/wine-run.sh "$root/build/$build/lumeta_show.scr" /s &
        pid=$!
        wait_for_window "Screen Saver" "$pid" || fail "no saver window${E2E_EXIT:+: the saver ended with $E2E_EXIT}"
        wait_for_focus "$E2E_WINDOW" || fail "the saver window did not take the keyboard"
        line=$(python3 bench/paint/wake_press.py "$WINEPREFIX" "$size" "$press" "$presses" "$wake_seed") || true
        if ! wait_for_exit "$pid"; then
          # The key did not end the run: the saver's own process is ended (the 32-bit saver runs in a
          # process of its own, which Wine's start.exe, $pid, waits for).
          saver=$(sed -n 's/.* pid=\([0-9]*\).*/\1/p' <<<"$line")
          if [ -n "$saver" ]; then kill "$saver" 2>/dev/null || true; fi
          wait_for_exit "$pid" || { kill "$pid" 2>/dev/null || true; wait "$pid" || true; }
          E2E_EXIT=not_ended
        fi
        echo "build=$build picture=${case#*/} press=$press exit=$E2E_EXIT $line" | tee -a "$raw"
      done
    done
  done
  rm -f "$settings"
  lumeta_stop_started

  # One row per picture and build: the median and the worst time over the presses and the median
  # length of a paint; a press that did not end the run with exit code 0 is counted apart and
  # fails the target.
  python3 - "$raw" "$kWakeTargetJpegMs" "$kWakeTargetPngMs" > "$out/wake-results.md" <<'PY'
import statistics
import sys

raw, target_jpeg, target_png = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
cases = {}
for line in open(raw):
    fields = dict(part.split('=', 1) for part in line.split() if '=' in part)
    case = cases.setdefault((fields['picture'], fields['build']), {'wakes': [], 'paints': [], 'failed': 0})
    if fields.get('exit') == '0' and 'wake_ms' in fields and 'error' not in fields:
        case['wakes'].append(float(fields['wake_ms']))
        case['paints'].append(float(fields['paint_ms']))
    else:
        case['failed'] += 1
print('| Picture | Build | Presses | Median (ms) | Worst (ms) | Target, worst (ms) | Within target | Paint (ms) '
      '| Presses that did not end the run with 0 |')
print('| --- | --- | ---: | ---: | ---: | ---: | --- | ---: | ---: |')
for (picture, build), case in sorted(cases.items(), key=lambda item: (not item[0][0].endswith('.jpg'), item[0][1])):
    target = target_jpeg if picture.endswith('.jpg') else target_png
    wakes = case['wakes']
    presses = len(wakes) + case['failed']
    median = f"{statistics.median(wakes):.0f}" if wakes else '-'
    worst = f"{max(wakes):.0f}" if wakes else '-'
    paint = f"{statistics.median(case['paints']):.0f}" if wakes else '-'
    within = 'yes' if wakes and not case['failed'] and max(wakes) <= target else 'no'
    print(f"| {picture} | {build} | {presses} | {median} | {worst} | {target} | {within} | {paint} | {case['failed']} |")
PY
}

if [ -n "$wake_only" ]; then
  measure_wake
  echo
  echo "bench: wake time (also in $out/wake-results.md; raw lines in $out/wake-raw.txt)"
  cat "$out/wake-results.md"
  exit 0
fi
measure_paints
measure_wake
{ echo; cat "$out/wake-results.md"; } >> "$out/paint-results.md"
echo
echo "bench: results (also in $out/paint-results.md; raw lines in $out/paint-raw.txt and $out/wake-raw.txt)"
cat "$out/paint-results.md"
