#!/usr/bin/env bash
# Builds the Windows release packages into build/dist: a zip archive per target (the screen saver,
# imgctl.dll, README.txt, LICENSE.txt) and the installer of the 32-bit build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

bash scripts/setup.sh
version=$(sed -n 's/^project(lumeta_show VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
dist="$root/build/dist"
rm -rf "$dist"
mkdir -p "$dist"

# Windows readers expect CRLF line ends; the BOM makes old Notepad read the README as UTF-8.
windows_text() {
  if [ "${2:-}" = bom ]; then printf '\xef\xbb\xbf'; fi
  sed 's/\r$//; s/$/\r/' "$1"
}

for arch in x64 x86; do
  case $arch in x64) triplet=x86_64-w64-mingw32 ;; x86) triplet=i686-w64-mingw32 ;; esac
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" --target lumeta_show imgctl
  stage="$dist/stage-$arch"
  mkdir -p "$stage"
  for file in lumeta_show.scr imgctl.dll; do
    "$triplet-strip" -o "$stage/$file" "build/$arch/$file"
  done
  windows_text packaging/README-Windows.txt bom > "$stage/README.txt"
  windows_text LICENSE > "$stage/LICENSE.txt"
  # Same bytes for the same sources: fixed file times, no extra attributes.
  touch -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)" "$stage"/*
  (cd "$stage" && zip -q -X -D "$dist/lumeta_show-$version-$arch.zip" lumeta_show.scr imgctl.dll README.txt LICENSE.txt)
done

makensis -V2 -DVERSION="$version" -DSTAGE="$dist/stage-x86" -DOUTFILE="$dist/lumeta_show-$version-setup.exe" \
  packaging/installer.nsi
rm -rf "$dist"/stage-*

echo "package: built"
for file in "$dist"/*; do echo "  $file ($(stat -c %s "$file") bytes)"; done
