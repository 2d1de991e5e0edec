#!/usr/bin/env bash
# Native checks of the picture library's core: builds it with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the unit tests (the decoders' conformance tests among them), the
# tests of decoding on two threads once more under ThreadSanitizer, then
# bounded libFuzzer runs over the corpus kept in imgctl/fuzz/corpus: the whole pipeline once per
# picture type (each input also with an allocation of its decode failing), our JPEG and PNG decoders
# on their own at every scale (IMGCTL_FUZZ_SECONDS each, default 30), and the ICC profile reader
# (half that: its inputs are small); PNG CRCs are not checked in the fuzzing build; about three and
# a half minutes in all; 0 skips fuzzing.
# Inputs may reach 256 KiB, enough for files that stretch a decoder's work, and one that takes more
# than 10 s is reported: the corpus's largest well-formed pictures take 2 s in this build, the
# hostile files in it took a minute before their decoders were bounded.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
seconds=${IMGCTL_FUZZ_SECONDS:-30}

CC=clang CXX=clang++ cmake -S imgctl/native -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2 >/dev/null
build/native/imgctl_core_tests --gtest_brief=1
# The tests that decode on two threads, again under ThreadSanitizer.
CC=clang CXX=clang++ cmake -S imgctl/native -B build/native-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIMGCTL_TSAN=ON \
  -DIMGCTL_FUZZ=OFF >/dev/null
cmake --build build/native-tsan -j2 --target imgctl_thread_tests >/dev/null
TSAN_OPTIONS=halt_on_error=1 build/native-tsan/imgctl_thread_tests --gtest_brief=1

[ "$seconds" -gt 0 ] || exit 0
findings=build/native/fuzz-findings
rm -rf "$findings"
mkdir -p "$findings"
for fuzzer in jpeg png gif bmp jpeg_decoder png_decoder icc; do
  type=${fuzzer%_decoder}
  limit=$seconds
  [ "$fuzzer" != icc ] || limit=$(( (seconds + 1) / 2 ))
  work=build/native/fuzz-corpus/$fuzzer
  mkdir -p "$work"
  echo "imgctl fuzz: $fuzzer for ${limit}s"
  # New inputs go to the work folder; the kept corpus is only read. A finding stops the run.
  # A fixed seed (IMGCTL_FUZZ_SEED) makes a run from a fresh tree replay the same inputs.
  if ! build/native/fuzz_$fuzzer -seed="${IMGCTL_FUZZ_SEED:-1}" -max_total_time="$limit" -max_len=262144 -timeout=10 -rss_limit_mb=2560 \
      -print_final_stats=0 -artifact_prefix="$findings/$fuzzer-" "$work" imgctl/fuzz/corpus/$type \
      >"$findings/$fuzzer.log" 2>&1; then
    tail -n 40 "$findings/$fuzzer.log"
    echo "imgctl fuzz: $fuzzer found a fault; the input is in $findings"
    exit 1
  fi
  grep -E "^Done" "$findings/$fuzzer.log" || true
done
