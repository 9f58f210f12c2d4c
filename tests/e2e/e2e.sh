#!/usr/bin/env bash
# Sonvel as a person uses it: the real program on a virtual display (Xvfb),
# its sound going to a PulseAudio null sink that is recorded, two real clicks
# on its button (xdotool), screenshots of the screen.
#
# Checks that the window is there (caption, size, content, a label that
# changes with each click), that the recording holds the drum loop right
# after start, the explosion after the first click and the growl after the
# second, each starting while the one before still plays (found by
# cross-correlation with the decoded files), and that the program ends
# cleanly when asked to. Prints the time from each click to its sound.
#
# Usage: e2e.sh SONVEL PROBE MEDIA_FOLDER
#   SONVEL_E2E_KEEP=folder  keeps the recording and screenshots there
set -uo pipefail
sonvel=$(realpath "$1") probe=$(realpath "$2") media=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/audio-harness.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/sonvel-e2e.XXXXXX")
app_pid=
finish() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  sonvel_harness_stop_all
  if [ -n "${SONVEL_E2E_KEEP:-}" ]; then
    mkdir -p "$SONVEL_E2E_KEEP" && cp -r "$work"/. "$SONVEL_E2E_KEEP"/
  fi
  rm -rf "$work"
}
trap finish EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
die() { echo "FAIL: $*"; [ -s "$work/sonvel.log" ] && { echo "--- the program said:"; cat "$work/sonvel.log"; }; exit 1; }
now_us() { local us=${EPOCHREALTIME//[!0-9]/}; echo $((10#$us)); }
ms_since() { echo $(( ($(now_us) - $1) / 1000 )); }
# Sleeps until the wall clock is $1 (microseconds).
sleep_until() {
  local left=$(( $1 - $(now_us) ))
  (( left > 0 )) && sleep "$(printf '%d.%06d' $((left / 1000000)) $((left % 1000000)))"
}
# Grabs the screen as screen-NAME.xwd; xwd is quick and light, so the sound
# goes on undisturbed. convert_screenshots makes PNGs of them afterwards.
screenshot() { xwd -root -silent >"$work/screen-$1.xwd"; }
convert_screenshots() {
  local f
  for f in "$work"/screen-*.xwd; do [ -e "$f" ] && convert "xwd:$f" "${f%.xwd}.png" && rm -f "$f"; done
}
# Mean brightness and its standard deviation (0..1) of a region WxH+X+Y.
region() { convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:mean] %[fx:standard_deviation]' info:; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# The program's folder: the sounds, read from the working directory.
demo=$work/demo
mkdir -p "$demo"
cp "$media/drumloop-2.ogg" "$media/explosion.mp3" "$media/jaguar.wav" "$demo/"

sonvel_pulse_start || die "no PulseAudio"
sonvel_record_start - "$probe" tee "$work/recording.raw" "$work/recording.times" || die "no recorder"
sonvel_xvfb_start 1024x768x24 || die "no Xvfb"
wake=$(now_us)
sonvel_sink_wake || die "the sink did not wake"
sleep 0.3

# --- start -------------------------------------------------------------------
mkdir -m 700 "$work/runtime"
# In a sanitizer build, leaks inside system libraries are not ours.
export LSAN_OPTIONS="suppressions=$here/lsan-system-libraries.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
started=$(now_us)
(cd "$demo" && XDG_RUNTIME_DIR="$work/runtime" exec "$sonvel") >"$work/sonvel.log" 2>&1 &
app_pid=$!

window=
until window=$(xdotool search --onlyvisible --name '^Form1$' 2>/dev/null | head -n 1) && [ -n "$window" ]; do
  kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid"; die "Sonvel ended at start with status $?"; }
  if [ -n "$(xdotool search --onlyvisible --name '^Sonvel$' 2>/dev/null)" ]; then
    sleep 0.3
    screenshot error
    convert_screenshots
    die "Sonvel shows an error at start (see screen-error.png)"
  fi
  (( $(ms_since "$started") < 20000 )) || die "no window named Form1 within 20 s"
  sleep 0.05
done
echo "window: shown $(ms_since "$started") ms after the start"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT
echo "window: ${WIDTH}x${HEIGHT} at $X,$Y"
[ "$WIDTH" = 640 ] && [ "$HEIGHT" = 480 ] || fail "the window is ${WIDTH}x${HEIGHT}, not 640x480"
sleep 0.3  # first paint
screenshot start

# --- clicks ------------------------------------------------------------------
button_x=$((X + WIDTH / 2)) button_y=$((Y + HEIGHT / 2))
xdotool mousemove --sync "$button_x" "$button_y"
clicks=()
for n in 1 2; do
  sleep_until $((started + n * 1200000))
  at=$(now_us)
  xdotool click 1
  clicks+=("$at")
  echo "click $n: at +$(( (at - started) / 1000 )) ms, xdotool took $(ms_since "$at") ms"
  sleep 0.3
  screenshot "click$n"
done

# Everything has played out 3 s after the last click (the growl lasts 2.5 s).
sleep_until $((clicks[1] + 3500000))
kill -0 "$app_pid" 2>/dev/null || fail "Sonvel ended by itself"
sonvel_record_stop || fail "the recorder failed"

# --- the screen ----------------------------------------------------------------
convert_screenshots
read -r inside_mean _ <<<"$(region "$work/screen-start.png" "${WIDTH}x${HEIGHT}+$X+$Y")"
read -r outside_mean _ <<<"$(region "$work/screen-start.png" "300x200+700+500")"
read -r _ button_sd <<<"$(region "$work/screen-start.png" "80x64+$((button_x - 40))+$((button_y - 32))")"
echo "screen: window brightness $inside_mean, outside it $outside_mean, button contrast $button_sd"
above "$inside_mean" 0.5 && above 0.05 "$outside_mean" || fail "the screenshot does not show a light window on the dark screen"
above "$button_sd" 0.03 || fail "the button shows no symbol"
# The label (centred 64 px above the centre) shows another name after each click.
label="240x24+$((button_x - 120))+$((button_y - 64 - 12))"
for shot in start click1 click2; do convert "$work/screen-$shot.png" -crop "$label" +repage "$work/label-$shot.png"; done
for pair in "start click1" "click1 click2" "start click2"; do
  set -- $pair
  differ=$(compare -metric AE "$work/label-$1.png" "$work/label-$2.png" null: 2>&1 >/dev/null)
  [ "${differ%% *}" != 0 ] || fail "the label reads the same after $1 and $2"
done
read -r _ label_sd <<<"$(region "$work/screen-start.png" "$label")"
above "$label_sd" 0.03 || fail "the label shows no text"

# --- the sound -----------------------------------------------------------------
# The drum loop must start within 5 s of the program's start (engine loading
# and decoding included), each click's sound within 500 ms of the click.
"$probe" match "$work/recording.raw" "$work/recording.times" "$wake" \
  "$demo/drumloop-2.ogg@$started@5000" "$demo/explosion.mp3@${clicks[0]}@500" "$demo/jaguar.wav@${clicks[1]}@500" \
  || fail "the recording does not hold the three sounds as played"

# --- the end -------------------------------------------------------------------
kill -TERM "$app_pid"
wait "$app_pid"
status=$?
app_pid=
[ "$status" = 0 ] || fail "Sonvel ended with status $status when asked to quit"
if [ -s "$work/sonvel.log" ]; then echo "--- the program said:"; cat "$work/sonvel.log"; fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "PASS"
