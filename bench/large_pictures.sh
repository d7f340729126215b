#!/usr/bin/env bash
# What large pictures cost with thumbnails (not a test): kavo-cli --thumbnails
# over a folder holding one of them, RUNS runs each, wall time and peak memory
# from /usr/bin/time, after an empty folder for the program's own start-up (under
# Wine, Wine's). Then Ctrl-C amid twelve 8000x6000 JPEGs, sent once the first
# thumbnail is in, TRIES times: the time from the signal to the program's end.
# Under Wine the signal reaches the program as its console's Ctrl-C.
#
# Usage: bench/large_pictures.sh PROGRAM [RUNS] [TRIES]
# PROGRAM is a kavo-cli, or a kavo-cli.exe run under Wine in a fresh prefix.
# Needs cjpeg (libjpeg-turbo-progs) and /usr/bin/time (time).
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM [RUNS] [TRIES]" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}/large
mkdir -p "$work/empty" "$work/jpeg-12000x9000" "$work/png-claims-20000" "$work/twelve-8000x6000"
black_jpeg() {  # WIDTH HEIGHT FILE
    [ -f "$3" ] || { printf 'P6 %d %d 255\n' "$1" "$2"; head -c $(($1 * $2 * 3)) /dev/zero; } | cjpeg >"$3"
}
black_jpeg 12000 9000 "$work/jpeg-12000x9000/Big.jpg"
cp "$here/../tests/data/pictures/claims_20000.png" "$work/png-claims-20000/Claim.png"
black_jpeg 8000 6000 "$work/twelve-8000x6000/p01.jpg"
for i in $(seq -w 2 12); do cp "$work/twelve-8000x6000/p01.jpg" "$work/twelve-8000x6000/p$i.jpg"; done
if [[ "$program" == *.exe ]]; then
    . "$here/../scripts/wine.sh"
fi
python3 - "$program" "$work" "${2:-3}" "${3:-5}" <<'PY'
import os, shutil, signal, subprocess, sys, time

program, work, runs, tries = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
command = (["/usr/lib/wine/wine64"] if program.endswith(".exe") else []) + [program]

def clear(folder):
    shutil.rmtree(os.path.join(folder, "kavo"), ignore_errors=True)
    if os.path.exists(os.path.join(folder, "index.html")):
        os.remove(os.path.join(folder, "index.html"))

for name in ("empty", "jpeg-12000x9000", "png-claims-20000", "twelve-8000x6000"):
    folder = os.path.join(work, name)
    figures = []
    for _ in range(runs):
        clear(folder)
        measured = os.path.join(work, "measured")
        subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", measured] + command + [folder, "--thumbnails", "-q"],
                       check=True, stdout=subprocess.DEVNULL)
        seconds, kb = open(measured).read().split()[-2:]
        figures.append(f"{float(seconds):.2f} s {int(kb) / 1024:.0f} MB")
    print(f"{name:18s} " + ", ".join(figures))

folder = os.path.join(work, "twelve-8000x6000")
thumbs = os.path.join(folder, "kavo", "thumbs")
for _ in range(tries):
    clear(folder)
    p = subprocess.Popen(command + [folder, "--thumbnails", "-q"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while p.poll() is None and not (os.path.isdir(thumbs) and any(n.endswith(".jpg") for n in os.listdir(thumbs))):
        time.sleep(0.005)
    sent = time.monotonic()
    p.send_signal(signal.SIGINT)
    code = p.wait()
    print(f"Ctrl-C amid twelve 8000x6000 JPEGs: {time.monotonic() - sent:.2f} s to the end, exit {code}")
clear(folder)
PY
