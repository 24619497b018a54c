#!/bin/bash
# Sets up what is missing, builds, and runs every test: the native unit tests
# (ctest) and the end-to-end tests of the real program under Wine on a virtual
# display. Ends on one line 'N passed, N failed' counting both.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${TOVI_TEST_OUT:-$ROOT/out/test}
start=$(date +%s)
bash "$ROOT/tools/setup.sh" || exit 1
bash "$ROOT/tools/build.sh" all || { echo "0 passed, 1 failed"; exit 1; }
mkdir -p "$OUT"

echo "== native tests"
ctest --test-dir "$ROOT/build/native" --output-on-failure -j "$(nproc)" 2>&1 | tee "$OUT/ctest.log"
native_total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$OUT/ctest.log" | tail -1)
native_failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$OUT/ctest.log" | tail -1)
native_total=${native_total:-0}
native_failed=${native_failed:-1}

echo "== fuzzing the data-folder checks and the picture reader"
fuzz_passed=0
fuzz_failed=0
if bash "$ROOT/tests/fuzz/run.sh" "${TOVI_FUZZ_SECONDS:-60}" 2>&1 | tee "$OUT/fuzz.log" | tail -5; [ "${PIPESTATUS[0]}" -eq 0 ]; then
    fuzz_passed=1
else
    fuzz_failed=1
fi

echo "== end-to-end tests under Wine"
bash "$ROOT/tests/e2e/run.sh" "$ROOT/build/win" "$OUT/e2e" 2>&1 | tee "$OUT/e2e.log"
e2e_line=$(grep '^e2e: ' "$OUT/e2e.log" | tail -1)
e2e_passed=$(sed -n 's/^e2e: \([0-9]*\) passed, \([0-9]*\) failed.*/\1/p' <<<"$e2e_line")
e2e_failed=$(sed -n 's/^e2e: \([0-9]*\) passed, \([0-9]*\) failed.*/\2/p' <<<"$e2e_line")
e2e_passed=${e2e_passed:-0}
e2e_failed=${e2e_failed:-1}

passed=$((native_total - native_failed + fuzz_passed + e2e_passed))
failed=$((native_failed + fuzz_failed + e2e_failed))
echo "screenshots: $OUT/e2e/shots"
echo "time: $(( $(date +%s) - start )) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
