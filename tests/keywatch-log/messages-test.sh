#!/bin/sh
# keywatch-log's messages where the shell sets the scene, which
# check-output.cmake cannot: standard output closed (summary log >&-), and
# follow given a FIFO, which would block the open and then fail to seek.
#
#   sh messages-test.sh WORK_DIR KEYWATCH_LOG FIXTURES
set -u
work=$1 tool=$2 fixtures=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
failed=0

# expect NAME STATUS MESSAGE_PREFIX: the last command's status and message
expect() {
    if [ "$status" -ne "$2" ]; then
        echo "FAIL $1: exit status $status, expected $2"
        failed=1
    fi
    case $err in
    "$3"*) echo "ok   $1" ;;
    *)
        echo "FAIL $1: said: $err"
        failed=1
        ;;
    esac
}

# With standard output closed, the log may take its number: the output is
# not the file being read, it cannot be written.
err=$("$tool" summary "$fixtures/sessions.log" 2>&1 >&-)
status=$?
expect "standard output closed" 2 "keywatch-log: cannot write to standard output: "

mkfifo "$work/fifo"
err=$(timeout 20 "$tool" follow "$work/fifo" 2>&1 >/dev/null)
status=$?
expect "follow a FIFO" 2 "keywatch-log: cannot follow $work/fifo: it is not a regular file"

exit $failed
