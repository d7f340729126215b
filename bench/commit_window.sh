#!/usr/bin/env bash
# How long a rerun leaves the catalogue mixed (not a test): the time from the
# first rename of a staged file into place to the last, on strace's clock, over
# a catalogue of PAGES pages (50 pictures each, --no-size) whose every page
# changes, one picture more or less in front at each run. A kill in that window
# mixes the earlier catalogue with the new one.
#
# Usage: bench/commit_window.sh PROGRAM [PAGES] [RUNS]
# PROGRAM is a kavo-cli, or a kavo-cli.exe run under Wine in a fresh prefix;
# Wine's renames are made by its server, which is traced instead.
# strace slows each traced call alike, so compare figures of this script only.
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
import os, re, statistics, subprocess, sys, time

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

def server():
    """The pid of this prefix's wineserver, which makes Wine's renames."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if not open(f"/proc/{pid}/comm").read().startswith("wineserver"):
                continue
            env = open(f"/proc/{pid}/environ", "rb").read().split(b"\0")
        except OSError:
            continue
        if ("WINEPREFIX=" + os.environ["WINEPREFIX"]).encode() in env:
            return pid
    sys.exit("no wineserver of this prefix")

subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
clock = re.compile(r"(\d+):(\d+):(\d+\.\d+) rename")
windows = []
for run in range(runs):
    if os.path.exists(front):
        os.remove(front)
    else:
        open(front, "w").write("x")
    trace = os.path.join(work, "trace.txt")
    strace = ["strace", "-f", "-tt", "-qq", "-e", "trace=rename,renameat,renameat2", "-o", trace]
    if wine:
        tracer = subprocess.Popen(strace + ["-p", server()])
        time.sleep(1)  # attached before the run begins
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        time.sleep(0.5)
        tracer.terminate()
        tracer.wait()
    else:
        subprocess.run(strace + ["--seccomp-bpf"] + command, check=True, stdout=subprocess.DEVNULL)
    times = []
    for line in open(trace, encoding="utf-8", errors="replace"):
        m = clock.search(line)
        if m and "-staged" in line:
            times.append(int(m[1]) * 3600 + int(m[2]) * 60 + float(m[3]))
    windows.append(times[-1] - times[0])
    print(f"run {run + 1}: {len(times)} renames into place, window {windows[-1] * 1000:.0f} ms")
print(f"median window {statistics.median(windows) * 1000:.0f} ms over {runs} runs, {pages} pages")
PY
