#!/bin/sh
# keywatch-log follow, run in the background while this script writes the log
# the way the module does: it waits for a file that does not exist yet, shows
# each appended record once and soon, leaves out hidden names, and starts
# again when the file is truncated (shorter, and rewritten longer); then,
# with --from-start, shows the records already there.
#
#   follow-test.sh WORK_DIR KEYWATCH_LOG [RUNNER ARGS...]   (RUNNER: wine-run.sh PREFIX)
set -u
work=$1
shift
tool=$1
shift
rm -rf "$work"
mkdir -p "$work"
log="$work/Key_Events_Sent.log"
out="$work/stdout.txt"
err="$work/stderr.txt"
: >"$out"
: >"$err"

if [ $# -gt 0 ]; then
    "$@" "$tool" follow --hide 'TRIM' "$log" >"$out" 2>"$err" &
else
    "$tool" follow --hide 'TRIM' "$log" >"$out" 2>"$err" &
fi
pid=$!

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

# Start-up under Wine may take a while.
wait_for "$err" "waiting for" 60 || fail "no word that it waits for the missing file"

append "$CRLF$CRLF Time=1.000000; Aircraft Loaded Title=Baron; Type=Beech; Model=BE58$CRLF Time= 1.000001 Gauge Loaded= C:\\P3D\\keywatch_x64.dll" "Gauge Loaded="
append "$CRLF Time=1.100000; id=543; event_in=KEY_GEAR_UP; evdata=0" "KEY_GEAR_UP"
append "$CRLF Time=1.150000; id=71; event_in=KEY_ELEV_TRIM_DN; evdata=0$CRLF Time= 1.200000 id= 4101 event_in= User_Defined_Event evdata= 7" "User_Defined_Event"

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
if [ $# -gt 0 ]; then
    "$@" "$tool" follow --from-start "$log" >"$out" 2>"$err" &
else
    "$tool" follow --from-start "$log" >"$out" 2>"$err" &
fi
pid=$!
wait_for "$out" "evdata=6" 60 || fail "--from-start did not show the records already there"
sleep 0.2
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
got=$(tr -d '\r' <"$out")
[ "$got" = "$(printf '%s\n' "$expected" | tail -n 7)" ] ||
    fail "--from-start did not show the seven records there, once each, in order"
echo "follow: every record shown once, two truncations seen; --from-start shows what is there"
