#!/bin/sh
# Builds the fuzzing target and runs it: first every seed and every saved
# regression input once, then new inputs for the given number of seconds
# (default 60). A crash, sanitizer report, leak, hang or a file written
# outside the scratch target ends it with the failing input saved under
# build/fuzz/ (move it to tests/fuzz/regressions/ with the fix).
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz=build/fuzz
rm -rf "$fuzz/seeds"
"$fuzz/bin/make_seeds" "$fuzz/seeds" >/dev/null
mkdir -p "$fuzz/corpus" "$fuzz/artifacts"
export ASAN_OPTIONS=detect_leaks=1
"$fuzz/bin/stub_fuzzer" -runs=0 "$fuzz/seeds" tests/fuzz/regressions 2>&1 | tail -3
"$fuzz/bin/stub_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -dict=tests/fuzz/stub.dict -artifact_prefix="$fuzz/artifacts/" -print_final_stats=1 \
  "$fuzz/corpus" "$fuzz/seeds" tests/fuzz/regressions 2>&1 |
  grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)|written outside|INFO: seed corpus" || true
# The exit status of the fuzzer itself decides.
"$fuzz/bin/stub_fuzzer" -runs=0 "$fuzz/artifacts" >/dev/null 2>&1 || {
  echo "the fuzzer found a failing input in $fuzz/artifacts"; exit 1; }
