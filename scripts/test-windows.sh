#!/usr/bin/env bash
# Cross-builds for Windows into DIR (default: build-win) and runs its tests under
# Wine, in a fresh Wine prefix that is removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-win}"
scripts/build-windows.sh "$build"

export WINEPREFIX
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/kavo-wine.XXXXXX")"
# No Mono or Gecko prompts; UTF-8 so that Wine passes names beyond ASCII on unchanged.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# One server for the whole run: by default it quits 3 s after its last client,
# and a test that starts in that window loses its connection ("recvmsg:
# Connection reset by peer").
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure
