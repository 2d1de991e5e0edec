#!/usr/bin/env bash
# Hostile pictures beside well-formed photographs of the same size, in one run:
#  1. decode time side by side (open, fit into 1920 x 1080, decode): natively, and through imgctl.dll's
#     six calls in the 32-bit build under Wine;
#  2. the library's targets, on the 32-bit build under Wine: every hostile file (each at most 1 MB)
#     through the painter's six calls in a process of its own, from its start to its end within 2 s;
#     and every picture with the process's address space reserved down to 64, 24 and 6 MB left:
#     drawn or refused, never a crash, and ordinal 45's result saying which.
# Usage: bash bench/hostile/run.sh [runs per measurement, default 5]. Prints Markdown tables.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
runs=${1:-5}

LUMETA_EXTRA_PACKAGES="python3" bash scripts/setup.sh

# Our core natively, optimised, without sanitizers; imgctl.dll and the Windows drivers of the 32-bit build.
cmake -S imgctl/native -B build/bench -DCMAKE_BUILD_TYPE=Release -DIMGCTL_SANITIZE=OFF -DIMGCTL_FUZZ=OFF \
  -DIMGCTL_BENCH=ON >/dev/null
cmake --build build/bench -j2 --target imgctl_bench make_hostile >/dev/null
cmake --preset x86 >/dev/null
cmake --build --preset x86 -j2 --target imgctl imgctl_wine_bench hostile_check >/dev/null

# The hostile files, and photographs of the same sizes from the elephants photograph of mate-backgrounds
# (made once: the largest are hundreds of megabytes).
hostile=build/bench/hostile
photos=build/bench/hostile-photos
mkdir -p "$hostile" "$photos"
build/bench/make_hostile bench "$hostile" >/dev/null
photo=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
make_photo() {  # name, command writing $photos/name from $photo; nothing is kept of a failed one
  local name=$1
  shift
  [ -f "$photos/$name" ] || "$@" || { rm -f "$photos/$name"; return 1; }
}
make_photo grey_2048.jpg sh -c "convert '$photo' -colorspace Gray -resize '2048x2048!' -depth 8 pgm:- |
  cjpeg -quality 90 -grayscale -progressive > '$photos/grey_2048.jpg'"
make_photo colour_4096.jpg sh -c "convert '$photo' -resize '4096x4096!' -depth 8 ppm:- |
  cjpeg -quality 90 -progressive > '$photos/colour_4096.jpg'"
# 65500 x 4096 (libjpeg's widest): twelve copies of a 5459 x 4096 grey crop side by side, streamed into cjpeg.
make_photo grey_65500x4096.jpg bash -c "set -o pipefail; convert '$photo' -colorspace Gray -resize x4096 \
  -crop 5459x4096+0+0 +repage -depth 8 '$photos/tile.pgm' && python3 bench/hostile/tile_pgm.py '$photos/tile.pgm' 65500 |
  cjpeg -quality 90 -grayscale -progressive > '$photos/grey_65500x4096.jpg'; status=\$?; rm -f '$photos/tile.pgm'; exit \$status"
make_photo colour_64.jpg sh -c "convert '$photo' -resize '64x64!' -depth 8 ppm:- | cjpeg -quality 90 > '$photos/colour_64.jpg'"
make_photo colour_1000.gif convert "$photo" -resize '1000x1000!' -colors 256 "$photos/colour_1000.gif"
make_photo colour_8192.png convert "$photo" -resize '8192x8192!' -depth 8 "$photos/colour_8192.png"
make_photo colour_8192.bmp convert "$photo" -resize '8192x8192!' -type TrueColor BMP3:"$photos/colour_8192.bmp"
# Everyday photographs, for the address-space target: 12 MP baseline and progressive JPEG, PNG.
make_photo photo_4000x3000.jpg sh -c "convert '$photo' -resize '4000x3000!' -depth 8 ppm:- |
  cjpeg -quality 90 > '$photos/photo_4000x3000.jpg'"
make_photo photo_4000x3000_progressive.jpg sh -c "convert '$photo' -resize '4000x3000!' -depth 8 ppm:- |
  cjpeg -quality 90 -progressive > '$photos/photo_4000x3000_progressive.jpg'"
make_photo photo_4000x3000.png convert "$photo" -resize '4000x3000!' -depth 8 "$photos/photo_4000x3000.png"
# A 256-colour photograph enlarged without new colours, run-length coded.
make_photo colour_8000_rle8.bmp convert "$photo" -resize '1000x1000!' -colors 256 -filter point -resize '8000x8000!' \
  -compress RLE BMP3:"$photos/colour_8000_rle8.bmp"

source scripts/wine-env.sh
trap lumeta_stop_started EXIT
lumeta_prepare_prefix >/dev/null
lumeta_start_display
lumeta_start_wineserver

python3 bench/hostile/tables.py "$runs" "$hostile" "$photos"
