#!/usr/bin/env bash
# Scale check (a benchmark, not a test): kavo-cli --scan and a --no-size
# generation over a tree of one million entries, each under /usr/bin/time -v.
# Prints wall time and peak resident memory of both and checks that the
# catalogue is consistent: the pages on disk are exactly the pages the frames
# and the summary page count, and the scan's counts match the tree's manifest.
#
# Usage: bench/scale.sh BUILD_DIR [TREE...]
# Without TREE the million-entry tree of make_tree.py is generated once under
# ${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench} (about 5 GB, a few minutes) and kept.
# Give several trees (e.g. the 100,000-entry one as well) to see that memory stays flat.
set -euo pipefail
if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [TREE...]" >&2
    exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
cli=$(cd "$1" && pwd)/bin/kavo-cli
shift
[ -x "$cli" ] || { echo "scale.sh: $cli missing; build kavo-cli first" >&2; exit 1; }
work=${KAVO_BENCH_WORK:-${TMPDIR:-/tmp}/kavo-bench}

trees=("$@")
if [ ${#trees[@]} -eq 0 ]; then
    tree=$work/tree-entries-1000000-folders-10001-big-folders-6
    if [ -e "$tree" ] && [ ! -f "$tree.json" ]; then
        echo "scale.sh: removing the incomplete tree $tree" >&2
        rm -rf "$tree"
    fi
    if [ ! -e "$tree" ]; then
        echo "scale.sh: generating $tree" >&2
        mkdir -p "$work"
        python3 "$here/make_tree.py" "$tree" --entries 1000000 --folders 10001 --big-folders 6
    fi
    trees=("$tree")
fi

marker='<!--Kavo Type='
ours() { [ "$(head -c ${#marker} "$1" 2>/dev/null)" = "$marker" ]; }

# Removes a catalogue this script made; anything else at the top of the tree is refused.
clear_catalogue() {
    local tree=$1
    if [ -e "$tree/index.html" ] && ! ours "$tree/index.html"; then
        echo "scale.sh: $tree/index.html is not a catalogue's; run on a copy without it" >&2
        exit 1
    fi
    if [ -d "$tree/kavo" ] && [ ! -f "$tree/kavo/frame1.html" ]; then
        echo "scale.sh: $tree/kavo is not a catalogue's; run on a copy without it" >&2
        exit 1
    fi
    rm -rf "$tree/kavo" "$tree/index.html"
}

# Runs a command under /usr/bin/time -v; sets seconds and rss_mb.
measure() {
    local log
    log=$(mktemp)
    /usr/bin/time -v "$@" >"$log.out" 2>"$log"
    seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log")
    rss_mb=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$log")
    output=$(cat "$log.out")
    rm -f "$log" "$log.out"
}

status=0
printf '%-60s %-10s %10s %10s\n' tree run wall "peak RSS"
for tree in "${trees[@]}"; do
    tree=$(realpath "$tree")
    clear_catalogue "$tree"

    measure "$cli" --scan "$tree"
    counts=$output
    printf '%-60s %-10s %10s %8s MB\n' "$(basename "$tree")" scan "$seconds" "$rss_mb"
    measure "$cli" -q --no-size "$tree"
    printf '%-60s %-10s %10s %8s MB\n' "$(basename "$tree")" generation "$seconds" "$rss_mb"

    # Consistency, read back from disk.
    if ! python3 - "$tree" "$counts" <<'PY'; then status=1; fi
import json, math, os, re, sys

tree, counts = sys.argv[1], json.loads(sys.argv[2])
cat = os.path.join(tree, "kavo")
pages = sorted(n for n in os.listdir(cat) if re.fullmatch(r"page\d{4,}\.html", n))
numbers = [int(n[4:-5]) for n in pages]
read = lambda p: open(p, "rb").read().decode("cp932")
tree_links = len(re.findall(r'TARGET="frame3"', read(os.path.join(cat, "frame1.html"))))
nav = int(re.search(r"\(n <= (\d+)\)\)", read(os.path.join(cat, "frame2.html"))).group(1))
summary = read(os.path.join(tree, "index.html"))
told = int(re.search(r'ページ数</FONT>\r\n</TD>\r\n<TD>\r\n<FONT COLOR="#666666" SIZE="4">(\d+)</FONT>', summary).group(1))
pictures = counts["jpg"] + counts["gif"] + counts["bmp"] + counts["png"]
placed = 0
for n in pages:
    placed += read(os.path.join(cat, n)).count("<IMG SRC=")
problems = []
if numbers != list(range(1, len(pages) + 1)):
    problems.append("page numbers have gaps")
if not (len(pages) == tree_links == nav == told == math.ceil(pictures / 50)):
    problems.append(f"pages on disk {len(pages)}, tree frame {tree_links}, navigation {nav}, summary {told}, "
                    f"expected {math.ceil(pictures / 50)}")
if placed != pictures:
    problems.append(f"{placed} pictures on the pages, the scan found {pictures}")
manifest = tree + ".json"
if os.path.exists(manifest):
    m = json.load(open(manifest))
    if m["types"] != {k: counts[k] for k in ("jpg", "gif", "bmp", "png")}:
        problems.append(f"scan counts {counts} differ from the manifest {m['types']}")
print(f"  {counts['all']} entries, {pictures} pictures, {len(pages)} pages: "
      + ("consistent" if not problems else "; ".join(problems)))
sys.exit(1 if problems else 0)
PY
    clear_catalogue "$tree"
done
exit $status
