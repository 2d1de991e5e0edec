#!/usr/bin/env bash
# Makes the benchmark pictures from a photograph in a Debian package, builds the decoder
# benchmark natively and prints ours against libjpeg-turbo and libpng side by side.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${IMGCTL_BENCH_DIR:-$root/build/bench-decoders}
photo=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
for tool in cjpeg convert cmake; do
  command -v "$tool" >/dev/null || { echo "bench: $tool missing (scripts/setup.sh installs it)"; exit 1; }
done
[ -f "$photo" ] || { echo "bench: $photo missing (package mate-backgrounds)"; exit 1; }
mkdir -p "$out"
if [ ! -f "$out/photo_6000x4000.jpg" ]; then
  convert "$photo" -resize 4000x3000^ -gravity center -extent 4000x3000 -depth 8 "$out/photo_4000x3000.ppm"
  convert "$photo" -resize 6000x4000^ -gravity center -extent 6000x4000 -depth 8 "$out/photo_6000x4000.ppm"
  cjpeg -quality 90 "$out/photo_4000x3000.ppm" > "$out/photo_4000x3000.jpg"
  cjpeg -quality 90 -progressive "$out/photo_4000x3000.ppm" > "$out/photo_4000x3000_progressive.jpg"
  convert "$out/photo_4000x3000.ppm" "$out/photo_4000x3000.png"
  cjpeg -quality 90 "$out/photo_6000x4000.ppm" > "$out/photo_6000x4000.jpg"
  rm -f "$out"/*.ppm
fi
cmake -S "$here" -B "$out/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/build" -j2 >/dev/null
"$out/build/decoders_bench" "$out"
