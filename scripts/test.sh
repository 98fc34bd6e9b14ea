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

# build_preset PRESET LOG: configure and build, all output to LOG.
build_preset() {
  { cmake --preset "$1" >/dev/null && cmake --build --preset "$1"; } >"$2" 2>&1
}

# run_preset PRESET [BUILD_STATUS BUILD_LOG [TEST_LOG TEST_STATUS]]: builds
# PRESET and runs its tests, unless either already ran in the background
# with that status and output, and adds the tests' counts.
run_preset() {
  local preset=$1 built log
  log=${3:-$(mktemp)}
  if [ $# -ge 3 ]; then
    built=$2
  else
    echo "=== $preset: configure and build"
    build_preset "$preset" "$log"; built=$?
  fi
  if [ "$built" -ne 0 ]; then
    cat "$log"; echo "=== $preset: BUILD FAILED"; status=1; summary+=("$preset: build failed"); return
  fi
  grep -E 'warning:' "$log" && { echo "=== $preset: compiler warnings (listed above)"; status=1; }
  echo "=== $preset: tests"
  if [ $# -ge 4 ]; then # they ran in the background, with this status and output
    cat "$4" > "$log"; cat "$log"
    [ "$5" -eq 0 ] || status=1
  else
    ctest --preset "$preset" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  fi
  local line p f
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    status=1; summary+=("$preset: no tests ran"); return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  p=$(( $(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line") - f ))
  passed=$((passed + p)); failed=$((failed + f))
  summary+=("$preset: $p passed, $f failed (counted at $SECONDS s)")
  rm -f "$log"
}

# The Windows and fuzz builds leave cores idle at their serial steps
# (linking, the release zip, Wine's starts, the single-threaded fuzz run), so
# each builds and then runs its tests in the background while the sanitizer
# preset builds and tests.
declare -A job build_log test_log
echo "=== windows and fuzz: configure, build and test, in the background"
for preset in windows fuzz; do
  build_log[$preset]=$(mktemp)
  test_log[$preset]=$(mktemp)
  (
    build_preset "$preset" "${build_log[$preset]}" || exit 100
    ctest --preset "$preset" >"${test_log[$preset]}" 2>&1 || exit 1
  ) &
  job[$preset]=$!
done

# The Windows chain is the longest and ends in Wine's slow starts, so the
# sanitizer preset, whose tests keep both cores busy to the end, yields to it.
renice -n 5 -p $$ >/dev/null
run_preset sanitize
for preset in fuzz windows; do
  wait "${job[$preset]}"
  result=$?
  if [ "$result" -eq 100 ]; then
    run_preset "$preset" 1 "${build_log[$preset]}"
  else
    run_preset "$preset" 0 "${build_log[$preset]}" "${test_log[$preset]}" "$result"
  fi
  rm -f "${test_log[$preset]}"
done

# Same scenarios, same log from the Linux module and the DLL: one count per
# scenario; a run that ends without its count line counts as one failure.
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
summary+=("compare-logs: $p passed, $f failed (done at $SECONDS s)")
rm -f "$log"

echo
printf '%s\n' "${summary[@]}"
[ $((passed + failed)) -gt 0 ] || status=1
echo "all steps: $SECONDS s"
echo "keywatch: $passed passed, $failed failed"
exit $status
