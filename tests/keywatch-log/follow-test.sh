#!/bin/sh
# keywatch-log follow, run in the background while this script writes the log
# the way the module does: it waits for a file that does not exist yet, shows
# each appended record once and soon (a record cut short by a buffer flush
# too), leaves out hidden names, and starts again when the file is truncated
# (shorter, and rewritten longer); then, with --from-start, shows the records
# already there; matches a name pattern against a long name and passes over
# a line too long for a record; shows whole a record cut short when it
# started; and stops when the reader of its output goes.
#
#   follow-test.sh WORK_DIR KEYWATCH_LOG [RUNNER PREFIX]   (RUNNER: wine-run.sh)
set -u
work=$1
tool=$2
windows=${3:+yes}
runner=${3:-}
prefix=${4:-}
rm -rf "$work"
mkdir -p "$work"
log="$work/Key_Events_Sent.log"
out="$work/stdout.txt"
err="$work/stderr.txt"
: >"$out"
: >"$err"

# start_follow OUT ARGS...: keywatch-log follow ARGS in the background, its
# standard output to OUT and its standard error to $err; its process in $pid.
start_follow() {
    to=$1
    shift
    if [ -n "$windows" ]; then
        "$runner" "$prefix" "$tool" follow "$@" >"$to" 2>"$err" &
    else
        "$tool" follow "$@" >"$to" 2>"$err" &
    fi
    pid=$!
}

fail() {
    echo "FAIL: $*"
    echo "--- stdout:"
    cat "$out"
    echo "--- stderr:"
    cat "$err"
    kill "$pid" 2>/dev/null
    exit 1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# wait_for FILE TEXT SECONDS: until FILE holds TEXT (a fixed string)
wait_for() {
    limit=$(($(now_ms) + $3 * 1000))
    until grep -qF -- "$2" "$1"; do
        [ "$(now_ms)" -lt "$limit" ] || return 1
        kill -0 "$pid" 2>/dev/null || fail "keywatch-log follow ended"
        sleep 0.05
    done
}
# append TEXT NEEDLE: appends TEXT, waits until stdout shows NEEDLE, and fails
# when that takes more than 1.5 s (the program polls every 100 ms).
append() {
    start=$(now_ms)
    printf '%s' "$1" >>"$log"
    wait_for "$out" "$2" 5 || fail "'$2' never shown"
    took=$(($(now_ms) - start))
    echo "shown after $took ms: $2"
    [ "$took" -le 1500 ] || fail "'$2' took $took ms to show"
}
CRLF=$(printf '\r\nx')
CRLF=${CRLF%x}

start_follow "$out" --hide 'TRIM' "$log"
# Start-up under Wine may take a while.
wait_for "$err" "waiting for" 60 || fail "no word that it waits for the missing file"

append "$CRLF$CRLF Time=1.000000; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58$CRLF Time= 1.000001 Gauge Loaded= C:\\P3D\\keywatch_x64.dll" "Gauge Loaded="
append "$CRLF Time=1.100000; id=543; event_in=KEY_GEAR_UP; evdata=0" "KEY_GEAR_UP"
append "$CRLF Time=1.150000; id=71; event_in=KEY_ELEV_TRIM_DN; evdata=0$CRLF Time= 1.200000 id= 4101 event_in= User_Defined_Event evdata= 7" "User_Defined_Event"
# A record cut short where it already parses: the rest follows it on its line.
append "$CRLF Time=1.300000; id=161; event_in=KEY_THROTTLE_SET; evdata=16" "evdata=16"
sleep 0.3
printf '212' >>"$log"
append "$CRLF Time=1.400000; id=544; event_in=KEY_GEAR_DOWN; evdata=0" "KEY_GEAR_DOWN"

# A Reset: the file starts again, shorter than before.
append_reset() {
    start=$(now_ms)
    printf '%s' "$1" >"$log"
    wait_for "$out" "$2" 5 || fail "'$2' never shown after the truncation"
    echo "shown after $(($(now_ms) - start)) ms: $2"
}
append_reset "$CRLF Time= 2.000000 Gauge Refreshed= C:\\P3D\\keywatch_x64.dll$CRLF Time=2.000001; id=44; event_in=KEY_AP_MASTER; evdata=0" "KEY_AP_MASTER"
# Another Reset whose file is longer than the last by the time it is read.
more=""
for i in 1 2 3 4 5 6; do
    more="$more$CRLF Time=3.00000$i; id=216; event_in=KEY_PARKING_BRAKES; evdata=$i"
done
append_reset "$CRLF Time= 3.000000 Gauge Refreshed= D:\\Sim\\keywatch_x64.dll$more" "evdata=6"
sleep 0.4
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

expected="Time=1.000000; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58
Time= 1.000001 Gauge Loaded= C:\\P3D\\keywatch_x64.dll
Time=1.100000; id=543; event_in=KEY_GEAR_UP; evdata=0
Time= 1.200000 id= 4101 event_in= User_Defined_Event evdata= 7
Time=1.300000; id=161; event_in=KEY_THROTTLE_SET; evdata=16212
Time=1.400000; id=544; event_in=KEY_GEAR_DOWN; evdata=0
Time= 2.000000 Gauge Refreshed= C:\\P3D\\keywatch_x64.dll
Time=2.000001; id=44; event_in=KEY_AP_MASTER; evdata=0
Time= 3.000000 Gauge Refreshed= D:\\Sim\\keywatch_x64.dll"
for i in 1 2 3 4 5 6; do
    expected="$expected
Time=3.00000$i; id=216; event_in=KEY_PARKING_BRAKES; evdata=$i"
done
got=$(tr -d '\r' <"$out")
[ "$got" = "$expected" ] || fail "standard output is not each record once, in order; expected:
$expected"
truncations=$(grep -c "was truncated" "$err")
[ "$truncations" -eq 2 ] || fail "$truncations truncations reported, expected 2"

# --from-start: the records already in the file (the last Reset's) first.
out="$work/from-start.txt"
: >"$out"
start_follow "$out" --from-start "$log"
wait_for "$out" "evdata=6" 60 || fail "--from-start did not show the records already there"
sleep 0.2
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
got=$(tr -d '\r' <"$out")
[ "$got" = "$(printf '%s\n' "$expected" | tail -n 7)" ] ||
    fail "--from-start did not show the seven records there, once each, in order"

# A pattern against a name of 50 KB, which must cost no more than its length,
# and a line longer than any record (1 MiB), which is passed over; an add-on
# event named by --names, shown by its name, which the pattern matches.
log="$work/patterns.log"
out="$work/patterns.txt"
: >"$out"
long_name=$(head -c 50000 /dev/zero | tr '\0' A)
{
    printf '%s' "$CRLF Time= 1.000000 Gauge Refreshed= C:\\P3D\\keywatch_x64.dll"
    printf '%s' "$CRLF Time=1.100000; id=1; event_in=$long_name; evdata=0$CRLF"
    head -c 1100000 /dev/zero | tr '\0' x
    printf '%s' "$CRLF Time=1.200000; id=2; event_in=KEY_AXIS_ELEVATOR_SET; evdata=5"
    printf '%s' "$CRLF Time= 1.250000 id= 4101 event_in= User_Defined_Event evdata= 7"
    printf '%s' "$CRLF Time=1.300000; id=3; event_in=KEY_GEAR_UP; evdata=0"
    printf '%s' "$CRLF Time= 1.400000 Logging Stopped"
} >"$log"
printf '#define ACME_X (THIRD_PARTY_EVENT_ID_MIN + 5)\n' >"$work/names.h"
start_follow "$out" --from-start --only 'A*X' --names "$work/names.h" "$log"
wait_for "$out" "Logging Stopped" 60 || fail "--only 'A*X' did not show the records after a long name"
kill -0 "$pid" 2>/dev/null || fail "keywatch-log follow ended"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
expected="Time= 1.000000 Gauge Refreshed= C:\\P3D\\keywatch_x64.dll
Time=1.200000; id=2; event_in=KEY_AXIS_ELEVATOR_SET; evdata=5
Time= 1.250000 id= 4101 event_in= ACME_X (User_Defined_Event) evdata= 7
Time= 1.400000 Logging Stopped"
got=$(tr -d '\r' <"$out")
[ "$got" = "$expected" ] || fail "--only 'A*X' did not show the four records that pass it; expected:
$expected"
grep -q "not a keywatch record: a line of over 1 MiB" "$err" ||
    fail "the line of 1.1 MB was not reported as too long"

# A record the module had only begun to write (a flush cut it) when follow
# started: when the rest comes, the whole record shows, and nothing is
# reported; cut where it does not parse yet, and where it does. Without
# --from-start follow shows nothing until then, so when it has first looked
# at the file cannot be seen: it is given a while before the rest comes,
# and records are appended after it until one shows. Should the first shown
# be one of those, follow looked only after the rest came (the record was
# complete then, and not new): it is tried again, given longer.
log="$work/cut.log"
out="$work/cut.txt"
# append_until_shown SECOND ID NAME: appends a record of NAME (time SECOND
# and a fraction, data and fraction counting up) every half second until
# standard output shows a record, then stops follow.
append_until_shown() {
    limit=$(($(now_ms) + 60000))
    i=0
    until grep -q "evdata=" "$out"; do
        [ "$(now_ms)" -lt "$limit" ] || fail "no record appended shows"
        kill -0 "$pid" 2>/dev/null || fail "keywatch-log follow ended"
        i=$((i + 1))
        printf "$CRLF Time=$1.%06d; id=$2; event_in=$3; evdata=%d" "$i" "$i" >>"$log"
        sleep 0.5
    done
    sleep 0.3
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}
# cut_short BEGUN REST: the log ends in BEGUN when follow starts, then REST
# comes.
cut_short() {
    whole="$1$2"
    for wait in 1 5 20; do
        printf '%s' "$CRLF$CRLF Time=0.500000; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58$CRLF $1" >"$log"
        : >"$out"
        start_follow "$out" "$log"
        sleep "$wait"
        printf '%s' "$2" >>"$log"
        append_until_shown 2 6 KEY_B
        ! grep -q "not a keywatch record" "$err" || fail "the record cut when follow started was reported"
        first=$(head -n 1 "$out" | tr -d '\r')
        [ "$first" != "$whole" ] || break
        case $first in
        *id=6*) echo "follow looked at $log only after the rest of the record came; again" ;;
        *) fail "the record cut when follow started did not show whole; shown first: $first" ;;
        esac
    done
    [ "$first" = "$whole" ] || fail "follow never looked at $log before the rest of the record came"
}
cut_short "Time=1.000000; id=5; event_" "in=KEY_A; evdata=1"
cut_short "Time=1.000000; id=5; event_in=KEY_A; evdata=1" "6"
# And a record whole when follow starts (the last, which has no line end
# yet) is not shown when the next come.
: >"$out"
start_follow "$out" "$log"
append_until_shown 3 7 KEY_C
! grep -q "KEY_B" "$out" || fail "the record that was whole and last when follow started shows"
echo "a record cut short when follow started shows whole; one whole does not show"

# The reader of follow's output goes away: follow stops, with status 0. On
# Linux it sees the closed pipe while it waits; on Windows only when it next
# writes, so there a record is appended.
log="$work/pipe.log"
out="$work/head.txt"
fifo="$work/fifo"
mkfifo "$fifo"
# (It ends in a line end, so all of it is written at once, before head goes.)
printf '%s' "$CRLF Time= 1.000000 Gauge Refreshed= C:\\P3D\\keywatch_x64.dll$CRLF Time= 1.000001 Logging Started$CRLF Time= 1.000002 Logging Stopped$CRLF" >"$log"
head -n 2 <"$fifo" >"$out" &
start_follow "$fifo" --from-start "$log"
limit=$(($(now_ms) + 60000))
until [ "$(wc -l <"$out")" -ge 2 ]; do
    [ "$(now_ms)" -lt "$limit" ] || fail "head never read two lines"
    sleep 0.05
done
[ -z "$windows" ] || printf '%s' "$CRLF Time= 1.000003 Logging Started" >>"$log"
limit=$(($(now_ms) + 3000))
while kill -0 "$pid" 2>/dev/null; do
    [ "$(now_ms)" -lt "$limit" ] || fail "follow still runs 3 s after the reader of its output went away"
    sleep 0.05
done
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "follow ended with status $status when its reader went away"
[ ! -s "$err" ] || fail "follow complained when its reader went away"

echo "follow: every record shown once, two truncations seen; --from-start shows what is there;"
echo "a long name and an overlong line passed, an add-on event named; follow stops when its reader goes"
