#!/usr/bin/env bash
# Speed and memory of keywatch-log summary and csv on a large log: writes a
# log of about SIZE_MB megabytes (default 1024) by repeating the demo flight's
# event lines with times moved on by one second per repetition, after the
# flight's own Reset lines, then reads it with each command and reports MB/s
# and the largest resident set (/usr/bin/time -v). Not a test: run it by hand.
#
#   bench/keywatch-log-bench.sh [BUILD_DIR [SIZE_MB]]     (default build/native 1024)
#
# Needs BUILD_DIR/keywatch-sim (to fly the demo) and BUILD_DIR/keywatch-log.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/native}" && pwd)
size_mb=${2:-1024}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && "$build/keywatch-sim" "$repo/examples/demo-flight.txt" >/dev/null)
echo "writing a ${size_mb} MB log in $work ..."
python3 - "$work/Key_Events_Sent.log" "$size_mb" <<'PY'
import re, sys
path, size_mb = sys.argv[1], int(sys.argv[2])
lines = open(path, "rb").read().split(b"\r\n")
time = re.compile(rb"^( Time= ?)([0-9]+)\.([0-9]{6})(.*)$")
head, body = [], []
for line in lines:
    m = time.match(line)
    if m and (body or b"event_in" in line):
        body.append((m.group(1), int(m.group(2)) * 1000000 + int(m.group(3)), m.group(4)))
    elif not body:
        head.append(line)
with open(path, "wb") as out:
    out.write(b"\r\n".join(head))
    target = size_mb * 1024 * 1024
    written, k = 0, 0
    while written < target:
        chunk = b"".join(b"\r\n%s%d.%06d%s" % (a, (t + k * 1000000) // 1000000,
                                               (t + k * 1000000) % 1000000, rest)
                         for a, t, rest in body)
        out.write(chunk)
        written += len(chunk)
        k += 1
PY
bytes=$(stat -c %s "$work/Key_Events_Sent.log")
echo "log: $bytes bytes, $(( bytes / 1024 / 1024 )) MB"

measure() {
    local name=$1
    shift
    # Once to bring the file into the page cache, then the measured run.
    "$@" >/dev/null 2>&1
    /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null
    local wall cpu rss
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt" |
        awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$work/time.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    # MB/s by the wall clock, and by the processor time the program used
    # (the two differ when other work shares the machine).
    awk -v n="$name" -v b="$bytes" -v w="$wall" -v c="$cpu" -v r="$rss" 'BEGIN {
        mb = b / 1048576
        printf "%-8s wall %6.2f s %7.1f MB/s   cpu %6.2f s %7.1f MB/s   max RSS %5.1f MB  %s\n",
               n, w, mb / w, c, mb / c, r / 1024,
               (mb / w >= 100 && r / 1024 < 20) ? "(meets >= 100 MB/s, < 20 MB)" : "(MISSES >= 100 MB/s by the wall clock, or < 20 MB)"
    }'
}
measure summary "$build/keywatch-log" summary "$work/Key_Events_Sent.log"
measure csv "$build/keywatch-log" csv "$work/Key_Events_Sent.log" -o /dev/null
