#!/usr/bin/env bash
# Browser checks of generated catalogues: kavo-cli from BUILD_DIR/bin writes them,
# Debian's Chromium shows them, over a local http server and straight from disk.
# Installs Chromium, a Japanese font and playwright-core when they are missing.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
# KAVO_CLI may name a stand-in, such as wine-cli.sh for the Windows build.
kavo_cli="${KAVO_CLI:-$build/bin/kavo-cli}"
if [ ! -x "$kavo_cli" ]; then
    echo "$0: $kavo_cli not found; build the kavo-cli and kavo_assets targets first" >&2
    exit 2
fi

missing=()
command -v chromium >/dev/null || missing+=(chromium)
# Without a Japanese font the pages show empty boxes, which the glyph check must catch.
if ! command -v fc-list >/dev/null || [ -z "$(fc-list :lang=ja family)" ]; then
    missing+=(fonts-noto-cjk)
fi
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "$0: needs ${missing[*]}; run as root or install them" >&2
        exit 2
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
fi

cd "$here"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
if [ ! -d node_modules/playwright-core ]; then
    npm ci --no-audit --no-fund
fi

# One suite at a time: two Chromiums side by side on a small machine make the
# five-second forward and the click waits race each other.
rc=0
KAVO_CLI="$kavo_cli" node --test --test-force-exit --test-concurrency=1 --test-timeout=240000 ${KAVO_BROWSER_CHECKS:-checks/*.test.js} || rc=$?
if [ "$rc" -ne 0 ]; then
    for f in artifacts/progress-*.txt; do
        [ -f "$f" ] && { echo "--- $f"; cat "$f"; }
    done
fi
exit "$rc"
