#!/usr/bin/env bash
# The Windows 9x password lock with the stand-ins for PASSWORD.CPL and MPR.DLL, real input:
# "/a <hwnd>" shows the change-password dialog and exits 0; with a stored password a key
# press shows the prompt, a wrong password keeps the saver, the right one ends it.
set -u
build=$1
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
# A copy under the name for which the prefix reports Windows 98 (scripts/wine-env.sh),
# beside imgctl.dll and the two stand-ins.
saver="$build/lumeta_lock_9x.scr"
cp "$build/lumeta_show.scr" "$saver" || fail "cannot copy the saver"
store_key='HKCU\Software\lumeta_show\PasswordStandIn'
desktop_key='HKCU\Control Panel\Desktop'
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  wine_reg delete "$desktop_key" /v ScreenSaveUsePassword /f
  wine_reg delete "$store_key" /f
  rm -f "$saver"
}
wine_reg delete "$store_key" /f

# The change dialog, owned by the desktop window (handle 0x10020 under Wine as on Windows).
WINEDLLOVERRIDES="mpr=n,b" "$E2E_RUN" "$saver" /a 65568 &
pid=$!
wait_for_window "Change Screen Saver Password" "$pid" || fail "no change-password dialog"
wait_for_focus "$E2E_WINDOW" || fail "the change-password dialog did not take the keyboard"
xdotool type --delay 30 "opensesame"
xdotool key Tab
xdotool type --delay 30 "opensesame"
xdotool key Return
wait_for_exit "$pid" || fail "the change-password dialog did not end"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after /a"
wine_reg query "$store_key" /v SaltedHash || fail "no password stored"

wine_reg add "$desktop_key" /v ScreenSaveUsePassword /t REG_DWORD /d 1 /f
place_pointer "$build" 500 400 || fail "cannot put the pointer at (500, 400)"
"$E2E_RUN" "$saver" /s &
pid=$!
wait_for_window "Screen Saver" "$pid" || fail "no saver window${E2E_EXIT:+: the saver ended with $E2E_EXIT}"
saver_window=$E2E_WINDOW
wait_for_focus "$saver_window" || fail "the saver window did not take the keyboard"
settle
kill -0 "$pid" 2>/dev/null || fail "the saver ended before any input"

xdotool key a
wait_for_window "Screen Saver Password" "$pid" || fail "a key press showed no password prompt"
# Wine does not always hand the X focus from the saver window to the prompt of the same thread;
# keys that reach either window go to the prompt, which holds the thread's focus.
wait_for_focus "$E2E_WINDOW" "$saver_window" || fail "the saver lost the keyboard"
xdotool type --delay 30 "wrong"
xdotool key Return
wait_for_no_window "Screen Saver Password" || fail "the prompt stayed after a wrong password"
settle
kill -0 "$pid" 2>/dev/null || fail "a wrong password ended the run"

xdotool key b
wait_for_window "Screen Saver Password" "$pid" || fail "no prompt on the second key press"
wait_for_focus "$E2E_WINDOW" "$saver_window" || fail "the saver lost the keyboard"
xdotool type --delay 30 "opensesame"
xdotool key Return
wait_for_exit "$pid" || fail "the right password did not end the run"
[ "$E2E_EXIT" -eq 0 ] || fail "exit code $E2E_EXIT after the right password"
pid=
echo "ok"
