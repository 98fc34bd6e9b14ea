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

# test_preset PRESET BUILD_LOG TEST_LOG JUNIT: configures and builds PRESET,
# then runs its tests, output to the two logs and the results to JUNIT (ctest's
# JUnit XML); returns 100 when the build failed, else ctest's status.
test_preset() {
  { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; } >"$2" 2>&1 || return 100
  ctest --preset "$1" --output-junit "$4" >"$3" 2>&1
}

# count_tests JUNIT: "PASSED FAILED" from ctest's JUnit XML: a test passed
# when it ran and passed; any other but a disabled one (failed, not run,
# skipped) counts as failed. Nothing when the file holds no result.
count_tests() {
  python3 - "$1" <<'PY'
import sys
import xml.etree.ElementTree as ET
try:
    cases = ET.parse(sys.argv[1]).getroot().iter("testcase")
except (OSError, ET.ParseError):
    sys.exit()
status = [case.get("status") for case in cases if case.get("status") != "disabled"]
if status:
    print(status.count("run"), len(status) - status.count("run"))
PY
}

# report_preset PRESET RESULT BUILD_LOG TEST_LOG JUNIT: shows how test_preset
# went and adds the tests' counts.
report_preset() {
  local preset=$1 result=$2 counts p f
  if [ "$result" -eq 100 ]; then
    cat "$3"; echo "=== $preset: BUILD FAILED"; status=1; summary+=("$preset: build failed"); return
  fi
  grep -E 'warning:' "$3" && { echo "=== $preset: compiler warnings (listed above)"; status=1; }
  echo "=== $preset: tests"
  cat "$4"
  [ "$result" -eq 0 ] || status=1
  counts=$(count_tests "$5")
  if [ -z "$counts" ]; then
    status=1; summary+=("$preset: no tests ran"); return
  fi
  read -r p f <<<"$counts"
  [ "$f" -eq 0 ] || status=1
  passed=$((passed + p)); failed=$((failed + f))
  summary+=("$preset: $p passed, $f failed")
}

# The Windows and fuzz builds leave cores idle at their serial steps
# (linking, the release zip, Wine's starts, the single-threaded fuzz run), so
# each builds and then runs its tests in the background while the sanitizer
# preset builds and tests. The Windows chain is the longest and ends in
# Wine's slow starts, so the sanitizer preset, whose tests keep both cores
# busy to the end, yields to it.
declare -A job result build_log test_log junit
for preset in windows fuzz sanitize; do
  build_log[$preset]=$(mktemp)
  test_log[$preset]=$(mktemp)
  junit[$preset]=$(mktemp)
done
echo "=== windows and fuzz: configure, build and test, in the background"
for preset in windows fuzz; do
  test_preset "$preset" "${build_log[$preset]}" "${test_log[$preset]}" "${junit[$preset]}" &
  job[$preset]=$!
done
echo "=== sanitize: configure, build and test"
renice -n 5 -p $$ >/dev/null
test_preset sanitize "${build_log[sanitize]}" "${test_log[sanitize]}" "${junit[sanitize]}"
result[sanitize]=$?
for preset in fuzz windows; do
  wait "${job[$preset]}"
  result[$preset]=$?
done
for preset in sanitize fuzz windows; do
  report_preset "$preset" "${result[$preset]}" "${build_log[$preset]}" "${test_log[$preset]}" \
    "${junit[$preset]}"
  rm -f "${build_log[$preset]}" "${test_log[$preset]}" "${junit[$preset]}"
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
