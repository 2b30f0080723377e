#!/bin/sh
# Line coverage that the fuzzing corpus (build/fuzz/corpus, the seeds and the
# regressions) reaches in the package reader, extraction, the driver, the
# joining and the restart list: builds a coverage-instrumented fuzzer, replays
# the corpus once and prints llvm-cov's report.
set -e
cd "$(dirname "$0")/.."
build=build/fuzz-coverage
# Every instrumented program writes its profile under the build tree.
export LLVM_PROFILE_FILE="$build/%p.profraw"
cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSFX_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
cmake --build "$build" --target stub_fuzzer make_seeds >/dev/null
rm -rf "$build/seeds" && "$build/bin/make_seeds" "$build/seeds" >/dev/null
mkdir -p build/fuzz/corpus
LLVM_PROFILE_FILE="$build/replay.profraw" "$build/bin/stub_fuzzer" -runs=0 \
  build/fuzz/corpus "$build/seeds" tests/fuzz/regressions >/dev/null 2>&1
llvm-profdata merge -o "$build/replay.profdata" "$build/replay.profraw"
llvm-cov report "$build/bin/stub_fuzzer" -instr-profile="$build/replay.profdata" \
  package/*.cpp extract/*.cpp driver/driver.cpp support/inflate/inflate_stream.cpp join/join.cpp \
  cleanup/*.cpp
