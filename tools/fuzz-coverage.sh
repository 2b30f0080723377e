#!/bin/sh
# Line coverage that the fuzzing corpora reach (the repository's corpus,
# the last run's in build/fuzz/corpus, the seeds and the regressions),
# replayed through every target once, in the code the targets are for:
# the format and PE fields, the name rules, extraction, the setup command,
# joining and the restart list. The OS calls themselves (support/os) stay
# outside. Prints llvm-cov's report.
set -e
cd "$(dirname "$0")/.."
build=build/fuzz-coverage
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSFX_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
cmake --build "$build" >/dev/null
rm -rf "$build/seeds" "$build"/*.profraw && "$build/bin/make_seeds" "$build/seeds" >/dev/null
objects=""
for target in walk names command reader restart engines stub; do
  mkdir -p "build/fuzz/corpus/$target" "tests/fuzz/corpus/$target"
  LLVM_PROFILE_FILE="$build/$target.profraw" "$build/bin/${target}_fuzzer" -runs=0 \
    "tests/fuzz/corpus/$target" "build/fuzz/corpus/$target" "$build/seeds" \
    tests/fuzz/regressions >/dev/null 2>&1
  if [ -z "$objects" ]; then
    objects="$build/bin/${target}_fuzzer"
  else
    objects="$objects -object $build/bin/${target}_fuzzer"
  fi
done
llvm-profdata merge -o "$build/replay.profdata" "$build"/*.profraw
# shellcheck disable=SC2086
llvm-cov report $objects -instr-profile="$build/replay.profdata" \
  package/format.cpp package/pe_image.cpp package/name_check.cpp package/seal.cpp \
  extract/*.cpp support/text/launch_command.cpp support/inflate/zlib_stream.cpp \
  support/inflate/isal_stream.cpp \
  join/join.cpp cleanup/*.cpp driver/driver.cpp
