#!/usr/bin/env bash
# Picture library benchmark: ours against libvips, ImageMagick, libjpeg-turbo and stb, side by side in one run.
# Usage: bash bench/run.sh [runs per command, default 7]. Prints a table of medians and ratios.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${1:-7}

# The peers and the photograph come from Debian.
packages=(libvips-tools imagemagick libjpeg-turbo-progs mate-backgrounds libstb-dev cmake g++)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Our core, natively, optimised, without sanitizers.
cmake -S imgctl/native -B build/bench -DCMAKE_BUILD_TYPE=Release -DIMGCTL_SANITIZE=OFF -DIMGCTL_FUZZ=OFF \
  -DIMGCTL_BENCH=ON >/dev/null
cmake --build build/bench -j2 --target imgctl_bench >/dev/null

# Test pictures: the elephants photograph cut to 4:3 and scaled to 4000 x 3000, in the four types.
pictures=build/bench/pictures
mkdir -p "$pictures"
photo=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
if [ ! -f "$pictures/photo.bmp" ]; then
  convert "$photo" -gravity center -crop 4229x3172+0+0 +repage -resize '4000x3000!' -strip "$pictures/photo.png"
  convert "$pictures/photo.png" -quality 90 -sampling-factor 2x2 "$pictures/photo.jpg"
  convert "$pictures/photo.png" -colors 256 "$pictures/photo.gif"
  convert "$pictures/photo.png" -type TrueColor BMP3:"$pictures/photo.bmp"
fi

python3 bench/measure.py "$runs" "$pictures"
