#!/usr/bin/env bash
# Times kavo-cli's scan and generations beside the baselines (find, a bare
# readdir walk, a walk that opens and reads 4 KB of every picture), all in one
# hyperfine run on the same warm tree, and prints the speed ratios.
#
#   bench/run.sh BUILD_DIR [TREE]
#
# Without TREE the tree of 100,000 entries is generated once under
# ${TMPDIR:-/tmp}/kavo-bench and kept for later runs. A TREE that does not exist
# is generated there. Environment:
#   KAVO_BENCH_WORK       folder for generated trees and results
#   KAVO_BENCH_TREE_ARGS  extra options for make_tree.py, e.g. "--entries 1000000 --big-folders 4"
#   KAVO_BENCH_RUNS       timed runs per command (5)
#   KAVO_BENCH_WARMUP     warm-up runs per command (1)
set -euo pipefail

usage() {
    echo "usage: bench/run.sh BUILD_DIR [TREE]" >&2
    exit 1
}
if [ $# -lt 1 ] || [ $# -gt 2 ]; then usage; fi
[ -d "$1" ] || { echo "run.sh: no build folder $1" >&2; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
build=$(cd "$1" && pwd)
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}
runs=${KAVO_BENCH_RUNS:-5}
warmup=${KAVO_BENCH_WARMUP:-1}
read -r -a tree_args <<<"${KAVO_BENCH_TREE_ARGS:-}"
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Single-quoted for the shell hyperfine runs each command in.
q() { printf "'%s'" "${1//\'/\'\\\'\'}"; }

bare_walk=$build/bench/bare_walk
header_read=$build/bench/header_read
page_floor=$build/bench/page_floor
cli=$build/bin/kavo-cli
for tool in "$bare_walk" "$header_read" "$page_floor"; do
    [ -x "$tool" ] || { echo "run.sh: $tool missing; build it: cmake --build $1 --target bare_walk header_read page_floor" >&2; exit 1; }
done
have_cli=1
if [ ! -x "$cli" ]; then
    echo "run.sh: $cli missing; timing the baselines only" >&2
    have_cli=0
elif [ ! -d "$build/bin/Images" ]; then
    echo "run.sh: $build/bin/Images missing; build it: cmake --build $1 --target kavo_assets" >&2
    exit 1
fi

if ! command -v hyperfine >/dev/null; then
    echo "run.sh: installing hyperfine" >&2
    if [ "$(id -u)" -eq 0 ]; then apt-get install -y hyperfine; else sudo apt-get install -y hyperfine; fi
fi

# The tree: generated unless given. A generated tree has its manifest beside it,
# written last, so a tree without one is an interrupted generation.
if [ $# -eq 2 ]; then
    tree=$2
else
    suffix=$(printf '%s' "${tree_args[*]:-}" | tr -cs 'A-Za-z0-9' '-')
    tree=$work/tree${suffix:-"-100000"}
    tree=${tree%-}
    if [ -e "$tree" ] && [ ! -f "$tree.json" ]; then
        echo "run.sh: removing the incomplete tree $tree" >&2
        rm -rf "$tree"
    fi
fi
tree=$(realpath -m "$tree")
case "$tree/" in
"$repo"/*) echo "run.sh: the tree must lie outside the repository" >&2; exit 1 ;;
esac
if [ ! -e "$tree" ]; then
    echo "run.sh: generating $tree" >&2
    python3 "$here/make_tree.py" "$tree" "${tree_args[@]}"
fi
manifest=$tree.json
# Generations write kavo/ and index.html into the tree and every run removes
# them again; never do that to a tree that already has its own.
if [ ! -f "$manifest" ]; then
    for name in kavo Kavo index.html; do
        if [ -e "$tree/$name" ]; then
            echo "run.sh: $tree/$name exists; run on a copy of the tree without it" >&2
            exit 1
        fi
    done
fi
clean="rm -rf $(q "$tree/kavo") $(q "$tree/Kavo") $(q "$tree/index.html")"
eval "$clean"

stamp=$(date +%Y%m%d-%H%M%S)
results=$work/results-$stamp
mkdir -p "$results"

# One untimed pass of each baseline warms the cache and gives the counts.
"$bare_walk" "$tree" | tee "$results/bare_walk.json"
"$header_read" "$tree" | tee "$results/header_read.json"
entries=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["entries"])' "$results/bare_walk.json")
pictures=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["pictures"])' "$results/header_read.json")

commands=(-n find "find $(q "$tree")"
    -n bare_walk "$(q "$bare_walk") $(q "$tree")"
    -n header_read "$(q "$header_read") $(q "$tree")")
if [ $have_cli -eq 1 ]; then
    "$cli" --scan "$tree" >"$results/scan.json"
    # As many pages as a generation of 50 per page writes.
    pages=$(python3 -c 'import json,sys; c=json.load(open(sys.argv[1])); print(-(-sum(c[k] for k in ("jpg","gif","bmp","png")) // 50))' "$results/scan.json")
    commands+=(-n page_floor "$(q "$page_floor") $(q "$tree") $pages"
        -n "kavo-cli --scan" "$(q "$cli") --scan $(q "$tree")"
        -n "kavo-cli --no-size" "$(q "$cli") -q --no-size $(q "$tree")"
        -n "kavo-cli (sizes)" "$(q "$cli") -q $(q "$tree")")
fi

if [ -r /proc/loadavg ]; then
    read -r load _ </proc/loadavg
    if awk -v l="$load" -v c="$(nproc)" 'BEGIN { exit !(l > c / 2) }'; then
        echo "run.sh: load average $load on $(nproc) cores: other work is running, wall times will be noisy" \
            "(the cpu column suffers less)" >&2
    fi
fi
hyperfine --warmup "$warmup" --runs "$runs" --prepare "$clean" --cleanup "$clean" \
    --export-json "$results/hyperfine.json" "${commands[@]}"

check=()
if [ $have_cli -eq 1 ] && [ -f "$manifest" ]; then
    check=(--manifest "$manifest" --scan-output "$results/scan.json")
fi
status=0
python3 "$here/ratios.py" "$results/hyperfine.json" --entries "$entries" --pictures "$pictures" "${check[@]}" ||
    status=$?

# Peak memory of one run of each, outside the timing.
if [ $have_cli -eq 1 ] && [ -x /usr/bin/time ]; then
    echo
    echo "Peak memory (maximum resident set, one run each):"
    for mode in "--scan" "-q --no-size" "-q"; do
        eval "$clean"
        read -r -a opts <<<"$mode"
        /usr/bin/time -f '%M' -o "$results/rss" "$cli" "${opts[@]}" "$tree" >/dev/null 2>&1 || true
        awk -v mode="$mode" '{ printf "  kavo-cli %-14s %6.1f MB\n", mode, $1 / 1024 }' "$results/rss"
    done
    eval "$clean"
fi

echo
echo "Tree: $tree ($entries entries, $pictures pictures)"
echo "Results: $results"
exit $status
