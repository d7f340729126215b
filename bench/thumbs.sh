#!/usr/bin/env bash
# Times thumbnails for a folder of phone photos beside vipsthumbnail, all in one
# hyperfine run, and prints the ratios the thumbnails are held to:
#   fresh (no thumbnail there yet)      against  vipsthumbnail -s 400 over the same files, one process
#   rerun (nothing changed)             against  the same run without thumbnails
#
#   bench/thumbs.sh BUILD_DIR [PHOTOS]
#
# Without PHOTOS, 50 photos (4608x1976, quality 90, every fourth turned by EXIF
# orientation 6) are made once under ${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}/photos.
# KAVO_BENCH_RUNS (default 5) timed runs per command; KAVO_BENCH_ROUNDS (default 1)
# repeats the whole hyperfine run, for a machine shared with other work.
set -euo pipefail

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: bench/thumbs.sh BUILD_DIR [PHOTOS]" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}
photos=${2:-$work/photos}
runs=${KAVO_BENCH_RUNS:-5}
rounds=${KAVO_BENCH_ROUNDS:-1}
cli=$build/bin/kavo-cli
[ -x "$cli" ] || { echo "thumbs.sh: $cli missing; build it: cmake --build $1 --target kavo-cli kavo_assets" >&2; exit 1; }
command -v vipsthumbnail >/dev/null && command -v hyperfine >/dev/null && command -v convert >/dev/null ||
    bash "$here/../scripts/setup.sh" bench

mkdir -p "$photos"
python3 "$here/make_photos.py" "$photos" --count 50
out=$(mktemp -d)
trap 'rm -rf "$out" "$photos/kavo" "$photos/index.html"' EXIT

# Single-quoted for the shell hyperfine runs each command in.
q() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
clean="rm -rf $(q "$photos/kavo") $(q "$photos/index.html")"
made="$(q "$cli") -q --thumbnails $(q "$photos") >/dev/null"
# A rerun takes milliseconds: ten in a row, so that starting the shell does not drown them.
ten() { echo "for i in 0 1 2 3 4 5 6 7 8 9; do $1 >/dev/null; done"; }

for round in $(seq "$rounds"); do
    rm -rf "$out"/*
    "$cli" -q --thumbnails "$photos" >/dev/null  # the cache warm and the thumbnails there for the rerun
    hyperfine --style basic --runs "$runs" --warmup 1 --export-json "$out/round.json" \
        --prepare "rm -rf $(q "$out")/v; mkdir $(q "$out")/v" \
        -n vipsthumbnail "vipsthumbnail -s 400 -o $(q "$out")/v/%s.jpg $(printf '%q ' "$photos"/*.jpg)" \
        --prepare "$clean" -n fresh "$(q "$cli") -q --thumbnails $(q "$photos")" \
        --prepare "$made" -n "rerun x10" "$(ten "$(q "$cli") -q --thumbnails $(q "$photos")")" \
        --prepare "$made" -n "without thumbnails x10" "$(ten "$(q "$cli") -q $(q "$photos")")" >/dev/null
    python3 - "$out/round.json" "$round" <<'PY'
import json, sys
r = {x["command"]: x for x in json.load(open(sys.argv[1]))["results"]}
def t(n): return r[n]["median"], r[n]["user"] + r[n]["system"]
print("round %s:" % sys.argv[2])
for n in r:
    m, c = t(n)
    print("  %-20s median %7.3f s   cpu %7.3f s" % (n, m, c))
for a, b, goal in (("fresh", "vipsthumbnail", 0.5), ("rerun x10", "without thumbnails x10", 1.5)):
    print("  %-32s %5.2f (cpu %5.2f)   goal <= %.1f" % (a + " / " + b, t(a)[0] / t(b)[0], t(a)[1] / t(b)[1], goal))
PY
done
