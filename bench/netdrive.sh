#!/usr/bin/env bash
# Network drive benchmark (not a test): kavo-cli --scan, --no-size and with
# sizes (default options) on a tree behind netdrive.c, a preloaded shim that
# makes every directory read, open and read wait NET_US microseconds as a round
# trip to a server would, beside net_walk, a walk that hides the waiting with
# many threads: 16 listing threads for the scan and --no-size, 64 threads that
# also open and read 4 KB of every picture for the sized run.
#
# Usage: bench/netdrive.sh BUILD_DIR [TREE]
# Without TREE the tree of 100,000 entries in 1,001 folders with 30 % pictures
# is generated once under ${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench} and kept.
# Put KAVO_BENCH_WORK on a tmpfs (/dev/shm) so the disk does not blur the round trips.
# Environment: KAVO_NET_US (round trips to try, default "500 2000"),
# KAVO_BENCH_RUNS (rounds, default 3). All commands run once per round, in
# turn, so the ratios compare runs made under the same load.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 BUILD_DIR [TREE]" >&2
    exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
cli=$build/bin/kavo-cli
walk=$build/bench/net_walk
for tool in "$cli" "$walk"; do
    [ -x "$tool" ] || { echo "netdrive.sh: $tool missing; build it: cmake --build $1 --target kavo-cli net_walk" >&2; exit 1; }
done
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}
mkdir -p "$work"
work=$(cd "$work" && pwd)

shim=$work/netdrive.so
if [ ! -f "$shim" ] || [ "$here/netdrive.c" -nt "$shim" ]; then
    cc -O2 -shared -fPIC -o "$shim" "$here/netdrive.c" -ldl
fi

tree=${2:-$work/tree-entries-100000-folders-1001-pictures-ratio-0.3}
if [ ! -e "$tree" ]; then
    echo "netdrive.sh: generating $tree" >&2
    python3 "$here/make_tree.py" "$tree" --entries 100000 --folders 1001 --pictures-ratio 0.3
fi
tree=$(realpath "$tree")
if [ -e "$tree/index.html" ] || [ -e "$tree/kavo" ]; then
    echo "netdrive.sh: $tree already holds a catalogue or index.html; run on a copy without them" >&2
    exit 1
fi

python3 - "$shim" "$cli" "$walk" "$tree" "${KAVO_NET_US:-500 2000}" "${KAVO_BENCH_RUNS:-3}" <<'PY'
import os, shutil, statistics, subprocess, sys, time

shim, cli, walk, tree, latencies, rounds = sys.argv[1:]
commands = [
    ("net_walk 16 threads", [walk, "--threads=16", tree]),
    ("net_walk 64 threads, reads", [walk, "--threads=64", "--read", tree]),
    ("kavo-cli --scan", [cli, "--scan", tree]),
    ("kavo-cli --no-size", [cli, "-q", "--no-size", tree]),
    ("kavo-cli (sizes)", [cli, "-q", tree]),
]

def clear():
    shutil.rmtree(os.path.join(tree, "kavo"), ignore_errors=True)
    if os.path.exists(os.path.join(tree, "index.html")):
        os.remove(os.path.join(tree, "index.html"))

for us in latencies.split():
    env = dict(os.environ, LD_PRELOAD=shim, NET_US=us)
    times = {name: [] for name, _ in commands}
    for _ in range(int(rounds)):
        for name, argv in commands:
            clear()
            start = time.monotonic()
            subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, check=True)
            times[name].append(time.monotonic() - start)
    clear()
    med = {name: statistics.median(t) for name, t in times.items()}
    print(f"\nround trip {int(us) / 1000:g} ms, median of {rounds} rounds")
    for name, t in med.items():
        print(f"  {name:28s} {t:7.2f} s")
    walk16, walk64 = med["net_walk 16 threads"], med["net_walk 64 threads, reads"]
    print(f"  --scan / 16-thread walk        {med['kavo-cli --scan'] / walk16:5.2f}  (goal <= 2)")
    print(f"  --no-size / 16-thread walk     {med['kavo-cli --no-size'] / walk16:5.2f}  (goal <= 6)")
    print(f"  sizes / 64-thread reading walk {med['kavo-cli (sizes)'] / walk64:5.2f}  (goal <= 2.5)")
PY
