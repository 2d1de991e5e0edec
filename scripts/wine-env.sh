#!/usr/bin/env bash
# Sourced helpers: the project's Wine prefix, its own Xvfb display and a persistent wineserver.
# Everything started here is recorded by pid and stopped by lumeta_stop_started.

LUMETA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$LUMETA_ROOT/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
LUMETA_STARTED_PIDS=()

# True when Debian's 32-bit Wine is installed, so that 32-bit programs run.
lumeta_has_wine32() { [ -x /usr/lib/wine/wine ]; }

lumeta_wine() { LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 /usr/lib/wine/wine64 "$@"; }

# Creates the prefix once: Japanese locale, fonts mapped to the system's face names,
# Wine's Marlett for the caption buttons, no window manager, no crash dialog, Windows 98 for the
# programs that test the 9x family.
lumeta_prepare_prefix() {
  local stamp="$WINEPREFIX/.lumeta-prefix-v3"
  # A prefix made before the 32-bit Wine was installed has no 32-bit system ("could not load
  # kernel32.dll" for every 32-bit program): make it again.
  if [ -f "$stamp" ] && lumeta_has_wine32 && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "wine: the prefix lacks the 32-bit system; making it again"
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  [ -f "$stamp" ] && return 0
  echo "wine: preparing prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  local reg="$WINEPREFIX/lumeta.reg"
  iconv -f UTF-8 -t UTF-16LE > "$reg.body" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ 明朝"="IPAMincho"
"ＭＳ Ｐ明朝"="IPAPMincho"
"ＭＳ ゴシック"="IPAGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS Mincho"="IPAMincho"
"MS PGothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
"MS UI Gothic"="IPAPGothic"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\password_hooks_9x_test.exe]
"Version"="win98"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\lumeta_lock_9x.scr]
"Version"="win98"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"ScreenSaveUsePassword"=-
REG
  { printf '\xff\xfe'; cat "$reg.body"; } > "$reg"
  rm -f "$reg.body"
  lumeta_wine regedit /S "$reg" >/dev/null 2>&1
  # The caption buttons are Marlett glyphs; Wine looks for the font in the prefix's Fonts folder.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  /usr/lib/wine/wineserver -w
  touch "$stamp"
}

# Starts an Xvfb display of its own (1024 x 768, 24 bits) unless LUMETA_USE_DISPLAY is set.
# -noreset: by default Xvfb resets when its last client leaves, which puts the pointer back in the
# middle and drops a Wine program that connects meanwhile.
lumeta_start_display() {
  if [ -n "${LUMETA_USE_DISPLAY:-}" ]; then export DISPLAY="$LUMETA_USE_DISPLAY"; return 0; fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${LUMETA_SCREEN:-1024x768x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
  LUMETA_STARTED_PIDS+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.05
  done
  echo "wine: Xvfb did not start on :$n" >&2
  return 1
}

# Keeps one wineserver alive for the prefix, so that each program starts quickly.
lumeta_start_wineserver() {
  /usr/lib/wine/wineserver -f -p >/dev/null 2>&1 &
  local pid=$!
  sleep 0.3
  if kill -0 "$pid" 2>/dev/null; then LUMETA_STARTED_PIDS+=("$pid"); fi
  # Start the session's own services (services.exe, explorer.exe) now, detached from
  # any caller's pipes: started later by a test program they would hold its output open.
  lumeta_wine wineboot </dev/null >/dev/null 2>&1 || true
}

lumeta_stop_started() {
  local pid
  # End this prefix's programs (services, explorer, anything a test left) through our server.
  if [ ${#LUMETA_STARTED_PIDS[@]} -gt 0 ]; then /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; fi
  for pid in "${LUMETA_STARTED_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${LUMETA_STARTED_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  LUMETA_STARTED_PIDS=()
}
