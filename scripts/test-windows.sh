#!/usr/bin/env bash
# Cross-builds for Windows into DIR (default: build-win) and runs its tests under
# Wine, in a fresh Wine prefix that is removed again at the end; then opens the
# catalogues kavo-cli.exe writes in Chromium on Linux, where names tell case
# apart, as the browser suite opens Linux's.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-win}"
scripts/build-windows.sh "$build"
. scripts/wine.sh
# With the Linux build there, its kavo-cli is tried against a Windows program's lock too.
if [ -x build/bin/kavo-cli ]; then export KAVO_LINUX_CLI="$PWD/build/bin/kavo-cli"; fi
ctest --test-dir "$build" --output-on-failure
if [ -x tests/browser/run.sh ]; then
  KAVO_CLI_EXE="$(cd "$build" && pwd)/bin/kavo-cli.exe" KAVO_CLI="$PWD/tests/browser/wine-cli.sh" \
    KAVO_BROWSER_CHECKS=checks/from_disk.test.js tests/browser/run.sh "$build"
fi
