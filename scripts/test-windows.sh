#!/usr/bin/env bash
# Builds Qt for Windows into its cache when it is not there yet
# (scripts/build-qt-windows.sh: once, and it takes a while), cross-builds for
# Windows into DIR (default: build-win), window program included, and runs its
# tests under Wine, in a fresh Wine prefix that is removed again at the end:
# ctest (the core and command-line tests, and the window tests on the offscreen
# platform), then kavo.exe itself on a virtual display (tests/windows/window_exe.sh,
# screenshots in DIR/window-check); last, opens the catalogues kavo-cli.exe
# writes in Chromium on Linux, where names tell case apart, as the browser
# suite opens Linux's.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-win}"
scripts/setup.sh windows-test
scripts/build-qt-windows.sh
scripts/build-windows.sh "$build"
[ -f "$build/bin/kavo.exe" ] || { echo "test-windows.sh: kavo.exe was not built in $build" >&2; exit 1; }
. scripts/wine.sh
# With the Linux build there, its kavo-cli is tried against a Windows program's lock too.
if [ -x build/bin/kavo-cli ]; then export KAVO_LINUX_CLI="$PWD/build/bin/kavo-cli"; fi
ctest --test-dir "$build" --output-on-failure
tests/windows/window_exe.sh --faults "$build/bin" "$build/window-check"
if [ -x tests/browser/run.sh ]; then
  KAVO_CLI_EXE="$(cd "$build" && pwd)/bin/kavo-cli.exe" KAVO_CLI="$PWD/tests/browser/wine-cli.sh" \
    KAVO_BROWSER_CHECKS=checks/from_disk.test.js tests/browser/run.sh "$build"
fi
