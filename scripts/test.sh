#!/usr/bin/env bash
# Sets up, builds and runs every test: the core and command-line tests, the
# window tests on the offscreen platform, short fuzz runs and the browser suite;
# then the same core, command-line and window tests built for Windows, under Wine
# (Qt for Windows is built into its cache first when it is not there), and kavo.exe
# driven on a virtual display; last, the .deb and the Windows zip, made and run
# from where they unpack.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build test
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"
if [ -x tests/fuzz/run.sh ]; then tests/fuzz/run.sh build-fuzz; fi
if [ -x tests/browser/run.sh ]; then tests/browser/run.sh build; fi
scripts/test-windows.sh build-win
scripts/test-package.sh dist build build-win
echo "All tests passed."
