#!/bin/bash
# Sets up what is missing, builds, and runs every test: the native unit tests
# (ctest), the same suite built with AddressSanitizer and
# UndefinedBehaviorSanitizer, the tests that run tools, the route display and
# the loader on their threads built with ThreadSanitizer, the kill sweep of the
# commands that write a piece of work, the fuzz targets, the check that the
# Windows release is the same bytes from two folders, and the end-to-end
# tests of the real program under Wine on a virtual display.
# Ends on one line 'N passed, N failed' counting them all.
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

# The sanitizer builds run the test binary once, whole or filtered, and stop
# at the first finding; their tests are counted from its output. A finding
# (or any other abnormal end) after the last test counts as one failure.
SAN="$ROOT/tools/sanitizers"
JOBS=${JOBS:-$(nproc)}
# Without address-space randomisation: the sanitizers' fixed shadow mappings
# then never meet a library mapped at random by a newer kernel.
NO_ASLR=()
setarch "$(uname -m)" -R true 2>/dev/null && NO_ASLR=(setarch "$(uname -m)" -R)
san_passed=0
san_failed=0
sanitized_run() {  # name sanitizers targets gtest-filter
    local name=$1 build="$ROOT/build/$1" log="$OUT/$1.log" rc=0
    echo "== native tests with -fsanitize=$2${4:+ ($4)}"
    if ! { cmake -S "$ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVI_SANITIZE="$2" >/dev/null &&
           ninja -C "$build" -j "$JOBS" $3 >"$OUT/$1-build.log" 2>&1; }; then
        tail -30 "$OUT/$1-build.log"
        echo "$name: the build failed"
        san_failed=$((san_failed + 1))
        return
    fi
    "${NO_ASLR[@]}" "$build/tovi_tests" ${4:+--gtest_filter="$4"} >"$log" 2>&1 || rc=$?
    local ok bad
    ok=$(grep -c '^\[       OK \]' "$log")
    bad=$(grep -c '^\[  FAILED  \] .*([0-9]* ms)$' "$log")
    [ "$rc" -ne 0 ] && [ "$bad" -eq 0 ] && bad=1
    if [ "$rc" -ne 0 ]; then
        grep -E -A40 '^(==[0-9]+==ERROR|WARNING: ThreadSanitizer|.*runtime error:)' "$log" | head -80
        grep '^\[  FAILED  \]' "$log" | head -20
    fi
    echo "$name: $ok passed, $bad failed (log: $log)"
    san_passed=$((san_passed + ok))
    san_failed=$((san_failed + bad))
}
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0 \
LSAN_OPTIONS=suppressions="$SAN/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    sanitized_run asan address,undefined "tovi_tests tovi-cli" ""
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    sanitized_run tsan thread tovi_tests "Tools_test.*:Display_test.*:Data_folder_test.*:Markers_test.*:Panel_test.*:Folder_writer_test.ALoad*:-Data_folder_test.ASaveThatFails*"

echo "== layers: no include goes up the house, no include cycle"
layers_passed=0
layers_failed=0
if python3 "$ROOT/tools/layers.py" "$ROOT" | tail -20; [ "${PIPESTATUS[0]}" -eq 0 ]; then layers_passed=1; else layers_failed=1; fi

echo "== kill sweep: writes killed at random moments load as the old or the new work"
sweep_passed=0
sweep_failed=0
bash "$ROOT/tools/kill_sweep.sh" "${TOVI_KILLS:-30}" 2>&1 | tee "$OUT/kill-sweep.log" | grep -v '^  '
sweep_line=$(tail -1 "$OUT/kill-sweep.log")
sweep_passed=$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1/p' <<<"$sweep_line")
sweep_failed=$(sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\2/p' <<<"$sweep_line")
sweep_passed=${sweep_passed:-0}
sweep_failed=${sweep_failed:-1}

echo "== fuzzing the data-folder checks and the picture reader"
fuzz_passed=0
fuzz_failed=0
if bash "$ROOT/tests/fuzz/run.sh" "${TOVI_FUZZ_SECONDS:-60}" 2>&1 | tee "$OUT/fuzz.log" | tail -5; [ "${PIPESTATUS[0]}" -eq 0 ]; then
    fuzz_passed=1
else
    fuzz_failed=1
fi

echo "== reproducible release: tovi.exe, tovi-cli.exe and the zip built in two folders are the same bytes"
repro_passed=0
repro_failed=0
if bash "$ROOT/tools/repro_check.sh" 2>&1 | tee "$OUT/repro.log" | tail -40; [ "${PIPESTATUS[0]}" -eq 0 ]; then
    repro_passed=1
else
    repro_failed=1
fi

echo "== end-to-end tests under Wine"
bash "$ROOT/tests/e2e/run.sh" "$ROOT/build/win" "$OUT/e2e" 2>&1 | tee "$OUT/e2e.log"
e2e_line=$(grep '^e2e: ' "$OUT/e2e.log" | tail -1)
e2e_passed=$(sed -n 's/^e2e: \([0-9]*\) passed, \([0-9]*\) failed.*/\1/p' <<<"$e2e_line")
e2e_failed=$(sed -n 's/^e2e: \([0-9]*\) passed, \([0-9]*\) failed.*/\2/p' <<<"$e2e_line")
e2e_passed=${e2e_passed:-0}
e2e_failed=${e2e_failed:-1}

passed=$((native_total - native_failed + san_passed + layers_passed + sweep_passed + fuzz_passed + repro_passed + e2e_passed))
failed=$((native_failed + san_failed + layers_failed + sweep_failed + fuzz_failed + repro_failed + e2e_failed))
echo "screenshots: $OUT/e2e/shots"
echo "time: $(( $(date +%s) - start )) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
