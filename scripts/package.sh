#!/usr/bin/env bash
# Builds the Windows release packages into build/dist: a zip archive per target (the screen saver,
# imgctl.dll, README.txt, LICENSE.txt) and the installer of the 32-bit build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

bash scripts/setup.sh
source packaging/release.sh
version=$(lumeta_release_version)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
dist="$root/build/dist"
rm -rf "$dist"
mkdir -p "$dist"

for arch in x64 x86; do
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" --target lumeta_show imgctl
  stage="$dist/stage-$arch"
  lumeta_stage_release "build/$arch" "$arch" "$stage"
  (cd "$stage" && zip -q -X -D "$dist/lumeta_show-$version-$arch.zip" lumeta_show.scr imgctl.dll README.txt LICENSE.txt)
done

lumeta_build_installer "$dist/stage-x86" "$dist/lumeta_show-$version-setup.exe"
rm -rf "$dist"/stage-*

echo "package: built"
for file in "$dist"/*; do echo "  $file ($(stat -c %s "$file") bytes)"; done
