#!/usr/bin/env bash
# Counts the SFTP requests kavo-cli sends on an sshfs mount (not a test): the
# tree served by the netfs tools' sshd, mounted afresh through their delay
# proxy for every command, sshfs in the foreground with its debug output, whose
# request lines are counted by type. Two builds side by side, the same steps
# as refresh.sh: first --no-size, rerun, rerun after 10 pictures added to the
# last folder, first sizes, rerun sizes. Prints requests per catalogue page.
#
# Usage: bench/sftp_requests.sh AFTER_BUILD BEFORE_BUILD TREE [ONE_WAY_US]
# Environment: NETFS (folder of the netfs tools, setup.sh run already), and
# their WORK, SSHD_PORT, PROXY_PORT.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 AFTER_BUILD BEFORE_BUILD TREE [ONE_WAY_US]" >&2; exit 1; }
after=$(cd "$1" && pwd)
before=$(cd "$2" && pwd)
tree=$(cd "$3" && pwd)
us=${4:-325}
: "${NETFS:?set NETFS to the folder of the netfs tools}"
export WORK=${WORK:-/tmp/kavo-netfs} SSHD_PORT=${SSHD_PORT:-42022} PROXY_PORT=${PROXY_PORT:-42122}
name=$(basename "$tree")
served=$WORK/tmpfs/export/$name
[ -e "$served" ] || cp -a "$tree" "$served"
here=$(cd "$(dirname "$0")" && pwd)

mounted() {  # mounted LOG: proxy and sshfs in the foreground, debug output to LOG
    setsid "$WORK/bin/delayproxy" "$PROXY_PORT" "$SSHD_PORT" "$us" >"$WORK/proxy.log" 2>&1 &
    proxy=$!
    sleep 0.2
    sshfs -f -F "$WORK/sshd/ssh_config" -o sshfs_debug "netfs:$WORK/tmpfs/export" "$WORK/mnt" 2>"$1" &
    client=$!
    for _ in $(seq 50); do mountpoint -q "$WORK/mnt" && break; sleep 0.1; done
    sleep 0.2
    from=$(stat -c %s "$1")  # the requests of the mount itself are not the program's
}
unmounted() {
    fusermount3 -u "$WORK/mnt"
    wait "$client" 2>/dev/null || true
    kill "$proxy" 2>/dev/null || true
    wait "$proxy" 2>/dev/null || true
}
last_folder() {
    python3 - "$1" <<'PY'
import os, sys
path = sys.argv[1]
while True:
    subs = sorted((e for e in os.listdir(path) if os.path.isdir(os.path.join(path, e)) and e != "kavo"), key=str.lower)
    if not subs:
        print(path)
        break
    path = os.path.join(path, subs[-1])
PY
}
clear() { rm -rf "$served/kavo" "$served/index.html"; }
added=$(last_folder "$served")
add_ten() { for i in $(seq -w 0 9); do cp "$here/templates/baseline-64x48.jpg" "$added/zz-added-$i.jpg"; done; }
remove_ten() { rm -f "$added"/zz-added-*.jpg; }

log=$WORK/requests.log
printf '%-8s %-22s %6s %9s %9s  %s\n' build step pages requests per-page "by type (per page)"
for build in before after; do
    cli=$before/bin/kavo-cli
    [ $build = after ] && cli=$after/bin/kavo-cli
    for step in "first --no-size" "rerun --no-size" "--no-size after +10" "first sizes" "rerun sizes"; do
        case $step in
            "first --no-size") clear ;;
            "--no-size after +10") add_ten ;;
            "first sizes") remove_ten; clear ;;
        esac
        args=(-q)
        [[ $step == *no-size* ]] && args+=(--no-size)
        mounted "$log"
        "$cli" "${args[@]}" "$WORK/mnt/$name" >/dev/null
        sleep 0.3
        unmounted
        pages=$(find "$served/kavo" -maxdepth 1 -name 'page*.html' | wc -l)
        python3 - "$log" "$build" "$step" "$pages" "$from" <<'PY'
import collections, re, sys
log, build, step, pages, start = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
with open(log, "rb") as f:
    f.seek(start)
    lines = f.read().decode(errors="replace").splitlines()
kinds = collections.Counter(m.group(1) for line in lines
                            for m in [re.match(r"\s*\[\d+\] ([A-Z_]+)$", line)] if m and not line.startswith(" "))
total = sum(kinds.values())
top = ", ".join(f"{k} {v / pages:.1f}" for k, v in kinds.most_common(8))
print(f"{build:8s} {step:22s} {pages:6d} {total:9d} {total / pages:9.1f}  {top}")
PY
    done
    remove_ten
    clear
done
