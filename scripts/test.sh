#!/usr/bin/env bash
# Builds keywatch for every target and runs every test: the native Linux
# build, the Windows x64 DLL under Wine, and the native build again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short fixed-seed run
# of the libFuzzer harness (clang). Installs what it lacks.
# Exits non-zero when any step or test fails, or when no test ran.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

passed=0
failed=0
status=0
summary=()

run_preset() {
  local preset=$1 log
  log=$(mktemp)
  echo "=== $preset: configure and build"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; } >"$log" 2>&1; then
    cat "$log"; echo "=== $preset: BUILD FAILED"; status=1; summary+=("$preset: build failed"); return
  fi
  grep -E 'warning:' "$log" && { echo "=== $preset: compiler warnings (listed above)"; status=1; }
  echo "=== $preset: tests"
  ctest --preset "$preset" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  local line p f
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    status=1; summary+=("$preset: no tests ran"); return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  p=$(( $(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line") - f ))
  passed=$((passed + p)); failed=$((failed + f))
  summary+=("$preset: $p passed, $f failed")
  rm -f "$log"
}

for preset in native windows sanitize fuzz; do
  run_preset "$preset"
done

# Same scenarios, same log from the Linux module and the DLL: one count per
# scenario; a run that ends without its count line counts as one failure.
echo "=== compare-logs: native and windows"
log=$(mktemp)
scripts/compare-logs.sh build/native build/windows 2>&1 | tee "$log"
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

echo
printf '%s\n' "${summary[@]}"
[ $((passed + failed)) -gt 0 ] || status=1
echo "keywatch: $passed passed, $failed failed"
exit $status
