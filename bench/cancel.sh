#!/usr/bin/env bash
# How long Ctrl-C takes (not a test): kavo-cli --no-size over an existing
# catalogue on the latency shim, SIGINT sent after a delay, the time from the
# signal to the program's end, and whether the catalogue left is whole (every
# page the frames count there, no temporary file; old pages beyond them, which
# a cancelled run may leave for the next one, are counted). Two builds
# side by side: over a catalogue of other pages (every page rewritten) and of
# the same pages.
#
# Usage: bench/cancel.sh AFTER_BUILD BEFORE_BUILD TREE
# Environment: KAVO_NET_US (default 2000), KAVO_CANCEL_AFTER (seconds, default "0.3 1 2").
# The shim delays no create, rename or removal; with NETFS set (as for
# refresh.sh) the tree is served over sshfs instead, KAVO_NET_US each way,
# mounted afresh before each run.
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
netfs = os.environ.get("NETFS")
local = target = tree
if netfs:
    env = dict(os.environ)
    network = os.environ.get("WORK", "/tmp/kavo-netfs")
    local = os.path.join(network, "tmpfs", "export", os.path.basename(tree))
    if not os.path.exists(local):
        shutil.copytree(tree, local, symlinks=True)
    target = os.path.join(network, "mnt", os.path.basename(tree))
    tree = local

def mount():
    if netfs:
        subprocess.run(["bash", os.path.join(netfs, "mount.sh"), us], check=True, stdout=subprocess.DEVNULL)

def whole():
    """Whether the pages the frames count are all there and no temporary file is; and what else is left."""
    kavo = os.path.join(tree, "kavo")
    pages = {int(m.group(1)) for n in os.listdir(kavo) for m in [re.fullmatch(r"page(\d{4,})\.html", n)] if m}
    count = open(os.path.join(kavo, "frame1.html"), "rb").read().count(b'TARGET="frame3"')
    temps = [n for n in os.listdir(kavo) if ".kavo-tmp-" in n]
    ok = all(p in pages for p in range(1, count + 1)) and not temps
    note = f"{count} pages" + (f", {len(pages) - count} old ones beyond them" if len(pages) > count else "")
    return ok, note + (f", {len(temps)} temporary files" if temps else "")

rt = int(us) / 1000 * (2 if netfs else 1)
print(f"{'sshfs' if netfs else 'shim'}, round trip {rt:g} ms; seconds from SIGINT to the end (exit code, catalogue whole, pages)")
for earlier in ("other pages", "same pages"):
    for build, root in (("before", before), ("after", after)):
        cli = os.path.join(root, "bin", "kavo-cli")
        for delay in map(float, delays.split()):
            shutil.rmtree(os.path.join(tree, "kavo"), ignore_errors=True)
            # The earlier catalogue is written on the local side: only the cancelled run goes over the drive.
            subprocess.run([cli, "-q", "--no-size", "--per-page=40" if earlier == "other pages" else "--per-page=50",
                            tree], stdout=subprocess.DEVNULL, check=True)
            mount()
            p = subprocess.Popen([cli, "-q", "--no-size", "--per-page=50", target], env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            time.sleep(delay)
            sent = time.monotonic()
            p.send_signal(signal.SIGINT)
            code = p.wait()
            took = time.monotonic() - sent
            ok, note = whole()
            print(f"  over {earlier:11s} {build:6s} SIGINT at {delay:4.1f} s: {took:5.2f} s  "
                  f"({code}, {'whole' if ok else 'NOT WHOLE'}, {note})")
shutil.rmtree(os.path.join(tree, "kavo"), ignore_errors=True)
os.remove(os.path.join(tree, "index.html"))
PY
