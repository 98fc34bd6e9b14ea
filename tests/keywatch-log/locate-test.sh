#!/bin/sh
# keywatch-log without a file: summary, csv and follow read Key_Events_Sent.log
# from the current folder first, then from Documents/Prepar3D v4 Files, then
# (on Windows) from the simulator's folders the registry names, AppPath
# before SetupPath; they say which file they read, and when none holds the
# log they list where they looked and exit with status 2.
#
#   locate-test.sh WORK_DIR KEYWATCH_LOG FIXTURES [RUNNER PREFIX]   (RUNNER: wine-run.sh)
#
# On Linux the user folder is $HOME's, HOME a folder of WORK_DIR. Under Wine
# the prefix's Documents folder is set in its registry to a folder of
# WORK_DIR named in Cyrillic (outside the ANSI code page), with AppPath and
# SetupPath beside it; the prefix's registry is put back as it was at the
# end, so this must not run beside another test that changes it.
set -u
work=$1
tool=$2
fixtures=$3
runner=${4:-}
prefix=${5:-}
export LC_ALL=C.UTF-8
rm -rf "$work"
mkdir -p "$work/cwd"
out="$work/stdout.txt"
err="$work/stderr.txt"
log=Key_Events_Sent.log

fail() {
    echo "FAIL: $*"
    echo "--- stdout:"
    cat "$out"
    echo "--- stderr:"
    cat "$err"
    exit 1
}

# run COMMAND: keywatch-log COMMAND without a file, in WORK_DIR/cwd; its
# exit status in $status.
run() {
    if [ -n "$runner" ]; then
        (cd "$work/cwd" && "$runner" "$prefix" "$tool" "$@") >"$out" 2>"$err"
    else
        (cd "$work/cwd" && HOME="$work/home" "$tool" "$@") >"$out" 2>"$err"
    fi
    status=$?
    tr -d '\r' <"$err" >"$err.txt" && mv "$err.txt" "$err"
}

# expect STATUS ERR_TEXT [LAST_LINE]: the exit status, a line of standard
# error, and the last line of standard output.
expect() {
    [ "$status" = "$1" ] || fail "exit status $status, expected $1"
    grep -qxF -- "$2" "$err" || fail "standard error lacks: $2"
    if [ $# -gt 2 ]; then
        [ "$(tail -n 1 "$out" | tr -d '\r')" = "$3" ] || fail "standard output does not end in: $3"
    fi
}

if [ -z "$runner" ]; then
    docs="$work/home/Documents/Prepar3D v4 Files"
    shown_docs="$docs/$log"
else
    # Windows paths of this folder, and the registry set for the test. The
    # text of .reg files goes as UTF-16, which carries any name.
    windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
    docs_root="$work/Документы пилота"
    docs="$docs_root/Prepar3D v4 Files"
    shown_docs="$(windows_path "$docs")\\$log"
    mkdir -p "$work/app" "$work/setup"
    folders='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
    saved=$("$runner" "$prefix" reg query "$folders" /v Personal | tr -d '\r' |
        sed -n 's/^ *Personal *REG_EXPAND_SZ *//p')
    [ -n "$saved" ] || fail "no Documents folder in the prefix's registry"
    # reg_file FILE LINES: a .reg file of LINES (backslashes doubled by the caller).
    reg_file() {
        { printf '\377\376'; printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n' "$2" |
            iconv -f UTF-8 -t UTF-16LE; } >"$1"
    }
    doubled() { windows_path "$1" | sed 's/\\/\\\\/g'; }
    put_back() {
        reg_file "$work/restore.reg" "[$folders]
\"Personal\"=hex(2):$(printf '%s' "$saved" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v |
            tr -s ' \n' ',,' | sed 's/^,//; s/,$//'),00,00

[-HKEY_CURRENT_USER\\Software\\Lockheed Martin\\Prepar3D v4]

[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v4]"
        "$runner" "$prefix" regedit /S "$(windows_path "$work/restore.reg")"
    }
    trap put_back EXIT
    reg_file "$work/set.reg" "[$folders]
\"Personal\"=\"$(doubled "$docs_root")\"

[HKEY_CURRENT_USER\\Software\\Lockheed Martin\\Prepar3D v4]
\"AppPath\"=\"$(doubled "$work/app")\\\\\"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v4]
\"SetupPath\"=\"$(doubled "$work/setup")\""
    "$runner" "$prefix" regedit /S "$(windows_path "$work/set.reg")" || fail "regedit failed"
    cp "$fixtures/repeats.log" "$work/app/$log"
    cp "$fixtures/demo-windows.log" "$work/setup/$log"
fi
mkdir -p "$docs"
cp "$fixtures/addon.log" "$docs/$log"

# The current folder first.
cp "$fixtures/sessions.log" "$work/cwd/$log"
run summary
expect 0 "keywatch-log: reading $log" "3 sessions, 52 lines in all"

# A folder where the log should be is passed over: the user folder is next.
rm "$work/cwd/$log"
mkdir "$work/cwd/$log"
run summary
expect 0 "keywatch-log: reading $shown_docs" "2 sessions, 26 lines in all"
rmdir "$work/cwd/$log"

if [ -n "$runner" ]; then
    # Then the simulator's folder: AppPath, then SetupPath.
    rm "$docs/$log"
    run csv
    expect 0 "keywatch-log: reading $(windows_path "$work/app")\\$log"
    grep -q '^2,4.500000,key,216,KEY_PARKING_BRAKES,0' "$out" || fail "not the csv of AppPath's log"
    rm "$work/app/$log"
    run summary
    expect 0 "keywatch-log: reading $(windows_path "$work/setup")\\$log" "1 session, 56 lines in all"
    rm "$work/setup/$log"
else
    rm "$docs/$log"
fi

# Nowhere: every place is named, and follow does not wait for one of them.
run follow
expect 2 "keywatch-log: found no $log; looked in:"
grep -qxF "  $log (the current folder)" "$err" || fail "the current folder is not listed"
grep -qxF "  $shown_docs" "$err" || fail "the user folder is not listed"
if [ -n "$runner" ]; then
    grep -qF "$(windows_path "$work/app")\\$log (HKEY_CURRENT_USER" "$err" || fail "AppPath is not listed"
    grep -qF "$(windows_path "$work/setup")\\$log (HKEY_LOCAL_MACHINE" "$err" || fail "SetupPath is not listed"
fi
echo "keywatch-log finds the log: as expected"
