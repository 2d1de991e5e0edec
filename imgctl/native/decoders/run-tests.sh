#!/usr/bin/env bash
# Builds the picture library's decoders natively, runs their tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then fuzzes each decoder with libFuzzer for a bounded time.
# Usage: run-tests.sh [seconds per fuzzer, default 60]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=${IMGCTL_DECODERS_BUILD:-$root/build/native-decoders}
seconds=${1:-60}

cmake -S "$here" -B "$build/tests" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIMGCTL_SANITIZE=ON >/dev/null
cmake --build "$build/tests" -j2
"$build/tests/decoders_test"

cmake -S "$here" -B "$build/fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIMGCTL_FUZZ=ON >/dev/null
cmake --build "$build/fuzz" -j2
for target in jpeg png; do
  # Findings go to a scratch corpus; the seed corpus in the repository is only read.
  work="$build/fuzz/corpus-$target"
  mkdir -p "$work"
  echo "fuzzing $target for ${seconds}s"
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -rss_limit_mb=2560 -timeout=10 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/fuzz/$target-" \
    "$work" "$root/imgctl/fuzz/corpus/$target" 2>&1 | tail -n 12
done
