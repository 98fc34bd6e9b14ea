#!/usr/bin/env bash
# Speed and memory of keywatch-log on a large log, as ratios measured in one
# run on one file: summary (bursts, steady repeats and tug-of-war included)
# and csv against `wc -l` (a floor: reading the file and finding its lines),
# summary --top 100000 and report against summary, the report page's size,
# and the largest resident set of every command, follow --from-start
# included. Not a test: run it by hand (the machine is shared, so figures
# from a timed test would be noise).
#
#   bench/keywatch-log-bench.sh [BUILD_DIR [SIZE_MB [ROUNDS]]]   (build/native 1024 5)
#
# It writes a log of about SIZE_MB megabytes by repeating the demo flight's
# event lines with times moved on by one second per repetition, after the
# flight's own Reset lines (or reads the log named by KWLOG_BENCH_LOG, and
# keeps it). Repeated so, the flight's throttle and altitude settings go back
# and forth all along: summary finds a tug-of-war of each, and looks for
# steady repeats at every event (a second apart, they make none). The file is read once first, into the page cache. Then ROUNDS
# rounds run every command once each, interleaved, so that a busy moment of
# the machine falls on all of them alike; a command's time is its best round
# (the one least disturbed), and the median is shown beside it.
#
# Targets: summary <= 2.5x wc -l; csv <= 4x; --top 100000 <= 1.2x summary;
# report <= 2x summary (at least half its speed) and a page under 2 MB;
# every command under 20 MB resident.
#
# Then the same on logs of many distinct events, where memory would grow
# with their number: KWLOG_BENCH_DISTINCT add-on ids (default 3000000, 0 to
# skip), each once, and as many data values of one event; every command
# (diff --data on the second) in ROUNDS rounds beside wc -l, under 20 MB
# resident. summary's ratio to wc -l is shown there too, without a target:
# every line of such a log is its own record, parsed in full.
#
# Needs BUILD_DIR/keywatch-sim (to fly the demo) and BUILD_DIR/keywatch-log,
# from the native (Release) preset. KWLOG_BENCH_BASELINE=PROGRAM adds another
# keywatch-log (an older build, say) to the same rounds, for comparison.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build/native}" && pwd)
size_mb=${2:-1024}
rounds=${3:-5}
tool=$build/keywatch-log
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -n "${KWLOG_BENCH_LOG:-}" ]; then
    log=$KWLOG_BENCH_LOG
else
    log=$work/Key_Events_Sent.log
    (cd "$work" && "$build/keywatch-sim" "$repo/examples/demo-flight.txt" >/dev/null)
    echo "writing a ${size_mb} MB log in $work ..."
    python3 - "$log" "$size_mb" <<'PY'
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
fi
bytes=$(stat -c %s "$log")
records=$(grep -c '^ Time=' "$log")
echo "log: $bytes bytes, $records records; $rounds rounds; $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
cat "$log" >/dev/null

# follow prints every record and its reader stops one line short of the
# last, which has no line end: follow then finds its reader gone and stops.
follow_from_start() {
    "$tool" follow --from-start "$log" | head -n $((records - 1)) >/dev/null
}

names=(wc summary top csv follow report)
declare -A command=(
    [wc]="wc -l $log"
    [summary]="$tool summary $log"
    [top]="$tool summary --top 100000 $log"
    [csv]="$tool csv $log -o /dev/null"
    [report]="$tool report $log -o $work/report.html"
)
baseline=${KWLOG_BENCH_BASELINE:-}
if [ -n "$baseline" ]; then
    names+=(base_summary base_csv)
    command[base_summary]="$baseline summary $log"
    command[base_csv]="$baseline csv $log -o /dev/null"
fi
declare -A walls cpus rss
for name in "${names[@]}"; do
    walls[$name]="" cpus[$name]="" rss[$name]=0
done
for round in $(seq "$rounds"); do
    for name in "${names[@]}"; do
        if [ "$name" = follow ]; then
            # The time of the pipeline; the resident set of keywatch-log alone.
            start=$(date +%s%N)
            /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" \
                "$tool" follow --from-start "$log" | head -n $((records - 1)) >/dev/null
            read -r _ user system kb <"$work/time.txt"
            wall=$(awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
        else
            /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" ${command[$name]} >/dev/null
            read -r wall user system kb <"$work/time.txt"
        fi
        walls[$name]+=" $wall"
        cpus[$name]+=" $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')"
        [ "$kb" -le "${rss[$name]}" ] || rss[$name]=$kb
    done
done

# best and median of a list of numbers
best() { tr ' ' '\n' <<<"$1" | grep . | sort -g | head -1; }
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo
printf '%-22s %9s %9s %9s %10s\n' "command" "best s" "median s" "cpu s" "max RSS"
for name in "${names[@]}"; do
    label=$name
    case $name in
    wc) label="wc -l" ;;
    top) label="summary --top 100000" ;;
    csv) label="csv -o /dev/null" ;;
    follow) label="follow --from-start" ;;
    report) label="report -o FILE" ;;
    base_summary) label="baseline summary" ;;
    base_csv) label="baseline csv" ;;
    esac
    printf '%-22s %9.2f %9.2f %9.2f %7.1f MB\n' "$label" "$(best "${walls[$name]}")" \
        "$(median "${walls[$name]}")" "$(best "${cpus[$name]}")" "$(awk -v k="${rss[$name]}" 'BEGIN { print k / 1024 }')"
done

echo
ratio() { # NAME BASE TARGET: the best times' ratio, and the medians'
    awk -v n="$(best "${walls[$1]}")" -v b="$(best "${walls[$2]}")" \
        -v mn="$(median "${walls[$1]}")" -v mb="$(median "${walls[$2]}")" -v t="$3" -v what="$4" 'BEGIN {
        r = n / b
        if (t == "-")
            printf "%-34s %5.2fx (medians %5.2fx)\n", what, r, mn / mb
        else
            printf "%-34s %5.2fx (medians %5.2fx)  target <= %sx  %s\n", what, r, mn / mb, t, r <= t ? "met" : "MISSED"
    }'
}
ratio summary wc 2.5 "summary / wc -l"
ratio csv wc 4 "csv / wc -l"
ratio top summary 1.2 "summary --top 100000 / summary"
ratio report summary 2 "report / summary"
awk -v b="$(stat -c %s "$work/report.html")" 'BEGIN {
    printf "%-34s %5.2f MB  target < 2 MB  %s\n", "report page", b / 1048576, b < 2 * 1048576 ? "met" : "MISSED"
}'
if [ -n "$baseline" ]; then
    ratio base_summary wc - "baseline summary / wc -l"
    ratio base_csv wc - "baseline csv / wc -l"
fi
for name in "${names[@]}"; do
    case $name in wc | base_*) continue ;; esac
    awk -v n="$name" -v k="${rss[$name]}" 'BEGIN {
        printf "%-34s %5.1f MB  target < 20 MB  %s\n", n " resident", k / 1024, k < 20 * 1024 ? "met" : "MISSED"
    }'
done

distinct=${KWLOG_BENCH_DISTINCT:-3000000}
[ "$distinct" -gt 0 ] || exit 0
echo
echo "writing logs of $distinct distinct add-on ids and of $distinct data values ..."
python3 - "$work/ids.log" "$work/data.log" "$distinct" <<'PY'
import sys
ids_path, data_path, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
head = (b"\r\n Time= 0.034654 Gauge Refreshed= C:\\P3D\\Gauges\\keywatch_x64.dll"
        b"\r\n Time= 0.034664 Logging Started")
for path, line in ((ids_path, b"\r\n Time= %d.%06d id= %d event_in= User_Defined_Event evdata= 3"),
                   (data_path, b"\r\n Time= %d.%06d id= 4138 event_in= User_Defined_Event evdata= %d")):
    with open(path, "wb") as out:
        out.write(head)
        for start in range(0, count, 100000):
            out.write(b"".join(line % (1 + i // 10000, i % 10000 * 100, 4096 + i if b"%d event_in" in line else i)
                               for i in range(start, min(count, start + 100000))))
PY
cat "$work/ids.log" "$work/data.log" >/dev/null
names=(wc summary csv report diff data follow)
declare -A command=(
    [wc]="wc -l $work/ids.log"
    [summary]="$tool summary $work/ids.log"
    [csv]="$tool csv $work/ids.log -o /dev/null"
    [report]="$tool report $work/ids.log -o $work/report.html"
    [diff]="$tool diff $work/ids.log $work/ids.log"
    [data]="$tool diff --data $work/data.log $work/data.log"
)
for name in "${names[@]}"; do
    walls[$name]="" rss[$name]=0
done
for round in $(seq "$rounds"); do
    for name in "${names[@]}"; do
        if [ "$name" = follow ]; then
            /usr/bin/time -f "%e %M" -o "$work/time.txt" \
                "$tool" follow --from-start "$work/ids.log" | head -n "$distinct" >/dev/null
        else
            /usr/bin/time -f "%e %M" -o "$work/time.txt" ${command[$name]} >/dev/null
        fi
        read -r wall kb <"$work/time.txt"
        walls[$name]+=" $wall"
        [ "$kb" -le "${rss[$name]}" ] || rss[$name]=$kb
    done
done
ratio summary wc - "distinct ids: summary / wc -l"
for name in "${names[@]}"; do
    [ "$name" != wc ] || continue
    label=$name
    [ "$name" != data ] || label="diff --data"
    awk -v n="distinct ids: $label" -v k="${rss[$name]}" 'BEGIN {
        printf "%-34s %5.1f MB  target < 20 MB  %s\n", n " resident", k / 1024, k < 20 * 1024 ? "met" : "MISSED"
    }'
done
