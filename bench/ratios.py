#!/usr/bin/env python3
"""Prints the timings of a hyperfine JSON export and the speed ratios of kavo-cli
against the baselines measured in the same run.

Each ratio is given as the ratio of median wall times (the verdict is on it), the
ratio of the fastest runs, the envelope of the noise from (fastest numerator /
slowest denominator) to (slowest / fastest), and the ratio of mean CPU times
(user + system), which a machine busy with other work disturbs far less.
"""

import argparse
import json
import sys

# Names given to hyperfine with -n by run.sh.
FIND, BARE, HEADER, FLOOR = "find", "bare_walk", "header_read", "page_floor"
SCAN, NO_SIZE, SIZED = "kavo-cli --scan", "kavo-cli --no-size", "kavo-cli (sizes)"


class Timing:
    def __init__(self, median, low, high, cpu):
        self.median, self.min, self.max, self.cpu = median, low, high, cpu

    @staticmethod
    def of(result):
        return Timing(result["median"], result["min"], result["max"], result["user"] + result["system"])

    def __add__(self, other):
        return Timing(self.median + other.median, self.min + other.min, self.max + other.max, self.cpu + other.cpu)

    def __rmul__(self, k):
        return Timing(k * self.median, k * self.min, k * self.max, k * self.cpu)


def ratio_line(label, num, den, target=None):
    median = num.median / den.median
    text = "  %-54s %5.2f  %5.2f  %5.2f-%-6.2f %5.2f" % (label, median, num.min / den.min, num.min / den.max,
                                                          num.max / den.min, num.cpu / den.cpu)
    if target is None:
        return text
    verdict = "ok" if median <= target else "OVER"
    if num.min / den.max <= target < num.max / den.min:
        verdict += ", target inside the noise"
    return text + "   <= %.1f  %s" % (target, verdict)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("json", help="hyperfine --export-json output")
    ap.add_argument("--entries", type=int, help="entries of the tree (bare_walk's count)")
    ap.add_argument("--pictures", type=int, help="picture-named files (header_read's count)")
    ap.add_argument("--manifest", help="the tree generator's manifest, to check the scan's counts")
    ap.add_argument("--scan-output", help="the JSON line kavo-cli --scan printed")
    args = ap.parse_args()

    with open(args.json) as f:
        results = json.load(f)["results"]
    t = {r["command"]: Timing.of(r) for r in results}

    if not results:
        print("No results.")
        return 1
    print("\nTimes (s), %d runs each:" % len(results[0]["times"]))
    print("  %-20s %7s %7s %7s %7s %7s" % ("", "median", "mean", "min", "max", "cpu"))
    for r in results:
        extra = ""
        if args.entries and r["command"] in (FIND, BARE, SCAN, NO_SIZE):
            extra = "%6.2f us/entry" % (r["median"] / args.entries * 1e6)
        elif args.pictures and r["command"] in (HEADER, SIZED):
            extra = "%6.2f us/picture" % (r["median"] / args.pictures * 1e6)
        print("  %-20s %7.3f %7.3f %7.3f %7.3f %7.3f  %s" % (r["command"], r["median"], r["mean"], r["min"],
                                                            r["max"], r["user"] + r["system"], extra))
    if args.pictures and HEADER in t and BARE in t:
        per = (t[HEADER].median - t[BARE].median) / args.pictures * 1e6
        print("  open + read 4 KB + close alone: %.2f us/picture (header_read - bare_walk)" % per)

    lines = []
    if SCAN in t and BARE in t:
        lines.append(ratio_line("scan / bare walk", t[SCAN], t[BARE], 1.6))
    if SCAN in t and FIND in t:
        lines.append(ratio_line("scan / find (about 1.2 expected)", t[SCAN], t[FIND]))
    if NO_SIZE in t and BARE in t:
        lines.append(ratio_line("generation --no-size / bare walk", t[NO_SIZE], t[BARE], 3.0))
    if FLOOR in t and BARE in t:
        lines.append(ratio_line("page floor (2 walks + pages) / bare walk", t[FLOOR], t[BARE]))
    if NO_SIZE in t and FLOOR in t:
        lines.append(ratio_line("generation --no-size / page floor", t[NO_SIZE], t[FLOOR]))
    if SIZED in t and BARE in t and HEADER in t:
        lines.append(ratio_line("generation with sizes / (2 bare walks + header_read)", t[SIZED],
                                2 * t[BARE] + t[HEADER], 1.5))
    if lines:
        print("\nRatios:")
        print("  %-54s %5s  %5s  %-12s %5s   %s" % ("", "median", "min", "noise", "cpu", "target"))
        print("\n".join(lines))
    else:
        print("\nNo kavo-cli timings, so no ratios.")

    if args.scan_output and args.manifest:
        with open(args.manifest) as f:
            manifest = json.load(f)
        with open(args.scan_output) as f:
            scan = json.loads(f.read().strip() or "{}")
        expected = dict(manifest["types"], all=manifest["entries"])
        wrong = {k: (scan.get(k), v) for k, v in expected.items() if scan.get(k) != v}
        if wrong:
            print("\nkavo-cli --scan disagrees with the tree's manifest (got, expected): %s" % wrong)
            return 1
        print("\nkavo-cli --scan counts match the tree's manifest.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
