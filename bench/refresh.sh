#!/usr/bin/env bash
# Refresh benchmark (not a test): what a user waits for when regenerating a
# catalogue on a network drive. Two builds of kavo-cli (say, before and after a
# change) run side by side, in turn, under the same load, beside net_walk:
#
#   first --no-size           the catalogue removed first
#   rerun --no-size           over the catalogue the run before wrote, nothing changed
#   --no-size after +10       10 pictures added to the last folder
#   first sizes, rerun sizes  the same with pixel sizes (default options)
#
# Usage: bench/refresh.sh AFTER_BUILD BEFORE_BUILD TREE...
# A TREE named albums-A-D-N that does not exist is made: A album folders of D
# day folders of N entries, 30 % small JPEG pictures, the rest text files.
#
# Drives (KAVO_NET, default "shim:500 shim:2000"):
#   shim:US    netdrive.c preloaded: each open, read and listing waits US microseconds
#   sshfs:US   the tree served over sshfs through the delay proxy of the netfs
#              tools, US microseconds each way; mounted afresh before every
#              command (cold caches). Needs NETFS (the folder of setup.sh and
#              mount.sh, set up already) and their WORK, SSHD_PORT, PROXY_PORT.
# KAVO_BENCH_RUNS rounds (default 3); the median of each command is printed.
set -euo pipefail
if [ $# -lt 3 ]; then
    echo "usage: $0 AFTER_BUILD BEFORE_BUILD TREE..." >&2
    exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
after=$(cd "$1" && pwd)
before=$(cd "$2" && pwd)
shift 2
for tool in "$after/bin/kavo-cli" "$before/bin/kavo-cli" "$after/bench/net_walk"; do
    [ -x "$tool" ] || { echo "refresh.sh: $tool missing" >&2; exit 1; }
done
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}
mkdir -p "$work"
shim=$work/netdrive.so
if [ ! -f "$shim" ] || [ "$here/netdrive.c" -nt "$shim" ]; then
    cc -O2 -shared -fPIC -o "$shim" "$here/netdrive.c" -ldl
fi

python3 - "$here" "$after" "$before" "$shim" "${KAVO_NET:-shim:500 shim:2000}" "${KAVO_BENCH_RUNS:-3}" "$@" <<'PY'
import os, re, shutil, statistics, subprocess, sys, time

here, after, before, shim, nets, rounds, *trees = sys.argv[1:]
rounds = int(rounds)
template = os.path.join(here, "templates", "baseline-64x48.jpg")

def make_albums(path, albums, days, entries):
    picture = open(template, "rb").read()
    for a in range(1, albums + 1):
        for d in range(1, days + 1):
            folder = os.path.join(path, "album-%02d" % a, "day-%03d" % d)
            os.makedirs(folder)
            for e in range(entries):
                if e % 10 < 3:
                    with open(os.path.join(folder, "IMG_%04d.jpg" % e), "wb") as f:
                        f.write(picture)
                else:
                    with open(os.path.join(folder, "note_%04d.txt" % e), "w") as f:
                        f.write("x")

def last_folder(root):
    """The folder the walk reaches last: the last subfolder, all the way down, in name order."""
    path = root
    while True:
        subs = sorted((e for e in os.listdir(path) if os.path.isdir(os.path.join(path, e)) and e != "kavo"),
                      key=str.lower)
        if not subs:
            return path
        path = os.path.join(path, subs[-1])

def clear(tree):
    shutil.rmtree(os.path.join(tree, "kavo"), ignore_errors=True)
    if os.path.exists(os.path.join(tree, "index.html")):
        os.remove(os.path.join(tree, "index.html"))

def add_ten(tree):
    folder = last_folder(tree)
    for i in range(10):
        shutil.copyfile(template, os.path.join(folder, "zz-added-%02d.jpg" % i))

def remove_ten(tree):
    folder = last_folder(tree)
    for i in range(10):
        p = os.path.join(folder, "zz-added-%02d.jpg" % i)
        if os.path.exists(p):
            os.remove(p)

for tree in trees:
    m = re.fullmatch(r"albums-(\d+)-(\d+)-(\d+)", os.path.basename(tree))
    if not os.path.exists(tree):
        if not m:
            sys.exit("refresh.sh: %s does not exist" % tree)
        print("refresh.sh: making", tree, file=sys.stderr)
        make_albums(tree, *map(int, m.groups()))

walk = os.path.join(after, "bench", "net_walk")
cli = {"before": os.path.join(before, "bin", "kavo-cli"), "after": os.path.join(after, "bin", "kavo-cli")}
# (name, program, arguments, what to do to the tree first)
steps = [("net_walk 16 threads", walk, ["--threads=16"], clear),
         ("net_walk 64 threads, reads", walk, ["--threads=64", "--read"], None)]
for build in ("before", "after"):
    steps += [(build + " first --no-size", cli[build], ["-q", "--no-size"], clear),
              (build + " rerun --no-size", cli[build], ["-q", "--no-size"], None),
              (build + " --no-size after +10", cli[build], ["-q", "--no-size"], add_ten),
              (build + " first sizes", cli[build], ["-q"], lambda t: (remove_ten(t), clear(t))),
              (build + " rerun sizes", cli[build], ["-q"], None)]

for net in nets.split():
    kind, us = net.split(":")
    for tree in trees:
        local = tree
        if kind == "sshfs":
            netfs = os.environ["NETFS"]
            network = os.environ.get("WORK", "/tmp/kavo-netfs")
            local = os.path.join(network, "tmpfs", "export", os.path.basename(tree))
            if not os.path.exists(local):
                shutil.copytree(tree, local, symlinks=True)
            seen = os.path.join(network, "mnt", os.path.basename(tree))
        times = {name: [] for name, *_ in steps}
        for _ in range(rounds):
            for name, program, args, prepare in steps:
                if prepare:
                    prepare(local)
                env = dict(os.environ)
                if kind == "shim":
                    env.update(LD_PRELOAD=shim, NET_US=us)
                    target = local
                else:
                    subprocess.run(["bash", os.path.join(netfs, "mount.sh"), us], check=True,
                                   stdout=subprocess.DEVNULL)
                    target = seen
                start = time.monotonic()
                subprocess.run([program, *args, target], env=env, stdout=subprocess.DEVNULL, check=True)
                times[name].append(time.monotonic() - start)
        remove_ten(local)
        clear(local)
        med = {name: statistics.median(t) for name, t in times.items()}
        rt = int(us) / 1000 * (2 if kind == "sshfs" else 1)
        print(f"\n{os.path.basename(tree)}, {kind}, round trip {rt:g} ms, median of {rounds} rounds")
        w16, w64 = med["net_walk 16 threads"], med["net_walk 64 threads, reads"]
        print(f"  {'net_walk 16 threads':28s} {w16:7.2f} s")
        print(f"  {'net_walk 64 threads, reads':28s} {w64:7.2f} s")
        print(f"  {'':28s} {'before':>9s} {'after':>9s}   ratio before  after")
        for what, base, goal in [("first --no-size", w16, "<= 3"), ("rerun --no-size", w16, "<= 1.5"),
                                 ("--no-size after +10", w16, "<= 2"), ("first sizes", w64, ""),
                                 ("rerun sizes", w16, "<= 1.5")]:
            b, a = med["before " + what], med["after " + what]
            print(f"  {what:28s} {b:7.2f} s {a:7.2f} s   {b / base:12.2f} {a / base:6.2f}  "
                  f"(of {'16' if base is w16 else '64'}-thread walk{', goal ' + goal if goal else ''})")
PY
