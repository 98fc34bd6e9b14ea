#!/bin/sh
# keywatch-log.exe in a console of its own, as a double-click in Explorer
# starts it: it says where it looked for the log and waits for Enter before
# it ends, after a command too. Wine gives a program started on a terminal
# a console of its own (no other process in it), so the program runs under
# script(1), on a terminal, and Enter is typed into it once it asks.
#
#   console-test.sh WORK_DIR KEYWATCH_LOG_EXE FIXTURES RUNNER PREFIX   (RUNNER: wine-run.sh)
#
# What this cannot show: Explorer itself, and a command prompt's console,
# which the program shares with cmd.exe (two processes, so no waiting);
# the unit tests hold the decision to those counts.
set -u
work=$1
tool=$2
fixtures=$3
runner=$4
prefix=$5
rm -rf "$work"
mkdir -p "$work/no-log" "$work/with-log" "$work/documents"
cp "$fixtures/sessions.log" "$work/with-log/Key_Events_Sent.log"
# The prefix's Documents folder, for this test alone (wine-run.sh).
KEYWATCH_DOCUMENTS=$(printf 'Z:%s/documents' "$work" | tr / '\\')
export KEYWATCH_DOCUMENTS
out="$work/terminal.txt"
now_ms() { echo $(($(date +%s%N) / 1000000)); }

fail() {
    echo "FAIL $case: $*"
    echo "--- the terminal:"
    tr -d '\r' <"$out" | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g'
    [ -z "${pid:-}" ] || kill "$pid" 2>/dev/null
    exit 1
}

# shown TEXT SECONDS: until the terminal shows TEXT (a fixed string).
shown() {
    limit=$(($(now_ms) + $2 * 1000))
    until tr -d '\r' <"$out" | grep -qF -- "$1"; do
        [ "$(now_ms)" -lt "$limit" ] || return 1
        sleep 0.1
    done
}

# in_console FOLDER STATUS ARGS...: keywatch-log ARGS in FOLDER, on a
# terminal; it must ask for Enter, still run a second later, and end with
# STATUS once Enter is typed. What it showed is in $out.
in_console() {
    folder=$1
    status=$2
    shift 2
    rm -f "$work/keys"
    mkfifo "$work/keys"
    (cd "$folder" && script -qec "$(printf '%s ' "$runner" "$prefix" "$tool" "$@")" /dev/null \
        <"$work/keys" >"$out" 2>&1) &
    pid=$!
    exec 3>"$work/keys"
    shown "Press Enter to close this window." 60 || fail "it never asked for Enter"
    sleep 1
    kill -0 "$pid" 2>/dev/null || fail "it ended without waiting for Enter"
    printf '\r' >&3
    limit=$(($(now_ms) + 10000))
    while kill -0 "$pid" 2>/dev/null; do
        [ "$(now_ms)" -lt "$limit" ] || fail "still running 10 s after Enter"
        sleep 0.1
    done
    wait "$pid"
    ended=$?
    exec 3>&-
    pid=
    [ "$ended" -eq "$status" ] || fail "exit status $ended, expected $status"
}

case="double-clicked, no log anywhere"
in_console "$work/no-log" 2
shown "It found no Key_Events_Sent.log; it looked in:" 0 || fail "it did not say where it looked"
shown "Key_Events_Sent.log (the current folder)" 0 || fail "the current folder is not listed"
shown "keywatch-log summary" 0 || fail "it did not say how to run it"
echo "PASS $case"

case="double-clicked, a log in its folder"
in_console "$work/with-log" 2
shown "Without a file, the commands read the log at" 0 || fail "it did not say where the log is"
echo "PASS $case"

case="a shortcut with a command"
in_console "$work/with-log" 0 summary
shown "keywatch-log: reading Key_Events_Sent.log" 0 || fail "it did not say which log it read"
shown "3 sessions, 52 lines in all" 0 || fail "no summary"
echo "PASS $case"
