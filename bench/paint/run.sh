#!/usr/bin/env bash
# The paint benchmark under Wine: for 12 MP and 24 MP JPEG photos and a 12 MP PNG, on a 1920 x 1080
# and a 3840 x 2160 screen, the time of one whole paint in picture modes 3, 4 and 5, the saver's
# start time to the first picture, its CPU time between ticks and its peak memory, each against the
# picture library's own decode of the same file measured in the same run; for the 64-bit build and,
# where 32-bit programs run, for the 32-bit build the installer ships.
# Writes build/paint-bench/paint-results.md (a Markdown table) and prints it.
# Usage: bash bench/paint/run.sh [rounds]   (default 5 paint rounds, 3 saver runs per case)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$(pwd)
rounds=${1:-5}
saver_rounds=3
readonly kPhoto=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg

LUMETA_EXTRA_PACKAGES=mate-backgrounds bash scripts/setup.sh
# A prefix of its own: the saver runs write the settings file.
export WINEPREFIX="$root/build/wine-bench"
source scripts/wine-env.sh
trap lumeta_stop_started EXIT

builds="x64"
if lumeta_has_wine32; then builds="x64 x86"; else echo "bench: no 32-bit Wine: x64 alone"; fi
for build in $builds; do
  cmake --preset "$build" >/dev/null
  cmake --build --preset "$build" --target lumeta_show imgctl paint_bench
done
lumeta_prepare_prefix

# One folder per picture, so that the saver shows only that one: a desktop photograph brought to
# 12 MP (4000 x 3000) and 24 MP (6000 x 4000) as JPEG (quality 90), and to 12 MP as PNG.
pictures="$WINEPREFIX/drive_c/lumeta_bench"
if [ ! -f "$pictures/.complete" ]; then
  echo "bench: making the pictures"
  rm -rf "$pictures"
  mkdir -p "$pictures"/{jpeg12,jpeg24,png12}
  convert "$kPhoto" -resize 4000x3000^ -gravity center -extent 4000x3000 -quality 90 "$pictures/jpeg12/photo12.jpg"
  convert "$kPhoto" -resize 6000x4000^ -gravity center -extent 6000x4000 -quality 90 "$pictures/jpeg24/photo24.jpg"
  convert "$pictures/jpeg12/photo12.jpg" "$pictures/png12/photo12.png"
  touch "$pictures/.complete"
fi

out="$root/build/paint-bench"
mkdir -p "$out"
raw="$out/paint-raw.txt"
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
echo
echo "bench: results (also in $out/paint-results.md; raw lines in $raw)"
cat "$out/paint-results.md"
