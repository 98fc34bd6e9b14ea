#!/usr/bin/env bash
# keywatch-log csv -o stopped while it writes by each signal that ends a
# process unless it is caught: Ctrl+C (SIGINT), a kill (SIGTERM), a closed
# terminal (SIGHUP), Ctrl+\ (SIGQUIT), SIGUSR1, an alarm, a limit reached,
# a real-time signal, and the crash signals sent by kill: the file it
# replaces keeps its old content, no temporary file stays beside it, and the
# run ends by that signal. The log comes through a FIFO that is held open,
# so the run is surely under way, its temporary file made, when the signal
# comes.
#
#   interrupt-test.sh WORK TOOL [RUNNER...]
#
# With a RUNNER (cmake/wine-run.sh and its prefix, for keywatch-log.exe),
# only Ctrl+C: Wine hands SIGINT to the program as the console's Ctrl+C
# event, and the program's exit status is then Wine's to choose.
set -u
# Job control: a job the script starts in the background then takes SIGINT
# as from a terminal, rather than ignoring it as such jobs otherwise do.
set -m
work=$1
tool=$2
shift 2
signals="INT TERM HUP QUIT USR1 USR2 ALRM VTALRM PROF XCPU XFSZ IO PWR STKFLT SYS RTMIN RTMAX TRAP ABRT SEGV BUS ILL FPE"
[ $# -eq 0 ] || signals=INT
# Under a sanitizer, a crash signal goes on to the sanitizer's handler,
# which reports it and exits with a status of its own.
crashes=" SEGV BUS FPE "
# SIGQUIT and the crash signals dump core by default: not here.
ulimit -c 0
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2
failures=0

for signal in $signals; do
    rm -f events.csv* log.fifo
    echo "old content" >events.csv
    mkfifo log.fifo
    "$@" "$tool" csv -o events.csv - <log.fifo 2>stderr.txt &
    pid=$!
    exec 3>log.fifo
    printf ' Time=1.000000; id=71; event_in=KEY_ELEV_TRIM_DN; evdata=0\r\n' >&3
    for _ in $(seq 100); do # up to 5 s for the temporary file to appear
        compgen -G 'events.csv.*.tmp' >/dev/null && break
        sleep 0.05
    done
    if ! compgen -G 'events.csv.*.tmp' >/dev/null; then
        echo "FAIL SIG$signal: no temporary file while the run was under way"
        failures=$((failures + 1))
    fi
    kill -s "$signal" "$pid"
    for _ in $(seq 100); do # up to 5 s for it to end
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL SIG$signal: still running 5 s after the signal"
        failures=$((failures + 1))
        kill -s KILL "$pid"
    fi
    wait "$pid"
    status=$?
    exec 3>&-
    left=$(compgen -G 'events.csv.*.tmp')
    if [ -n "$left" ]; then
        echo "FAIL SIG$signal: left $left"
        failures=$((failures + 1))
    elif [ "$(cat events.csv)" != "old content" ]; then
        echo "FAIL SIG$signal: events.csv now holds: $(head -c 200 events.csv)"
        failures=$((failures + 1))
    elif [ $# -eq 0 ] && [ "$status" -ne $((128 + $(kill -l "$signal"))) ] &&
        { [ "${crashes#* $signal }" = "$crashes" ] || [ "$status" -eq 0 ]; }; then
        echo "FAIL SIG$signal: exit status $status, not death by the signal"
        failures=$((failures + 1))
    else
        echo "PASS SIG$signal: the temporary file removed, events.csv as it was"
    fi
done
exit $((failures > 0))
