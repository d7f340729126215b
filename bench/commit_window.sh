#!/usr/bin/env bash
# How long a rerun leaves the catalogue mixed (not a test): the time from the
# first rename of a staged file into place to the last, over a catalogue of
# PAGES pages (50 pictures each, --no-size) whose every page changes, one
# picture more or less in front at each run. A kill in that window mixes the
# earlier catalogue with the new one. The times are the files' change times,
# which a rename sets (the system's clock tick, a few milliseconds, is their
# grain); no tracer slows the calls.
#
# Usage: bench/commit_window.sh PROGRAM [PAGES] [RUNS]
# PROGRAM is a kavo-cli, or a kavo-cli.exe run under Wine in a fresh prefix.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [PAGES] [RUNS]" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
pages=${2:-375}
runs=${3:-5}
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}/commit-$pages
mkdir -p "$work"
if [[ "$program" == *.exe ]]; then
    . "$here/../scripts/wine.sh"
fi
python3 - "$program" "$work" "$pages" "$runs" <<'PY'
import os, statistics, subprocess, sys, time

program, work, pages, runs = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
tree = os.path.join(work, "tree")
os.makedirs(tree, exist_ok=True)
for i in range(pages * 50):
    p = os.path.join(tree, f"p{i:05d}.png")
    if not os.path.exists(p):
        open(p, "w").write("x")
front = os.path.join(tree, "a0000.png")
wine = program.endswith(".exe")
command = ["/usr/lib/wine/wine64", program, "Z:" + tree.replace("/", "\\")] if wine else [program, tree]
command += ["--no-size", "-q"]

subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
# Spelt "Kavo" by Windows builds of before the catalogue was spelt one way everywhere.
catalogue = os.path.join(tree, next(n for n in os.listdir(tree) if n.lower() == "kavo"))
windows = []
for run in range(runs):
    if os.path.exists(front):
        os.remove(front)
    else:
        open(front, "w").write("x")
    # The earlier catalogue on the disk, as it is once the system has written it
    # back: replacing a file still only in memory costs less, and would flatter
    # a build that flushes nothing.
    os.sync()
    began = time.time_ns()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    files = [os.path.join(catalogue, n) for n in os.listdir(catalogue) if n.endswith(".html")]
    changed = sorted(t for t in (os.stat(f).st_ctime_ns for f in files + [os.path.join(tree, "index.html")]) if t >= began)
    took = (time.time_ns() - began) / 1e9
    windows.append((changed[-1] - changed[0]) / 1e6)
    print(f"run {run + 1}: {len(changed)} files renamed into place, window {windows[-1]:.0f} ms, run {took:.2f} s")
print(f"median window {statistics.median(windows):.0f} ms over {runs} runs, {pages} pages")
PY
