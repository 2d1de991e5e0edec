#!/usr/bin/env bash
# Picture library benchmark, in one run: (1) the targets - our whole pipeline natively and imgctl.dll's six calls
# under Wine (its x64 and x86 builds), against libjpeg-turbo's scaled decode and libpng's full decode measured
# natively by turns, with quality and peak memory, and whether the two builds draw the same pixels; (2) whole
# processes fitting a photo into 1920 x 1080 against libvips, ImageMagick, stb; (3) the same photos with an
# embedded colour profile against without, and where the conversion to sRGB sits, natively and under Wine.
# Usage: bash bench/run.sh [runs per measurement, default 7]. Prints Markdown tables.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${1:-7}

# The peers, the photograph and python3 (the measuring script) come from Debian, with the project's own set-up.
LUMETA_EXTRA_PACKAGES="libvips-tools python3" bash scripts/setup.sh

# Our core natively, optimised, without sanitizers; imgctl.dll and the Wine driver from the x64 and the x86 builds.
cmake -S imgctl/native -B build/bench -DCMAKE_BUILD_TYPE=Release -DIMGCTL_SANITIZE=OFF -DIMGCTL_FUZZ=OFF \
  -DIMGCTL_BENCH=ON >/dev/null
cmake --build build/bench -j2 --target imgctl_bench targets_bench colour_bench >/dev/null
# The same core as 32-bit code beside the peers' own i386 builds (Debian's multiarch packages): the x86 build's
# code against the peer on the same architecture, where the Wine columns hold the 64-bit peer for both builds. Not
# position-independent, as the DLL is not (a PIE build gives up a register for its global offset table).
if dpkg --print-foreign-architectures | grep -qx i386; then
  i386_missing=()
  for package in g++-multilib libjpeg62-turbo-dev:i386 libpng-dev:i386 zlib1g-dev:i386; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || i386_missing+=("$package")
  done
  if [ ${#i386_missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${i386_missing[@]}" >/dev/null
  fi
  cmake -S imgctl/native -B build/bench32 -DCMAKE_BUILD_TYPE=Release -DIMGCTL_SANITIZE=OFF -DIMGCTL_FUZZ=OFF \
    -DIMGCTL_BENCH=ON -DCMAKE_C_FLAGS="-m32 -fno-pie" -DCMAKE_CXX_FLAGS="-m32 -fno-pie" -DCMAKE_EXE_LINKER_FLAGS=-no-pie \
    -DCMAKE_LIBRARY_ARCHITECTURE=i386-linux-gnu >/dev/null
  cmake --build build/bench32 -j2 --target targets_bench >/dev/null
fi
for preset in x64 x86; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j2 --target imgctl imgctl_wine_bench >/dev/null
done

# Test pictures from the elephants photograph: 4000 x 3000 baseline, progressive (cjpeg q90, 4:2:0) and PNG,
# 6000 x 4000 (24 MP) baseline; and for the whole-process table 4000 x 3000 JPEG, PNG, GIF and BMP.
pictures=build/bench/pictures
mkdir -p "$pictures"
photo=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
if [ ! -f "$pictures/photo_6000x4000.jpg" ]; then
  convert "$photo" -resize 4000x3000^ -gravity center -extent 4000x3000 -depth 8 "$pictures/photo_4000x3000.ppm"
  convert "$photo" -resize 6000x4000^ -gravity center -extent 6000x4000 -depth 8 "$pictures/photo_6000x4000.ppm"
  cjpeg -quality 90 "$pictures/photo_4000x3000.ppm" > "$pictures/photo_4000x3000.jpg"
  cjpeg -quality 90 -progressive "$pictures/photo_4000x3000.ppm" > "$pictures/photo_4000x3000_progressive.jpg"
  convert "$pictures/photo_4000x3000.ppm" "$pictures/photo_4000x3000.png"
  cjpeg -quality 90 "$pictures/photo_6000x4000.ppm" > "$pictures/photo_6000x4000.jpg"
  rm -f "$pictures"/*.ppm
fi
# A small photo that the screen enlarges, for the colour profile table.
if [ ! -f "$pictures/photo_800x600.jpg" ]; then
  convert "$photo" -resize 800x600^ -gravity center -extent 800x600 -depth 8 "$pictures/photo_800x600.ppm"
  cjpeg -quality 90 "$pictures/photo_800x600.ppm" > "$pictures/photo_800x600.jpg"
  rm -f "$pictures/photo_800x600.ppm"
fi
if [ ! -f "$pictures/photo.bmp" ]; then
  convert "$photo" -gravity center -crop 4229x3172+0+0 +repage -resize '4000x3000!' -strip "$pictures/photo.png"
  convert "$pictures/photo.png" -quality 90 -sampling-factor 2x2 "$pictures/photo.jpg"
  convert "$pictures/photo.png" -colors 256 "$pictures/photo.gif"
  convert "$pictures/photo.png" -type TrueColor BMP3:"$pictures/photo.bmp"
fi

# Wine: own display and wineserver, stopped at the end.
source scripts/wine-env.sh
trap lumeta_stop_started EXIT
lumeta_prepare_prefix >/dev/null
lumeta_start_display
lumeta_start_wineserver

python3 bench/targets.py "$runs" "$pictures"
echo
python3 bench/measure.py "$runs" "$pictures"
echo
# Embedded colour profiles (Adobe RGB (1998) from Debian's colord-data): tagged against untagged, same run, natively
# and under Wine for both builds (the tagged copies written beside the photos).
profile=/usr/share/color/icc/colord/AdobeRGB1998.icc
build/bench/colour_bench "$pictures" "$profile" "$runs"
echo
build/bench/colour_bench write "$pictures" "$profile"
python3 bench/colour_wine.py "$runs" "$pictures"
