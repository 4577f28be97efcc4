#include "kernels/dispatch.h"

// The processor's features. On x86-64, glibc's header where the compiler
// takes it (clang, unlike GCC, does not take its C _Bool in C++), else the
// compiler's own queries (MinGW's GCC among them: they read cpuid and
// xgetbv, so a system that does not save the wide registers is seen).
// Other processors run the portable generic variant alone.
#if defined(__x86_64__) && __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#define TRELVO_GLIBC_CPU_FEATURES 1
#include <sys/platform/x86.h>
#endif

namespace trelvo::kernels {
namespace {

#if !defined(__x86_64__)
void readCpuFeatures() {}
#elif defined(TRELVO_GLIBC_CPU_FEATURES)
// The C library has read the processor's features once already, at start-up;
// asking them of it spares the program start the processor queries of
// __builtin_cpu_supports, which are slow under a hypervisor.
bool hasAvx512() {
  return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512DQ) &&
         CPU_FEATURE_ACTIVE(AVX512VL) && CPU_FEATURE_ACTIVE(AVX512BW);
}
bool hasAvx2() { return CPU_FEATURE_ACTIVE(AVX2); }
void readCpuFeatures() {}
#else
bool hasAvx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}
bool hasAvx2() { return __builtin_cpu_supports("avx2"); }
void readCpuFeatures() { __builtin_cpu_init(); }
#endif
bool always() { return true; }

struct Variant {
  const isa::Isa* table;
  bool (*supported)();
};

// Widest first; the last runs everywhere.
const Variant kVariants[] = {
#if defined(__x86_64__)
    {&isa::kAvx512, hasAvx512},
    {&isa::kAvx2, hasAvx2},
#endif
    {&isa::kGeneric, always}};

const isa::Isa* widestSupported() {
  readCpuFeatures();
  for (const Variant& v : kVariants) {
    if (v.supported()) return v.table;
  }
  return &isa::kGeneric;
}

const isa::Isa*& selectedIsa() {
  static const isa::Isa* selected = widestSupported();
  return selected;
}

}  // namespace

const isa::Isa& activeIsa() { return *selectedIsa(); }

std::vector<std::string_view> availableVariants() {
  std::vector<std::string_view> names;
  for (const Variant& v : kVariants) {
    if (v.supported()) names.emplace_back(v.table->name);
  }
  return names;
}

bool selectVariant(std::string_view name) {
  for (const Variant& v : kVariants) {
    if (v.table->name != name) continue;
    if (!v.supported()) return false;
    selectedIsa() = v.table;
    return true;
  }
  return false;
}

}  // namespace trelvo::kernels
