#!/usr/bin/env bash
# The shipped Windows installer (NSIS's 32-bit stub, made from the 32-bit build as
# scripts/package.sh makes it), run silently under Wine's 64-bit prefix as on 64-bit Windows: the
# files in "Program Files (x86)", the screen saver made the user's, an uninstall entry in the
# registry's 32-bit view; the uninstaller removes all of it and puts the previous screen saver back.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run.sh"
source "$root/packaging/release.sh"
source "$root/tests/e2e/e2e_lib.sh"
work=$(mktemp -d)
failures=0

desktop='HKCU\Control Panel\Desktop'
# A 32-bit program's HKLM\Software is the 32-bit view, Software\Wow6432Node in the 64-bit one.
uninstall_key32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\lumeta_show'
uninstall_key64='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\lumeta_show'
product_key32='HKLM\Software\Wow6432Node\lumeta_show'
product_key64='HKLM\Software\lumeta_show'
drive_c="$WINEPREFIX/drive_c"
install_dir_windows='C:\Program Files (x86)\lumeta_show'
install_dir="$drive_c/Program Files (x86)/lumeta_show"
local_app_data=$("$run" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
local_app_data=$("$run" winepath -u "$local_app_data" 2>/dev/null | tr -d '\r')
[ -d "$local_app_data" ] || { echo "FAIL: no %LOCALAPPDATA% in the prefix" >&2; exit 1; }
settings_files=("$drive_c/windows/lumeta_show.ini" "$local_app_data/VirtualStore/Windows/lumeta_show.ini")

check() {  # check <description> <command...>
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

# The data of a registry value; fails when the key or value is missing.
reg_value() {
  local out
  out=$("$run" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
  sed -n "s/^    $2    REG_[A-Z_]*    //p" <<<"$out"
}
# Wine's reg.exe once failed to start on a busy machine (the test ended at its first reg_set): it is
# tried three times before the step fails.
reg_set() {
  local try
  for try in 1 2 3; do
    "$run" reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1 && return 0
    sleep 1
  done
  echo "reg add $1 /v $2 failed three times" >&2
  return 1
}
reg_unset() { "$run" reg delete "$1" /v "$2" /f >/dev/null 2>&1 || true; }
reg_missing() { ! "$run" reg query "$@" >/dev/null 2>&1; }
value_is() { [ "$(reg_value "$1" "$2")" = "$3" ]; }

# Leave the prefix as it was: the two desktop values and any settings file.
saved_saver=$(reg_value "$desktop" SCRNSAVE.EXE) && had_saver=1 || had_saver=0
saved_active=$(reg_value "$desktop" ScreenSaveActive) && had_active=1 || had_active=0
for file in "${settings_files[@]}"; do [ -f "$file" ] && cp -p "$file" "$work/$(basename "$(dirname "$file")").ini.saved"; done
restore() {
  if [ "$had_saver" = 1 ]; then reg_set "$desktop" SCRNSAVE.EXE "$saved_saver"; else reg_unset "$desktop" SCRNSAVE.EXE; fi
  if [ "$had_active" = 1 ]; then reg_set "$desktop" ScreenSaveActive "$saved_active"; else reg_unset "$desktop" ScreenSaveActive; fi
  for file in "${settings_files[@]}"; do
    rm -f "$file"
    local saved="$work/$(basename "$(dirname "$file")").ini.saved"
    [ -f "$saved" ] && cp -p "$saved" "$file"
  done
  rm -rf "$work"
}
cleanup() { rm -f "$drive_c/lumeta_setup_test.exe"; restore; }

# The installer ships the 32-bit build: this build when it is that one, else the x86 build beside
# it, made here (the two binaries only) when it is missing.
is_32bit_program() { i686-w64-mingw32-objdump -f "$1" 2>/dev/null | grep -q 'file format pei-i386'; }
x86_build=$build
if ! is_32bit_program "$x86_build/lumeta_show.scr"; then
  x86_build=$(cd "$build/.." && pwd)/x86
  if ! is_32bit_program "$x86_build/lumeta_show.scr" || [ ! -f "$x86_build/imgctl.dll" ]; then
    echo "building the 32-bit program into $root/build/x86"
    x86_build=$root/build/x86
    (cd "$root" && cmake --preset x86 >/dev/null && cmake --build --preset x86 --target lumeta_show imgctl >/dev/null)
  fi
fi
stage="$work/stage"
lumeta_stage_release "$x86_build" x86 "$stage"
version=$(lumeta_release_version)
setup="$work/lumeta_show-$version-setup.exe"  # the shipped name
lumeta_build_installer "$stage" "$setup"
is_32bit_program "$setup" || { echo "FAIL: the installer is not a 32-bit program" >&2; exit 1; }
cp "$setup" "$drive_c/lumeta_setup_test.exe"

install() { "$run" 'C:\lumeta_setup_test.exe' /S; }
# The uninstaller copies itself to a temporary folder and returns at once; wait for the folder to go.
uninstall() {
  "$run" "$install_dir_windows\\uninstall.exe" /S
  for _ in $(seq 1 120); do [ -d "$install_dir" ] || return 0; sleep 0.25; done
  echo "left in the install folder: $(ls -A "$install_dir" | tr '\n' ' ')" >&2
  return 1
}

same_files() {
  local file
  for file in lumeta_show.scr imgctl.dll README.txt LICENSE.txt; do cmp -s "$stage/$file" "$install_dir/$file" || return 1; done
  [ -f "$install_dir/uninstall.exe" ]
}

# The screen-saver setting names the installed program by a path without blanks.
names_installed_program() {
  local value unix
  value=$(reg_value "$desktop" SCRNSAVE.EXE) || return 1
  [[ $value != *" "* ]] || return 1
  unix=$("$run" winepath -u "$value" 2>/dev/null | tr -d '\r')
  [ -f "$unix" ] && cmp -s "$unix" "$stage/lumeta_show.scr"
}

# The uninstall entry and the install folder, in the 32-bit view only.
uninstall_entry_points_home() {
  value_is "$uninstall_key32" UninstallString "\"$install_dir_windows\\uninstall.exe\"" &&
    value_is "$uninstall_key32" QuietUninstallString "\"$install_dir_windows\\uninstall.exe\" /S" &&
    value_is "$uninstall_key32" DisplayVersion "$version" &&
    value_is "$product_key32" InstallDir "$install_dir_windows" &&
    reg_missing "$uninstall_key64" && reg_missing "$product_key64"
}

nothing_left() {
  [ ! -e "$install_dir" ] && reg_missing "$uninstall_key32" && reg_missing "$uninstall_key64" &&
    reg_missing "$product_key32" && reg_missing "$product_key64" && reg_missing 'HKCU\Software\lumeta_show' &&
    reg_missing 'HKCU\Software\Wow6432Node\lumeta_show' &&
    [ ! -e "${settings_files[0]}" ] && [ ! -e "${settings_files[1]}" ]
}

echo "-- a previous screen saver, installed twice, then removed"
reg_set "$desktop" SCRNSAVE.EXE 'C:\windows\system32\previous.scr'
reg_set "$desktop" ScreenSaveActive 0
check "silent install succeeds" install
check "files in place" same_files
check "SCRNSAVE.EXE is the short path of the installed program" names_installed_program
check "ScreenSaveActive is 1" value_is "$desktop" ScreenSaveActive 1
check "uninstall entry and install folder in the 32-bit view" uninstall_entry_points_home
check "a repeated install succeeds" install
check "still the user's screen saver" names_installed_program
# Settings written by the dialog, in the Windows folder and in the per-user VirtualStore.
for file in "${settings_files[@]}"; do mkdir -p "$(dirname "$file")"; printf '[Screen Saver.lumeta_show]\r\nTIME=1000\r\n' > "$file"; done
check "silent uninstall removes the folder" uninstall
check "nothing left behind" nothing_left
check "the previous screen saver is back" value_is "$desktop" SCRNSAVE.EXE 'C:\windows\system32\previous.scr'
check "its active flag is back" value_is "$desktop" ScreenSaveActive 0

echo "-- no screen saver before"
reg_unset "$desktop" SCRNSAVE.EXE
reg_unset "$desktop" ScreenSaveActive
check "silent install succeeds" install
check "SCRNSAVE.EXE set" names_installed_program
check "silent uninstall removes the folder" uninstall
check "nothing left behind" nothing_left
check "SCRNSAVE.EXE is gone again" reg_missing "$desktop" /v SCRNSAVE.EXE
check "ScreenSaveActive is gone again" reg_missing "$desktop" /v ScreenSaveActive

echo "-- the user picked another screen saver after installing"
reg_set "$desktop" SCRNSAVE.EXE 'C:\windows\system32\previous.scr'
check "silent install succeeds" install
reg_set "$desktop" SCRNSAVE.EXE 'C:\windows\system32\other.scr'
check "silent uninstall removes the folder" uninstall
check "nothing left behind" nothing_left
check "the user's later choice stays" value_is "$desktop" SCRNSAVE.EXE 'C:\windows\system32\other.scr'
check "the active flag stays on" value_is "$desktop" ScreenSaveActive 1

[ "$failures" = 0 ]
