#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for FUZZ_SECONDS (default 30) over
# a scratch copy of its seed corpus in fuzz/corpus/. Prints the executions per
# second of every target; exits non-zero when any target reports a crash, a
# broken invariant, a leak or a time-out. Crashing inputs are kept in
# build-fuzz/fuzz-findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${FUZZ_SECONDS:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers

targets=(fuzz_sellerpage fuzz_categorypage fuzz_idstring fuzz_idpages fuzz_listfile
         fuzz_brand fuzz_versionreply fuzz_smtpsession)
work="$root/build-fuzz/fuzz-run"
findings="$root/build-fuzz/fuzz-findings"
rm -rf "$work"
mkdir -p "$work" "$findings"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan-suppressions.txt:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

failed=()
printf '%-20s %10s %10s %8s\n' target runs execs/s result
for target in "${targets[@]}"; do
    corpus="$work/corpus-$target"
    mkdir -p "$corpus" "$findings/$target"
    cp "fuzz/corpus/$target/"* "$corpus/"
    log="$work/$target.log"
    status=ok
    # -timeout: one input taking longer counts as a hang; -rss_limit_mb: runaway memory.
    # -max_len: the long seeds (limits at 32,767 characters, whole pages) would
    # make every mutation as long and the run some fifty times slower; they
    # are replayed whole by the test suite, here they are cut.
    if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -timeout=10 \
            -print_final_stats=1 -artifact_prefix="$findings/$target/" "$corpus" >"$log" 2>&1; then
        status=FAILED
    fi
    if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|invariant broken' "$log"; then
        status=FAILED
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    printf '%-20s %10s %10s %8s\n' "$target" "${runs:-?}" "${speed:-?}" "$status"
    if [[ $status != ok ]]; then
        failed+=("$target")
        echo "---- $target (log: $log) ----" >&2
        grep -E -A30 'ERROR:|runtime error:|invariant broken' "$log" | head -60 >&2 || tail -40 "$log" >&2
    fi
done

if ((${#failed[@]})); then
    echo "Fuzzing: FAILED in ${failed[*]} (inputs kept in $findings)" >&2
    exit 1
fi
echo "Fuzzing: no findings."
