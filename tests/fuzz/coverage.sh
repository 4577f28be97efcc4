#!/usr/bin/env bash
# Line coverage of src/ reached by a fuzzing corpus: builds the fuzz target
# with clang's coverage instrumentation, runs every input of the given
# corpus directories once and prints llvm-cov's report for src/.
#
# Usage (from the top of the repository):
#   tests/fuzz/coverage.sh [CORPUS_DIR...]
#     (default: build-fuzz/corpus tests/fuzz/corpus build-fuzz/tests/fuzz/seeds)
#   FUZZ_TARGET=kernels_fuzzer tests/fuzz/coverage.sh build-fuzz/kernels-corpus
set -euo pipefail
build=build-coverage
target=${FUZZ_TARGET:-dialogue_fuzzer}
corpora=("$@")
[ ${#corpora[@]} -gt 0 ] || corpora=(build-fuzz/corpus tests/fuzz/corpus build-fuzz/tests/fuzz/seeds)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTRELVO_FUZZ=ON -DTRELVO_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
cmake --build "$build" -j 2 --target "$target" >/dev/null
fuzzer=$build/tests/fuzz/$target
rm -f "$build"/*.profraw
existing=()
for dir in "${corpora[@]}"; do [ -d "$dir" ] && existing+=("$dir"); done
LLVM_PROFILE_FILE="$build/run-%p.profraw" "$fuzzer" -runs=0 "${existing[@]}" >/dev/null 2>&1
llvm-profdata merge -sparse "$build"/*.profraw -o "$build/corpus.profdata"
llvm-cov report "$fuzzer" -instr-profile="$build/corpus.profdata" src/
