#!/usr/bin/env bash
# Full-screen runs over settings files full of odd values (huge, negative, non-numeric, over-long,
# broken Shift-JIS, in every key): each run paints, then ends with exit code 0 soon after a real key
# press. The first runs hold values known to have made the text rendering take seconds per paint;
# the rest are drawn from a fixed seed. LUMETA_ODD_SETTINGS_RUNS sets the number of runs (default
# 12) and LUMETA_ODD_SETTINGS_SEED the seed; every run prints the time from the key to the exit.
set -u
build=$1
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
saver="$build/lumeta_show.scr"
runs=${LUMETA_ODD_SETTINGS_RUNS:-12}
RANDOM=${LUMETA_ODD_SETTINGS_SEED:-7}
# A hang shows as seconds per paint; a loaded machine takes well under this to end a run.
readonly kExitLimitMs=5000
work=$(mktemp -d)
pictures="$WINEPREFIX/drive_c/lumeta_odd_pictures"
settings="$WINEPREFIX/drive_c/windows/lumeta_show.ini"

cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  if [ -f "$work/saved.ini" ]; then cp "$work/saved.ini" "$settings"; else rm -f "$settings"; fi
  rm -rf "$pictures" "$work"
}
trap cleanup EXIT
[ -f "$settings" ] && cp "$settings" "$work/saved.ini"
rm -rf "$pictures"
mkdir -p "$pictures"
convert -size 300x200 gradient:red-blue "$pictures/a.jpg" && convert -size 90x160 xc:green "$pictures/b.png" ||
  fail "convert"

readonly KEYS=(STR PASS TIME COUNT SIZE S-MODE F-MODE G-MODE J-MODE lfHeight lfWidth lfEscapement lfOrientation
  lfWeight lfItalic lfUnderline lfStrikeOut lfCharSet lfOutPrecision lfClipPrecision lfQuality lfPitchAndFamily
  lfFaceName COLOR_R COLOR_G COLOR_B)
long=$(printf '9%.0s' $(seq 1 400))
readonly ODD=(2147483647 -2147483648 99999999999999 4294967296 -1 0 1 2 3 4 5 6 -56439 56439 abc 0x7FFFFFFF
  '  12px' "$long" $'\x81' $'\x82\xa0\x82' $'\xff\xfe\xfd' '' 300 -300 1000 'C:\lumeta_odd_pictures'
  'C:\lumeta_odd_pictures\' 'ＭＳ 明朝')

# One odd settings file: every key present, each with a value drawn from ODD or a small number.
write_random_settings() {
  local key value
  {
    printf '[Screen Saver.lumeta_show]\r\n'
    for key in "${KEYS[@]}"; do
      if [ $((RANDOM % 3)) -eq 0 ]; then value=$((RANDOM % 2000)); else value=${ODD[$((RANDOM % ${#ODD[@]}))]}; fi
      # Pictures to show in most runs, so that the picture modes meet the odd sizes.
      [ "$key" = PASS ] && [ $((RANDOM % 4)) -ne 0 ] && value='C:\lumeta_odd_pictures'
      # A tick now and then, not a paint loop that starves the test's own screenshots.
      [ "$key" = TIME ] && [ $((RANDOM % 2)) -eq 0 ] && value=300
      printf '%s=%s\r\n' "$key" "$value"
    done
  } | iconv -f UTF-8 -t SHIFT-JIS -c > "$settings"
}

write_fixed_settings() {  # lfWidth lfHeight
  printf '[Screen Saver.lumeta_show]\r\nSTR=Maro-Works\r\nS-MODE=1\r\nTIME=300\r\nPASS=C:\\lumeta_odd_pictures\r\nG-MODE=4\r\nlfWidth=%s\r\nlfHeight=%s\r\n' \
    "$1" "$2" > "$settings"
}

now_ms() { date +%s%3N; }

worst=0
for run in $(seq 1 "$runs"); do
  case $run in
    1) write_fixed_settings 2147483647 -48 ;;
    2) write_fixed_settings -2147483648 -48 ;;
    3) write_fixed_settings 0 -56439 ;;
    4) write_fixed_settings 99999999999 2147483647 ;;
    *) write_random_settings ;;
  esac
  cp "$settings" "$work/run$run.ini"
  place_pointer "$build" 500 400 || fail "cannot put the pointer at (500, 400): $(xdotool getmouselocation)"
  "$E2E_RUN" "$saver" /s &
  pid=$!
  wait_for_window "Screen Saver" "$pid" || fail "run $run: no saver window${E2E_EXIT:+: it ended with $E2E_EXIT} (settings: $(tr '\r\n' ' ;' < "$work/run$run.ini"))"
  wait_for_focus "$E2E_WINDOW" || fail "run $run: the saver window did not take the keyboard"
  settle  # paints and ticks with these settings
  kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "run $run: the saver ended on its own with $? (settings: $(tr '\r\n' ' ;' < "$work/run$run.ini"))"; }
  pressed=$(now_ms)
  xdotool key a
  for _ in $(seq 1 $((kExitLimitMs / 50))); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    fail "run $run: still running ${kExitLimitMs} ms after the key (settings: $(tr '\r\n' ' ;' < "$work/run$run.ini"))"
  fi
  wait "$pid"
  status=$?
  pid=
  took=$(($(now_ms) - pressed))
  [ "$took" -gt "$worst" ] && worst=$took
  echo "run $run: exit $status, $took ms from the key to the exit"
  [ "$status" -eq 0 ] || fail "run $run: exit code $status (settings: $(tr '\r\n' ' ;' < "$work/run$run.ini"))"
done
echo "ok: $runs runs, worst $worst ms from the key to the exit"
