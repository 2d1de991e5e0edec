#!/usr/bin/env bash
# Native checks of the picture library's core: builds it with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the unit tests, then one bounded libFuzzer run per picture type
# over the corpus kept in imgctl/fuzz/corpus (IMGCTL_FUZZ_SECONDS each, default 30; 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
seconds=${IMGCTL_FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S imgctl/native -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2 >/dev/null
build/native/imgctl_core_tests --gtest_brief=1

[ "$seconds" -gt 0 ] || exit 0
findings=build/native/fuzz-findings
rm -rf "$findings"
mkdir -p "$findings"
for type in jpeg png gif bmp; do
  work=build/native/fuzz-corpus/$type
  mkdir -p "$work"
  echo "imgctl fuzz: $type for ${seconds}s"
  # New inputs go to the work folder; the kept corpus is only read. A finding stops the run.
  if ! build/native/fuzz_$type -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=0 -artifact_prefix="$findings/$type-" "$work" imgctl/fuzz/corpus/$type \
      >"$findings/$type.log" 2>&1; then
    tail -n 40 "$findings/$type.log"
    echo "imgctl fuzz: $type found a fault; the input is in $findings"
    exit 1
  fi
  grep -E "^Done" "$findings/$type.log" || true
done
