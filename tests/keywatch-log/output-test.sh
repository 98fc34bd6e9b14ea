#!/bin/sh
# keywatch-log csv -o where the file or its folder may not be written, and
# with the longest names a folder holds:
#
#   - a read-only file (mode 444) is refused as the shell's > refuses it, as
#     an ordinary user (root may write it, and does); under Wine, as
#     Windows refuses a file with the read-only attribute, which Wine gives
#     a file of mode 444;
#   - a file the user may write, in a folder the user may not, is refused
#     with the folder's refusal of the temporary file as the reason;
#   - output names of 248 and 255 bytes are written, and no temporary file
#     (however it is named) stays beside them.
#
# Every refused file keeps its content, and no temporary file is left.
#
#   output-test.sh WORK_DIR KEYWATCH_LOG FIXTURES [RUNNER PREFIX]   (RUNNER: wine-run.sh)
#
# The ordinary user is nobody (65534), through setpriv; the tests run as
# root, for whom file modes do not bite. Not under Wine, which refuses a
# prefix its user does not own.
set -u
work=$1
tool=$2
fixtures=$3
runner=${4:-}
prefix=${5:-}
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2
chmod 755 "$work"
cp "$fixtures/sessions.log" sessions.log
chmod 644 sessions.log
failures=0

# run [--user] ARGS...: keywatch-log csv --all sessions.log ARGS (as nobody
# with --user); standard error in $err, the exit status in $status.
run() {
    as=
    if [ "$1" = --user ]; then
        as="setpriv --reuid=65534 --regid=65534 --clear-groups"
        shift
    fi
    if [ -n "$runner" ]; then
        "$runner" "$prefix" "$tool" csv --all sessions.log "$@" >stdout.txt 2>stderr.txt
    else
        $as "$tool" csv --all sessions.log "$@" >stdout.txt 2>stderr.txt
    fi
    status=$?
    err=$(tr -d '\r' <stderr.txt)
}

fail() {
    echo "FAIL $case: $*"
    echo "--- stderr: $err"
    failures=$((failures + 1))
}

# refused FILE MESSAGE: the run ended with status 2, said MESSAGE (a shell
# pattern), and left FILE as it was and nothing beside it.
refused() {
    if [ "$status" -ne 2 ]; then
        fail "exit status $status, expected 2"
    elif ! case "$err" in $2) true ;; *) false ;; esac; then
        fail "expected the message: $2"
    elif [ "$(cat "$1")" != "old content" ]; then
        fail "$1 now holds: $(head -c 100 "$1")"
    elif [ "$(ls -A "$(dirname "$1")" | grep -vc '^old.csv$')" -ne 0 ]; then
        fail "left beside it: $(ls -A "$(dirname "$1")")"
    else
        echo "PASS $case"
    fi
}

# written FILE: the run ended with status 0 and FILE holds the CSV of
# sessions.log, with nothing else in its folder.
written() {
    if [ "$status" -ne 0 ]; then
        fail "exit status $status, expected 0"
    elif ! cmp -s "$1" "$fixtures/sessions-all.csv"; then
        fail "$1 does not hold the CSV of sessions.log"
    elif [ "$(ls -A "$(dirname "$1")" | wc -l)" -ne 1 ]; then
        fail "left beside it: $(ls -A "$(dirname "$1")" | grep -vxF "$(basename "$1")")"
    else
        echo "PASS $case"
    fi
}

mkdir read-only
echo "old content" >read-only/old.csv
chmod 444 read-only/old.csv
chmod 777 read-only
if [ -z "$runner" ]; then
    case="a read-only file, as an ordinary user"
    run --user -o read-only/old.csv
    refused read-only/old.csv "keywatch-log: cannot write read-only/old.csv: Permission denied"

    case="a read-only file, as root"
    run -o read-only/old.csv
    written read-only/old.csv

    case="a file that may be written, in a folder that may not"
    mkdir closed
    echo "old content" >closed/old.csv
    chmod 666 closed/old.csv
    chmod 555 closed
    run --user -o closed/old.csv
    refused closed/old.csv "keywatch-log: cannot write closed/old.csv: cannot create its temporary file closed/old.csv.*.tmp in that folder: Permission denied"
    chmod 755 closed
else
    case="a file with the read-only attribute"
    run -o read-only/old.csv
    refused read-only/old.csv "keywatch-log: cannot write read-only/old.csv: Permission denied"
fi

for length in 248 255; do
    case="an output name of $length bytes"
    mkdir "long-$length"
    name=$(printf "%0$((length - 4))d.csv" 0)
    run -o "long-$length/$name"
    written "long-$length/$name"
done

exit $((failures > 0))
