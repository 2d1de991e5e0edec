#!/usr/bin/env bash
# Sourced helpers that make the release files from a build: the version, the staged files of one
# target and the installer. scripts/package.sh ships what they make; the installer test runs it.

LUMETA_RELEASE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The product version from the top-level CMakeLists.txt.
lumeta_release_version() {
  sed -n 's/^project(lumeta_show VERSION \([0-9.]*\).*/\1/p' "$LUMETA_RELEASE_ROOT/CMakeLists.txt"
}

# Windows readers expect CRLF line ends; the BOM makes old Notepad read the README as UTF-8.
lumeta_windows_text() {
  if [ "${2:-}" = bom ]; then printf '\xef\xbb\xbf'; fi
  sed 's/\r$//; s/$/\r/' "$1"
}

# lumeta_stage_release <build folder> <x64|x86> <stage folder>: the stripped program and picture
# library, README.txt and LICENSE.txt, with fixed file times so that the same sources give the
# same archive bytes.
lumeta_stage_release() {
  local build=$1 arch=$2 stage=$3 triplet file
  case $arch in
    x64) triplet=x86_64-w64-mingw32 ;;
    x86) triplet=i686-w64-mingw32 ;;
    *) echo "release: unknown target $arch" >&2; return 1 ;;
  esac
  mkdir -p "$stage"
  for file in lumeta_show.scr imgctl.dll; do
    "$triplet-strip" -o "$stage/$file" "$build/$file" || return 1
  done
  lumeta_windows_text "$LUMETA_RELEASE_ROOT/packaging/README-Windows.txt" bom > "$stage/README.txt"
  lumeta_windows_text "$LUMETA_RELEASE_ROOT/LICENSE" > "$stage/LICENSE.txt"
  touch -d "@$(git -C "$LUMETA_RELEASE_ROOT" log -1 --format=%ct 2>/dev/null || date +%s)" "$stage"/*
}

# lumeta_build_installer <x86 stage folder> <setup.exe>: the installer of the 32-bit build.
lumeta_build_installer() {
  makensis -V2 -DVERSION="$(lumeta_release_version)" -DSTAGE="$1" -DOUTFILE="$2" \
    "$LUMETA_RELEASE_ROOT/packaging/installer.nsi"
}
