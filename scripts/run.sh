#!/usr/bin/env bash
# The main job: builds Kavo, makes a catalogue of the bundled sample pictures
# with kavo-cli, and opens the window when a display is there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
scripts/build.sh build

samples=build/samples
rm -rf "$samples"
cp -r assets/samples "$samples"
summary=$(build/bin/kavo-cli "$samples")
echo "Catalogue written; open it in a browser: $summary"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/kavo ]; then
  exec build/bin/kavo
fi
