#!/usr/bin/env bash
# Installs what is needed, builds the Sonvel demo and starts it from the
# folder that holds its three sounds (the build's bin folder, where the
# program and the engine files lie too).
# Usage: scripts/run-demo.sh [build-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh
cmake -S . -B "$build" > /dev/null
cmake --build "$build" -j "$(nproc)" --target Sonvel
cd "$build/bin"
exec ./Sonvel
