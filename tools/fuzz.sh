#!/usr/bin/env bash
# Runs every fuzz target for as long as you like, all at once at low priority:
#   tools/fuzz.sh [seconds per target, default 600] [target...]
# Each target starts from the committed seeds and from seeds of about 500 KB written into
# build/fuzz-seeds. New inputs collect in build/fuzz-work/TARGET (the committed seeds stay
# as they are); a crash leaves its input in build/fuzz-work as crash-*. Ends with each
# target's totals.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VANTOREL_BUILD:-$root/build}
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(parse number text digits scanner_diff)

"$root/tools/bootstrap.sh" || exit 1
cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build/native" --target "${targets[@]/%/_fuzzer}" >/dev/null || exit 1

python3 "$root/tools/make_fuzz_seeds.py" --large "$build/fuzz-seeds" || exit 1

export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
status=0
pids=()
for target in "${targets[@]}"; do
    work="$build/fuzz-work/$target"
    mkdir -p "$work"
    (cd "$build/fuzz-work" && nice -n 19 "$build/native/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/fuzz-work/$target-" \
        "$work" "$root/fuzz/corpus/$target" "$build/fuzz-seeds/$target" >"$build/fuzz-work/$target.log" 2>&1) &
    pids+=($!)
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || status=1
    target=${targets[$i]}
    echo "== $target: $(grep -E '^(Done|stat::number_of_executed_units)' "$build/fuzz-work/$target.log" | tr '\n' ' ')"
    grep -E '^#[0-9]+ +(DONE|pulse|NEW)' "$build/fuzz-work/$target.log" | tail -n 1
    grep -E 'ERROR|SUMMARY' "$build/fuzz-work/$target.log" | head -n 5
done
exit $status
