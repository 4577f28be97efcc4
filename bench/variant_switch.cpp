// Linked into the benchmark builds of the program only: BENCH_VARIANT names
// the kernels' vector code to use ("avx512", "avx2", "generic"), so that
// one machine can time the narrower ones too. The program itself reads no
// environment.
#include <cstdio>
#include <cstdlib>

#include "kernels/dispatch.h"

namespace {

const bool kVariantSelected = [] {
  const char* name = std::getenv("BENCH_VARIANT");
  if (name == nullptr || *name == '\0') return false;
  if (trelvo::kernels::selectVariant(name)) return true;
  std::fprintf(stderr, "this processor cannot run the %s kernels\n", name);
  std::exit(2);
}();

}  // namespace
