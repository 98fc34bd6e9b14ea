#!/usr/bin/env bash
# Same scenario, same log on both targets.
#
#   scripts/compare-logs.sh [NATIVE_BUILD_DIR [WINDOWS_BUILD_DIR]]
#
# (defaults build/native and build/windows, both already built). Plays every
# scenario under examples/ and tests/scenarios/ (not tests/scenarios/bad/,
# whose scripts are meant to be refused) twice, each time in a fresh
# directory: through NATIVE/keywatch-sim with keywatch_x64.so, and through
# WINDOWS/keywatch-sim.exe with keywatch_x64.dll under Wine. Then compares,
# byte for byte:
#   - Key_Events_Sent.log, after masking only what may rightly differ, with
#     the log mask the tests use (NATIVE/tests/log-mask): each record's time
#     and its module path, which must name that run's own module file. The
#     mask also checks that every line break is CR LF.
#   - the program's standard output (what show and hover print);
#   - every other file the runs wrote (face pictures from face commands).
# Both runs must also exit 0. Prints a diff for each mismatch and ends with
# "compare-logs: N passed, M failed"; exits non-zero when any scenario
# failed or none ran.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

native_dir=$(realpath -m "${1:-build/native}")
windows_dir=$(realpath -m "${2:-build/windows}")
native_sim=$native_dir/keywatch-sim
native_module=$native_dir/keywatch_x64.so
windows_sim=$windows_dir/keywatch-sim.exe
windows_module=$windows_dir/keywatch_x64.dll
log_mask=$native_dir/tests/log-mask
wine_run=$root/cmake/wine-run.sh
wine_prefix=$windows_dir/wineprefix
run_timeout=300 # seconds per run; a first Wine start takes a while

missing=0
for file in "$native_sim" "$native_module" "$windows_sim" "$windows_module" "$log_mask"; do
  if [ ! -f "$file" ]; then
    echo "compare-logs: $file is missing: build both targets first" >&2
    missing=1
  fi
done
if [ $missing -ne 0 ]; then
  echo "compare-logs: 0 passed, 1 failed"
  exit 2
fi

mapfile -t scenarios < <(find examples tests/scenarios -type f -name '*.txt' \
  -not -path 'tests/scenarios/bad/*' 2>/dev/null | LC_ALL=C sort)
if [ ${#scenarios[@]} -eq 0 ]; then
  echo "compare-logs: no scenarios found under examples/ or tests/scenarios/" >&2
  echo "compare-logs: 0 passed, 1 failed"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/compare-logs.XXXXXX")

# run_one SIDE SCENARIO DIR: plays SCENARIO in the fresh directory DIR, with
# a user's folder there too (HOME, or the Documents folder under Wine; see
# tests/kit/user_folder.h), so that no run reaches the real one.
run_one() {
  local side=$1 scenario=$2 dir=$3
  mkdir -p "$dir/run"
  if [ "$side" = native ]; then
    (cd "$dir/run" && HOME="$dir/home" timeout "$run_timeout" "$native_sim" \
      --module "$native_module" --dir "$dir/run" "$scenario") >"$dir/stdout" 2>"$dir/stderr"
  else
    (cd "$dir/run" && KEYWATCH_DOCUMENTS=$(printf 'Z:%s/documents' "$dir" | tr / '\\') \
      timeout "$run_timeout" "$wine_run" "$wine_prefix" "$windows_sim" \
      --module "$windows_module" --dir "$dir/run" "$scenario") >"$dir/stdout" 2>"$dir/stderr"
  fi
}

passed=0
failed=0
for scenario in "${scenarios[@]}"; do
  case_dir=$work/${scenario//\//_}
  problems=()
  run_one native "$root/$scenario" "$case_dir/native"
  native_rc=$?
  run_one windows "$root/$scenario" "$case_dir/windows"
  windows_rc=$?
  for side in native windows; do
    rc_var=${side}_rc
    if [ "${!rc_var}" -ne 0 ]; then
      problems+=("$side run exited ${!rc_var}: $(head -c 2000 "$case_dir/$side/stderr")")
    fi
  done

  native_log=$case_dir/native/run/Key_Events_Sent.log
  windows_log=$case_dir/windows/run/Key_Events_Sent.log
  if [ -f "$native_log" ] && [ -f "$windows_log" ]; then
    for side in native windows; do
      log_var=${side}_log module_var=${side}_module
      "$log_mask" --module "$(basename "${!module_var}")" "${!log_var}" \
        >"$case_dir/$side.log" 2>"$case_dir/$side.mask" ||
        problems+=("$side log: $(head -c 2000 "$case_dir/$side.mask")")
    done
    if ! cmp -s "$case_dir/native.log" "$case_dir/windows.log"; then
      problems+=("logs differ (masked; - native, + windows):
$(diff -u --label native --label windows "$case_dir/native.log" "$case_dir/windows.log" | head -60)")
    fi
  elif [ -f "$native_log" ] || [ -f "$windows_log" ]; then
    problems+=("only one run wrote a log (native: $([ -f "$native_log" ] && echo yes || echo no), windows: $([ -f "$windows_log" ] && echo yes || echo no))")
  fi

  # Anything else the runs wrote (face pictures) must match byte for byte.
  others=$( (cd "$case_dir/native/run" && find . -type f ! -name Key_Events_Sent.log;
             cd "$case_dir/windows/run" && find . -type f ! -name Key_Events_Sent.log) |
           LC_ALL=C sort -u)
  for file in $others; do
    if ! cmp -s "$case_dir/native/run/$file" "$case_dir/windows/run/$file"; then
      problems+=("${file#./} differs or was written by one run only")
    fi
  done

  if ! cmp -s "$case_dir/native/stdout" "$case_dir/windows/stdout"; then
    problems+=("standard output differs (- native, + windows):
$(diff -u --label native --label windows "$case_dir/native/stdout" "$case_dir/windows/stdout" | head -40)")
  fi

  if [ ${#problems[@]} -eq 0 ]; then
    echo "PASS $scenario"
    passed=$((passed + 1))
  else
    echo "FAIL $scenario"
    printf '%s\n' "${problems[@]}" | sed 's/^/  /'
    failed=$((failed + 1))
  fi
done

if [ $failed -eq 0 ]; then
  rm -rf "$work"
else
  echo "compare-logs: the runs are kept in $work"
fi
echo "compare-logs: $passed passed, $failed failed"
[ $failed -eq 0 ] && [ $passed -gt 0 ]
