#!/usr/bin/env python3
"""Faults a real disk has, tried against kavo-cli; prints how many trials left
the catalogue whole and how many left files behind. Not part of the tests.

  bench/faults.py BUILD_DIR [--trials N] [--pictures N] [--work DIR] [--seed N]

1. kill -9 at random moments of reruns over a tree of 20,000 pictures (each
   rerun with another page size, so the page count changes);
2. a full disk: a 200 KB tmpfs (needs root and mount), filled up to a random
   point before each rerun;
3. two runs at once with different page sizes.

Whole means: the frameset, the tree frame, the navigation frame and the
summary page exist and begin with the marker line, the three counts of pages
agree, and every page they count is on disk. Files left behind are temporary
files and the letter-case probe, right after the fault and after the next run.
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MARKER = b"<!--Kavo Type="
LEFTOVER = re.compile(r"(\.kavo-tmp-(\d+-\d+|[0-9a-f]{16}|staged)$)|(^KAVO-CASE-PROBE-(\d+|[0-9a-f]{16})\.TMP$)")
SUMMARY_COUNT = re.compile(
    re.escape("ページ数</FONT>\r\n</TD>\r\n<TD>\r\n<FONT COLOR=\"#666666\" SIZE=\"4\">".encode("cp932")) + rb"(\d+)</FONT>")


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def check(base):
    """(whole, reason, leftover names) of the catalogue in base."""
    cat = os.path.join(base, "kavo")
    leftovers = []
    for folder in (base, cat, os.path.join(cat, "images")):
        if os.path.isdir(folder):
            leftovers += [os.path.join(folder, n) for n in os.listdir(folder) if LEFTOVER.search(n)]
    files = {name: read(os.path.join(cat, name)) for name in ("index.html", "frame1.html", "frame2.html")}
    files["summary"] = read(os.path.join(base, "index.html"))
    for name, data in files.items():
        if data is None or not data.startswith(MARKER):
            return False, f"{name} missing or not ours", leftovers
    counts = {
        "tree": files["frame1.html"].count(b'TARGET="frame3"'),
        "navigation": int(re.search(rb"\(n <= (\d+)\)", files["frame2.html"]).group(1)),
        "summary": int(SUMMARY_COUNT.search(files["summary"]).group(1)),
    }
    if len(set(counts.values())) != 1:
        return False, f"counts differ: {counts}", leftovers
    for n in range(1, counts["tree"] + 1):
        page = read(os.path.join(cat, f"page{n:04d}.html"))
        if page is None or not page.startswith(MARKER) or not page.rstrip().endswith(b"</HTML>"):
            return False, f"page {n} of {counts['tree']} missing or cut", leftovers
    return True, "", leftovers


def run_cli(cli, base, per_page, **kw):
    return subprocess.run([cli, "-q", f"--per-page={per_page}", base], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, **kw)


def report(title, trials, whole, behind, extra=""):
    print(f"{title}: {trials} trials, whole after the fault {whole}/{trials}, "
          f"files left behind after the fault {behind[0]}/{trials}, after the next run {behind[1]}/{trials}{extra}")


def kill_trials(cli, tree, trials, rng):
    run_cli(cli, tree, 50, check=True)
    start = time.monotonic()
    run_cli(cli, tree, 37, check=True)
    duration = time.monotonic() - start
    whole, behind = 0, [0, 0]
    for i in range(trials):
        per_page = rng.choice([20, 37, 50, 80, 120])
        proc = subprocess.Popen([cli, "-q", f"--per-page={per_page}", tree], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0, duration))
        proc.kill()
        proc.wait()
        ok, why, left = check(tree)
        whole += ok
        behind[0] += bool(left)
        if not ok:
            print(f"  kill {i + 1}: not whole: {why}")
        run_cli(cli, tree, rng.choice([20, 37, 50, 80, 120]), check=True)
        ok, why, left = check(tree)
        behind[1] += bool(left)
        if not ok or left:
            print(f"  kill {i + 1}, the next run: whole={ok} {why} left={left}")
    report(f"kill -9 during a rerun ({duration:.2f} s each)", trials, whole, behind)


def full_disk_trials(cli, work, trials, rng):
    mnt = os.path.join(work, "tmpfs")
    os.makedirs(mnt, exist_ok=True)
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=200k", "tmpfs", mnt]).returncode:
        print("full disk: skipped (mounting a tmpfs needs root); the test suite covers it through its injectable file layer")
        return
    try:
        whole, behind, failed = 0, [0, 0], 0
        for i in range(trials):
            for n in os.listdir(mnt):
                shutil.rmtree(os.path.join(mnt, n), ignore_errors=True)
            base = os.path.join(mnt, "pics")
            os.makedirs(base)
            for k in range(240):  # empty pictures: names only, so the pages take the room
                open(os.path.join(base, f"picture-with-a-long-name-to-fill-the-page-{k:05d}.png"), "wb").close()
            first = run_cli(cli, base, 40)
            if first.returncode != 0:
                print(f"  disk {i + 1}: the first run did not fit ({first.returncode})")
                continue
            st = os.statvfs(mnt)
            free = st.f_bavail * st.f_frsize
            filler = max(0, free - rng.randrange(0, 64 * 1024))
            with open(os.path.join(mnt, "filler"), "wb") as f:
                f.write(b"\0" * filler)
            rerun = run_cli(cli, base, rng.choice([5, 8, 12, 20]))
            failed += rerun.returncode == 3
            ok, why, left = check(base)
            whole += ok
            behind[0] += bool(left)
            if not ok:
                print(f"  disk {i + 1}: not whole: {why}")
            os.remove(os.path.join(mnt, "filler"))
            run_cli(cli, base, 40)
            ok, why, left = check(base)
            behind[1] += bool(left)
            if not ok or left:
                print(f"  disk {i + 1}, the next run: whole={ok} {why} left={left}")
        report("full disk (200 KB tmpfs)", trials, whole, behind, f"; the disk was full in {failed} reruns (exit 3)")
    finally:
        subprocess.run(["umount", mnt])


def concurrent_trials(cli, tree, trials, rng):
    whole, refused, behind = 0, 0, [0, 0]
    for i in range(trials):
        sizes = rng.sample([20, 37, 50, 80, 120], 2)
        procs = [subprocess.Popen([cli, "-q", f"--per-page={s}", tree], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE) for s in sizes]
        codes = [p.wait() for p in procs]
        refused += 4 in codes
        ok, why, left = check(tree)
        whole += ok
        behind[0] += bool(left)
        if not ok:
            print(f"  pair {i + 1} {codes}: not whole: {why}")
    report("two runs at once", trials, whole, behind, f"; the second run refused with exit 4 in {refused}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build")
    ap.add_argument("--trials", type=int, default=20)
    ap.add_argument("--pictures", type=int, default=20_000)
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "kavo-faults"))
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    cli = os.path.join(os.path.abspath(args.build), "bin", "kavo-cli")
    if not os.access(cli, os.X_OK):
        sys.exit(f"faults.py: {cli} missing; build it: cmake --build {args.build} --target kavo-cli kavo_assets")
    rng = random.Random(args.seed)
    os.makedirs(args.work, exist_ok=True)
    tree = os.path.join(args.work, f"tree-{args.pictures}")
    if not os.path.exists(tree + ".json"):
        shutil.rmtree(tree, ignore_errors=True)
        entries = args.pictures * 5 // 4
        subprocess.run([sys.executable, os.path.join(HERE, "make_tree.py"), tree, "--entries", str(entries),
                        "--folders", str(max(2, entries // 100)), "--pictures-ratio", "0.8"], check=True,
                       stdout=subprocess.DEVNULL)
    kill_trials(cli, tree, args.trials, rng)
    full_disk_trials(cli, args.work, max(1, args.trials // 2), rng)
    concurrent_trials(cli, tree, max(1, args.trials // 3), rng)


if __name__ == "__main__":
    main()
