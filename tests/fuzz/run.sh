#!/usr/bin/env bash
# Builds the fuzz targets with clang-14 under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a short, bounded time on its seed
# corpus. Fails on any finding. Usage: tests/fuzz/run.sh BUILD_DIR
# KAVO_FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 1
fi
cd "$(dirname "$0")/../.."
build=$1
seconds=${KAVO_FUZZ_SECONDS:-20}
seeds=tests/fuzz/corpus

if ! command -v clang++-14 >/dev/null ||
    ! compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
    echo "fuzz: clang-14 and libfuzzer-14-dev are needed (apt-get install clang-14 libfuzzer-14-dev)" >&2
    exit 1
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKAVO_FUZZ=ON -DKAVO_BUILD_GUI=OFF -DKAVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kavo_fuzzers

# Picture headers: the test pictures and a few extra seeds.
declare -A corpora=(
    [fuzz_image_size]="$seeds/image_size tests/data/pictures"
    [fuzz_text]="$seeds/text"
    [fuzz_names]="$seeds/names"
    [fuzz_thumbnail]="tests/data/pictures"
)
declare -A lengths=([fuzz_image_size]=8192 [fuzz_text]=1024 [fuzz_names]=512 [fuzz_thumbnail]=8192)

status=0
for target in fuzz_image_size fuzz_text fuzz_names fuzz_thumbnail; do
    work="$build/fuzz/corpus/$target"
    artifacts="$build/fuzz/artifacts/$target/"
    mkdir -p "$work" "$artifacts"
    echo "fuzz: $target for ${seconds}s"
    # New inputs go into the build folder; the committed seeds stay as they are.
    # shellcheck disable=SC2086
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="${lengths[$target]}" -print_final_stats=1 -artifact_prefix="$artifacts" \
        "$work" ${corpora[$target]} >"$build/fuzz/$target.log" 2>&1; then
        echo "fuzz: $target found a fault; see $build/fuzz/$target.log and $artifacts" >&2
        tail -n 40 "$build/fuzz/$target.log" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$build/fuzz/$target.log" | sed "s/^/fuzz: $target /" || true
    fi
done
exit $status
