#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
# Usage: scripts/test.sh [build-folder]   (SONVEL_SANITIZE=address,undefined for a sanitizer build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/install-deps.sh
cmake -S . -B "$build" -DSONVEL_SANITIZE="${SONVEL_SANITIZE:-}" > /dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
