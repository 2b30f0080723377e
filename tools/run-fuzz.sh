#!/bin/sh
# Builds the fuzzing targets and runs them: first every seed, the corpus in
# the repository and every saved regression once, then new inputs for the
# given number of seconds in all (default 60), shared among the targets.
# The in-memory targets (walk, text, reader, restart, engines) check the
# pure rules at tens of thousands of inputs a second; the stub target runs the whole
# stub on a scratch directory. A crash, sanitizer report, leak, hang or a
# broken invariant ends a target with the failing input saved under
# build/fuzz/artifacts/ (move it to tests/fuzz/regressions/ with the fix).
# With --merge the new inputs that reach more code are merged into the
# repository's corpus (tests/fuzz/corpus/TARGET).
set -e
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz=build/fuzz
rm -rf "$fuzz/seeds"
"$fuzz/bin/make_seeds" "$fuzz/seeds" >/dev/null
mkdir -p "$fuzz/artifacts"
export ASAN_OPTIONS=detect_leaks=1
targets="walk names command reader restart engines stub"
# The stub target is the slow one: it gets a larger share.
share=$((seconds / 8))
[ "$share" -ge 5 ] || share=5
total=0
status=0
for target in $targets; do
  time=$share
  [ "$target" = stub ] && time=$((seconds - 6 * share))
  [ "$time" -ge 5 ] || time=5
  corpus="$fuzz/corpus/$target"
  mkdir -p "$corpus" "tests/fuzz/corpus/$target"
  log="$fuzz/$target.log"
  # Names, commands and lists are short; installers are not.
  # installers know the format's words.
  dictionary=-dict=tests/fuzz/stub.dict
  case $target in
    names) limit=-max_len=300 dictionary= ;;
    command) limit=-max_len=600 dictionary= ;;
    restart) limit=-max_len=1024 dictionary= ;;
    engines) limit=-max_len=8192 dictionary= ;;
    *) limit= ;;
  esac
  if ! "$fuzz/bin/${target}_fuzzer" -max_total_time="$time" -timeout=10 -rss_limit_mb=4096 \
    $dictionary $limit -artifact_prefix="$fuzz/artifacts/" -print_final_stats=1 \
    "$corpus" "tests/fuzz/corpus/$target" "$fuzz/seeds" tests/fuzz/regressions >"$log" 2>&1; then
    status=1
    grep -E "==[0-9]+==ERROR|SUMMARY|finding|written outside" "$log" | head -5
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "$target: ${runs:-0} inputs in ${time} s (${rate:-0} a second)"
  total=$((total + ${runs:-0}))
  if [ "$2" = "--merge" ]; then
    "$fuzz/bin/${target}_fuzzer" -merge=1 "tests/fuzz/corpus/$target" "$corpus" >/dev/null 2>&1
  fi
done
echo "fuzzing: $total inputs in all"
[ "$status" -eq 0 ] || { echo "a fuzzer found a failing input in $fuzz/artifacts"; exit 1; }
