#!/usr/bin/env bash
# The recording checker must find the demo sounds where they are and nowhere
# else: it passes a made-up recording that holds all three in order, and
# fails one that lacks the growl and one where the growl comes before its
# click.
# Usage: probe-selftest.sh PROBE MEDIA_FOLDER
set -uo pipefail
probe=$1 media=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/sonvel-probe.XXXXXX")
trap 'rm -rf "$work"' EXIT

drums=$media/drumloop-2.ogg explosion=$media/explosion.mp3 growl=$media/jaguar.wav
start=1700000000000000  # microseconds on the wall clock
# Events: the program starts at 0 ms, the clicks come at 1650 and 2950 ms.
events=("$drums@$start@2000" "$explosion@$((start + 1650000))" "$growl@$((start + 2950000))")
failed=0

expect() {  # expect pass|fail NAME SOUND@OFFSET_MS...
  local want=$1 name=$2; shift 2
  "$probe" mix "$work/$name.raw" "$work/$name.times" "$start" "$@" || { echo "mix failed: $name"; failed=1; return; }
  "$probe" match "$work/$name.raw" "$work/$name.times" "$((start - 100000))" "${events[@]}" >"$work/$name.out" 2>&1
  local rc=$?
  if { [ "$want" = pass ] && [ $rc -ne 0 ]; } || { [ "$want" = fail ] && [ $rc -ne 1 ]; }; then
    echo "--- $name: expected $want, checker answered $rc"
    cat "$work/$name.out"
    failed=1
  else
    echo "$name: $want as expected"
  fi
}

expect pass all-three "$drums@300" "$explosion@1800" "$growl@3100"
expect fail no-growl "$drums@300" "$explosion@1800"
expect fail growl-too-early "$drums@300" "$growl@1000" "$explosion@1800"

# The offsets come back to within a few milliseconds.
grep -E '^explosion.mp3 +1\.800 s +15[0-9] ms' "$work/all-three.out" >/dev/null ||
  { echo "--- wrong offsets:"; cat "$work/all-three.out"; failed=1; }
exit $failed
