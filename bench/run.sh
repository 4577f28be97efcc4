#!/bin/sh
# make bench: the strict ceiling of this processor, the program on its large
# dialogues, OpenBLAS and a C printf + scanf loop, in one run; prints one
# table of rates and ratios. The program itself never links OpenBLAS; only
# the yardsticks do. BENCH_VARIANT=avx2 measures the AVX2 kernels (and the
# AVX2 ceiling) on an AVX-512 processor. BENCH_ONLY=cliffs prints the "no
# cliff" table alone (the program's times on small fills, typed decimals
# and a rank-one product against a fill of 1 to 100), without OpenBLAS.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BENCH_BUILD:-build-bench}
WORK=$BUILD/compare
RUNS=${BENCH_RUNS:-5}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTRELVO_TESTS=OFF -DTRELVO_BENCH_SWITCHES=ON >/dev/null
cmake --build "$BUILD" -j 2 --target trelvo >/dev/null
mkdir -p "$WORK"

if [ "${BENCH_ONLY:-}" = cliffs ]; then
  exec python3 bench/compare.py "$BUILD/trelvo" "$WORK" "$WORK" "$RUNS"
fi

if ! dpkg -s libopenblas-dev >/dev/null 2>&1; then
  SUDO=$([ "$(id -u)" = 0 ] && echo "" || echo sudo)
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq libopenblas-dev >/dev/null
fi

for name in sgemm sgetrf; do
  cc -O2 -o "$WORK/$name" "bench/compare/$name.c" -lopenblas
done
cc -O2 -o "$WORK/scanf_loop" bench/compare/scanf_loop.c
cc -O2 -o "$WORK/ceiling" bench/compare/ceiling.c -lpthread

python3 bench/compare.py "$BUILD/trelvo" "$WORK" "$WORK" "$RUNS"
