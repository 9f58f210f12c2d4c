#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
# Usage: scripts/test.sh [build-folder]   (SONVEL_SANITIZE=address,undefined for a sanitizer build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh
cmake -S . -B "$build" -DSONVEL_SANITIZE="${SONVEL_SANITIZE:-}" > /dev/null
cmake --build "$build" -j "$(nproc)"
# In an address-sanitizer build, the audio libraries SDL opens and closes
# again (ALSA, PulseAudio) and SDL itself stay loaded for the whole run, so
# that what they keep until the process ends is still reachable at exit
# rather than reported as our leak from an unloaded library.
if [[ "${SONVEL_SANITIZE:-}" == *address* ]]; then
  export ASAN_OPTIONS="verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
  export LD_PRELOAD="libasound.so.2 libpulse.so.0 libSDL2-2.0.so.0${LD_PRELOAD:+ $LD_PRELOAD}"
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
