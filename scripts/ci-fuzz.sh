#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in ./build-fuzz (or $BUILD_DIR) and
# runs each for a bounded time ($FUZZ_SECONDS, default 30) on a copy of its
# seed corpus. A crash leaves its input in $build_dir/findings/ and fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh clang-14 libclang-rt-14-dev

build_dir="${BUILD_DIR:-build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"
targets=(fuzz_replyframer fuzz_descriptor fuzz_fieldrules fuzz_settings fuzz_scpi fuzz_discovery)

cmake -S . -B "$build_dir" -G Ninja -DMARDOCK_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target "${targets[@]}" -- -j"${JOBS:-2}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
findings="$build_dir/findings"
mkdir -p "$findings"
failed=()
for target in "${targets[@]}"; do
    name="${target#fuzz_}"
    work="$build_dir/corpus/$name"
    mkdir -p "$work"
    cp -n fuzz/corpus/"$name"/* "$work"/
    echo "== $target for ${seconds}s"
    if ! "$build_dir/bin/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$findings/$name-" \
        "$work" 2>"$build_dir/$target.log"; then
        tail -n 60 "$build_dir/$target.log"
        failed+=("$target")
    else
        grep -E "^(stat::number_of_executed_units|stat::new_units_added)" "$build_dir/$target.log" || true
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets that failed: ${failed[*]} (inputs in $findings)"
    exit 1
fi
