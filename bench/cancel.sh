#!/usr/bin/env bash
# How long Ctrl-C takes (not a test): kavo-cli --no-size over an existing
# catalogue on the latency shim, SIGINT sent after a delay, the time from the
# signal to the program's end, and whether the catalogue left is whole (the
# pages on disk exactly those the frames count, no temporary file). Two builds
# side by side: over a catalogue of other pages (every page rewritten) and of
# the same pages.
#
# Usage: bench/cancel.sh AFTER_BUILD BEFORE_BUILD TREE
# Environment: KAVO_NET_US (default 2000), KAVO_CANCEL_AFTER (seconds, default "0.3 1 2").
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 AFTER_BUILD BEFORE_BUILD TREE" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}
mkdir -p "$work"
shim=$work/netdrive.so
if [ ! -f "$shim" ] || [ "$here/netdrive.c" -nt "$shim" ]; then
    cc -O2 -shared -fPIC -o "$shim" "$here/netdrive.c" -ldl
fi
python3 - "$(cd "$1" && pwd)" "$(cd "$2" && pwd)" "$(cd "$3" && pwd)" "$shim" "${KAVO_NET_US:-2000}" \
    "${KAVO_CANCEL_AFTER:-0.3 1 2}" <<'PY'
import os, re, shutil, signal, subprocess, sys, time

after, before, tree, shim, us, delays = sys.argv[1:]
env = dict(os.environ, LD_PRELOAD=shim, NET_US=us)

def whole():
    kavo = os.path.join(tree, "kavo")
    pages = sorted(n for n in os.listdir(kavo) if re.fullmatch(r"page\d{4,}\.html", n))
    frame = open(os.path.join(kavo, "frame1.html"), "rb").read()
    temps = [n for n in os.listdir(kavo) if ".kavo-tmp-" in n]
    return len(pages) == frame.count(b'TARGET="frame3"') and not temps, len(pages)

print(f"round trip {int(us) / 1000:g} ms; seconds from SIGINT to the end (exit code, catalogue whole, pages)")
for earlier in ("other pages", "same pages"):
    for build, root in (("before", before), ("after", after)):
        cli = os.path.join(root, "bin", "kavo-cli")
        for delay in map(float, delays.split()):
            shutil.rmtree(os.path.join(tree, "kavo"), ignore_errors=True)
            subprocess.run([cli, "-q", "--no-size", "--per-page=40" if earlier == "other pages" else "--per-page=50",
                            tree], env=env, stdout=subprocess.DEVNULL, check=True)
            p = subprocess.Popen([cli, "-q", "--no-size", "--per-page=50", tree], env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            time.sleep(delay)
            sent = time.monotonic()
            p.send_signal(signal.SIGINT)
            code = p.wait()
            took = time.monotonic() - sent
            ok, pages = whole()
            print(f"  over {earlier:11s} {build:6s} SIGINT at {delay:4.1f} s: {took:5.2f} s  "
                  f"({code}, {'whole' if ok else 'NOT WHOLE'}, {pages} pages)")
shutil.rmtree(os.path.join(tree, "kavo"), ignore_errors=True)
os.remove(os.path.join(tree, "index.html"))
PY
