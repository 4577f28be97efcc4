// The benchmark build's test-only switches, linked into its program only
// (the shipped program reads no environment): TRELVO_BENCH_VARIANT selects
// the kernels' vector code by name, TRELVO_BENCH_ONE_CORE keeps the second
// core off, TRELVO_BENCH_FLOAT_ZEROS leaves the reduction's exact zero test
// out (its zeros the floats' alone), to weigh what the test costs. Set
// before main runs.
#include <cstdio>
#include <cstdlib>

#include "kernels/dispatch.h"
#include "kernels/exact/exact_zeros.h"
#include "kernels/parallel.h"

namespace {

struct BenchSwitches {
  BenchSwitches() {
    if (const char* name = std::getenv("TRELVO_BENCH_VARIANT")) {
      if (!trelvo::kernels::selectVariant(name)) {
        std::fprintf(stderr, "no vector code %s here\n", name);
        std::exit(2);
      }
    }
    if (std::getenv("TRELVO_BENCH_ONE_CORE")) trelvo::kernels::allowSecondCore(false);
    if (std::getenv("TRELVO_BENCH_FLOAT_ZEROS")) trelvo::kernels::useExactZeros(false);
  }
};

const BenchSwitches switches;

}  // namespace
