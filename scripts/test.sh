#!/usr/bin/env bash
# Builds keywatch for both targets and runs every test: the Linux build
# under AddressSanitizer and UndefinedBehaviorSanitizer, the Windows x64 DLL
# under Wine, a short fixed-seed run of the libFuzzer harness (clang), and the
# log comparison of the two. Installs what it lacks.
#
# The Linux tests run once, in the sanitizer build, which sees everything the
# plain native build would and more; the optimised code is covered by the
# Windows build (-O2, the same compiler) and the fuzz build (-O2, clang).
# Exits non-zero when any step or test fails, or when no test ran.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

passed=0
failed=0
status=0
summary=()

# test_preset PRESET BUILD_LOG TEST_LOG: configures and builds PRESET, then
# runs its tests, output to the two logs; returns 100 when the build failed,
# else ctest's status.
test_preset() {
  { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; } >"$2" 2>&1 || return 100
  ctest --preset "$1" >"$3" 2>&1
}

# report_preset PRESET RESULT BUILD_LOG TEST_LOG: shows how test_preset went
# and adds the tests' counts.
report_preset() {
  local preset=$1 result=$2 line p f
  if [ "$result" -eq 100 ]; then
    cat "$3"; echo "=== $preset: BUILD FAILED"; status=1; summary+=("$preset: build failed"); return
  fi
  grep -E 'warning:' "$3" && { echo "=== $preset: compiler warnings (listed above)"; status=1; }
  echo "=== $preset: tests"
  cat "$4"
  [ "$result" -eq 0 ] || status=1
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$4" | tail -1)
  if [ -z "$line" ]; then
    status=1; summary+=("$preset: no tests ran"); return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  p=$(( $(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line") - f ))
  passed=$((passed + p)); failed=$((failed + f))
  summary+=("$preset: $p passed, $f failed")
}

# The Windows and fuzz builds leave cores idle at their serial steps
# (linking, the release zip, Wine's starts, the single-threaded fuzz run), so
# each builds and then runs its tests in the background while the sanitizer
# preset builds and tests. The Windows chain is the longest and ends in
# Wine's slow starts, so the sanitizer preset, whose tests keep both cores
# busy to the end, yields to it.
declare -A job result build_log test_log
for preset in windows fuzz sanitize; do
  build_log[$preset]=$(mktemp)
  test_log[$preset]=$(mktemp)
done
echo "=== windows and fuzz: configure, build and test, in the background"
for preset in windows fuzz; do
  test_preset "$preset" "${build_log[$preset]}" "${test_log[$preset]}" &
  job[$preset]=$!
done
echo "=== sanitize: configure, build and test"
renice -n 5 -p $$ >/dev/null
test_preset sanitize "${build_log[sanitize]}" "${test_log[sanitize]}"
result[sanitize]=$?
for preset in fuzz windows; do
  wait "${job[$preset]}"
  result[$preset]=$?
done
for preset in sanitize fuzz windows; do
  report_preset "$preset" "${result[$preset]}" "${build_log[$preset]}" "${test_log[$preset]}"
  rm -f "${build_log[$preset]}" "${test_log[$preset]}"
done

# Same scenarios, same log from the Linux module and the DLL: one count per
# scenario; a run that ends without its count line counts as one failure.
# Not run when either build failed, as it would play what an earlier build
# left behind.
if [ "${result[sanitize]}" -eq 100 ] || [ "${result[windows]}" -eq 100 ]; then
  status=1; failed=$((failed + 1))
  summary+=("compare-logs: not run, as a build failed")
else
  echo "=== compare-logs: Linux (the sanitizer build) and windows"
  log=$(mktemp)
  scripts/compare-logs.sh build/sanitize build/windows 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  line=$(grep -E '^compare-logs: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)
  if [ -n "$line" ]; then
    p=$(sed -E 's/^compare-logs: ([0-9]+) passed.*/\1/' <<<"$line")
    f=$(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")
  else
    p=0 f=1 status=1
  fi
  passed=$((passed + p)); failed=$((failed + f))
  summary+=("compare-logs: $p passed, $f failed")
  rm -f "$log"
fi

echo
printf '%s\n' "${summary[@]}"
[ $((passed + failed)) -gt 0 ] || status=1
echo "all steps: $SECONDS s"
echo "keywatch: $passed passed, $failed failed"
exit $status
