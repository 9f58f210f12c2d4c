#!/usr/bin/env bash
# Our engine through the system's audio device: a PulseAudio daemon with a
# null sink, the engine's default output (SDL2) playing the growl, and the
# sink's monitor recorded and searched for it by cross-correlation. Also
# checks the fallback: with no sound server at all the engine still plays
# (to no sound) instead of failing.
# Usage: device-test.sh PLAYER PROBE MEDIA_FOLDER
set -uo pipefail
player=$(realpath "$1") probe=$(realpath "$2") media=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../e2e/audio-harness.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/sonvel-device.XXXXXX")
trap 'sonvel_harness_stop_all; rm -rf "$work"' EXIT
now_us() { local us=${EPOCHREALTIME//[!0-9]/}; echo $((10#$us)); }
failed=0
# In a sanitizer build, leaks inside system libraries are not ours.
export LSAN_OPTIONS="suppressions=$here/../../e2e/lsan-system-libraries.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# --- no sound server: the default output falls back to no sound --------------
out=$(env -u PULSE_SERVER XDG_RUNTIME_DIR="$work" SDL_AUDIODRIVER=pulseaudio "$player" "$media/jaguar.wav" 2>"$work/fallback.err")
rc=$?
if [ $rc -ne 0 ] || ! grep -q '^output 2$' <<<"$out"; then  # 2: FMOD_OUTPUTTYPE_NOSOUND
  echo "FAIL: without a sound server the engine answered $rc and said: $out"; cat "$work/fallback.err"; failed=1
else
  echo "fallback: no server, the engine played to no sound"
fi

# --- PulseAudio null sink ------------------------------------------------------
sonvel_pulse_start || { echo "FAIL: no PulseAudio"; exit 1; }
sonvel_record_start - "$probe" tee "$work/recording.raw" "$work/recording.times" || { echo "FAIL: no recorder"; exit 1; }
wake=$(now_us)
sonvel_sink_wake || { echo "FAIL: the sink did not wake"; exit 1; }
sleep 0.3
out=$("$player" "$media/jaguar.wav" 2>"$work/play.err")
rc=$?
echo "$out"
sonvel_record_stop
if [ $rc -ne 0 ]; then echo "FAIL: the player answered $rc"; cat "$work/play.err"; exit 1; fi
grep -q "^output 10$" <<<"$out" || echo "note: SDL did not pick its PulseAudio back-end"
grep -q '^output 2$' <<<"$out" && { echo "FAIL: the engine fell back to no sound with a server running"; cat "$work/play.err"; failed=1; }
started=$(sed -n 's/^started //p' <<<"$out")
"$probe" match "$work/recording.raw" "$work/recording.times" "$wake" "$media/jaguar.wav@$started@500" \
  || { echo "FAIL: the recording does not hold the growl"; failed=1; }
exit $failed
