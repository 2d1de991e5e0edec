#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a Debian 12 machine (run as root).
# Idempotent: when every package is there and the locale is generated, it only checks.
set -euo pipefail

PACKAGES=(
  cmake make git
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  libz-mingw-w64-dev libstb-dev zlib1g-dev
  googletest
  clang libclang-rt-14-dev libjpeg-turbo-progs libjpeg62-turbo-dev libpng-dev mate-backgrounds
  wine64 fonts-wine xvfb xdotool imagemagick x11-utils
  zip nsis
  locales fonts-ipafont-mincho fonts-ipafont-gothic
  ${LUMETA_EXTRA_PACKAGES:-}
)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Japanese locale gives Wine the ANSI code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating ja_JP.UTF-8"
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
