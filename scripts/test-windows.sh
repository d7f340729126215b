#!/usr/bin/env bash
# Cross-builds for Windows into DIR (default: build-win) and runs its tests under
# Wine, in a fresh Wine prefix that is removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-win}"
scripts/build-windows.sh "$build"
. scripts/wine.sh
ctest --test-dir "$build" --output-on-failure
