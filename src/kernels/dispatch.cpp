#include "kernels/dispatch.h"

// The processor's features. On x86-64, glibc's header where the compiler
// takes it (clang, unlike GCC, does not take its C _Bool in C++), else the
// compiler's own queries (MinGW's GCC among them: they read cpuid and
// xgetbv, so a system that does not save the wide registers is seen).
// Other processors run the portable generic variant alone. The maker,
// family and model, which the choice between the variants reads, come from
// cpuid itself (<cpuid.h>, GCC's and clang's alike).
#if defined(__x86_64__) && __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#define TRELVO_GLIBC_CPU_FEATURES 1
#include <sys/platform/x86.h>
#endif
#if defined(__x86_64__)
#include <cpuid.h>

#include <cstring>
#endif

#include <algorithm>
#include <iterator>

namespace trelvo::kernels {
namespace {

#if !defined(__x86_64__)
void readCpuFeatures() {}
bool hasFma() { return false; }
#elif defined(TRELVO_GLIBC_CPU_FEATURES)
// The C library has read the processor's features once already, at start-up;
// asking them of it spares the program start the processor queries of
// __builtin_cpu_supports, which are slow under a hypervisor.
bool hasAvx512() {
  return CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512DQ) &&
         CPU_FEATURE_ACTIVE(AVX512VL) && CPU_FEATURE_ACTIVE(AVX512BW);
}
bool hasAvx2() { return CPU_FEATURE_ACTIVE(AVX2); }
bool hasFma() { return CPU_FEATURE_ACTIVE(FMA); }
void readCpuFeatures() {}
#else
bool hasAvx512() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
}
bool hasAvx2() { return __builtin_cpu_supports("avx2"); }
bool hasFma() { return __builtin_cpu_supports("fma"); }
void readCpuFeatures() { __builtin_cpu_init(); }
#endif
bool always() { return true; }

#if defined(__x86_64__)
// Two processor queries, once, when the first kernel runs (a few
// microseconds under a hypervisor).
Processor thisProcessor() {
  readCpuFeatures();
  unsigned int eax = 0;
  unsigned int ebx = 0;
  unsigned int ecx = 0;
  unsigned int edx = 0;
  char vendorId[12] = {};
  uint32_t signature = 0;
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
    std::memcpy(vendorId, &ebx, 4);
    std::memcpy(vendorId + 4, &edx, 4);
    std::memcpy(vendorId + 8, &ecx, 4);
  }
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) signature = eax;
  return identifiedProcessor({vendorId, sizeof vendorId}, signature, hasAvx512(), hasAvx2());
}
#else
Processor thisProcessor() { return {}; }
#endif

// The variants widest first, as fastestVariant names them.
constexpr std::string_view kWidestFirst[] = {"avx512", "avx2", "generic"};

constexpr bool knownVariant(std::string_view name) {
  for (std::string_view known : kWidestFirst) {
    if (name == known) return true;
  }
  return false;
}

// Where the widest variant is not the fastest, and where it was measured to
// be: for a maker's family and a range of its models, the widest variant
// worth running there. Measured with the program's 2000 x 2000 determinant
// and product (make bench, each variant in turn: the time beyond the same
// dialogue without the operation, medians). A processor not listed runs
// the widest variant it has.
struct Measured {
  Processor::Vendor vendor;
  int family;
  int firstModel;
  int lastModel;
  std::string_view fastest;
};

constexpr Processor::Vendor kAmd = Processor::Vendor::kAmd;

constexpr Measured kMeasured[] = {
    // Zen 4 runs AVX-512 in two 256-bit halves. Determinant on one core:
    // 60.8 ms with AVX2, 94.1 with AVX-512; product 183.6 against 201.2.
    // Servers 0x10-0x1f and 0xa0-0xaf, desktops and laptops 0x60-0x7f (the
    // other models of the family, Zen 3, have no AVX-512).
    {kAmd, 0x19, 0x10, 0x1f, "avx2"},
    {kAmd, 0x19, 0x60, 0x7f, "avx2"},
    {kAmd, 0x19, 0xa0, 0xaf, "avx2"},
    // Zen 5 (EPYC 9005, model 2) runs AVX-512 at full width: it took 0.63
    // of AVX2's time for the determinant on one core (262 against 397 ms,
    // exact zero test included), 0.54 for the product (145 against 273); on
    // two cores 0.66 and 0.53 (medians of 21 rounds, the variants in turn).
    {kAmd, 0x1a, 0x00, 0x0f, "avx512"},
};

constexpr bool wellFormed(const Measured& m) {
  return m.firstModel <= m.lastModel && knownVariant(m.fastest);
}
static_assert(std::all_of(std::begin(kMeasured), std::end(kMeasured), wellFormed),
              "each row: a range of models and a variant's name");

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

// The variant of that name, when this processor can run it.
const isa::Isa* supportedVariant(std::string_view name) {
  for (const Variant& v : kVariants) {
    if (v.table->name == name) return v.supported() ? v.table : nullptr;
  }
  return nullptr;
}

const isa::Isa*& selectedIsa() {
  static const isa::Isa* selected = [] {
    const isa::Isa* chosen = supportedVariant(chosenVariant());
    return chosen ? chosen : &isa::kGeneric;
  }();
  return selected;
}

}  // namespace

Processor identifiedProcessor(std::string_view vendorId, uint32_t signature, bool avx512,
                              bool avx2) {
  Processor p;
  if (vendorId == "GenuineIntel") p.vendor = Processor::Vendor::kIntel;
  if (vendorId == "AuthenticAMD") p.vendor = Processor::Vendor::kAmd;
  // Bits 8-11 the family, 4-7 the model; family 0xf adds the extended
  // family (bits 20-27), and families 0x6 and 0xf take the extended model
  // (bits 16-19) as the model's high digit.
  const int family = static_cast<int>(signature >> 8 & 0xf);
  const int model = static_cast<int>(signature >> 4 & 0xf);
  p.family = family == 0xf ? family + static_cast<int>(signature >> 20 & 0xff) : family;
  p.model =
      family == 0x6 || family == 0xf ? static_cast<int>(signature >> 16 & 0xf) << 4 | model : model;
  p.avx512 = avx512;
  p.avx2 = avx2;
  return p;
}

std::string_view fastestVariant(const Processor& p) {
  std::string_view widestWorth = kWidestFirst[0];
  for (const Measured& m : kMeasured) {
    if (m.vendor == p.vendor && m.family == p.family && m.firstModel <= p.model &&
        p.model <= m.lastModel) {
      widestWorth = m.fastest;
      break;
    }
  }
  const bool runs[] = {p.avx512, p.avx2, true};
  bool reached = false;
  for (size_t k = 0; k < std::size(kWidestFirst); ++k) {
    reached = reached || kWidestFirst[k] == widestWorth;
    if (reached && runs[k]) return kWidestFirst[k];
  }
  return "generic";
}

std::string_view chosenVariant() {
  static const std::string_view chosen = fastestVariant(thisProcessor());
  return chosen;
}

const isa::Isa& activeIsa() { return *selectedIsa(); }

std::vector<std::string_view> availableVariants() {
  std::vector<std::string_view> names;
  for (const Variant& v : kVariants) {
    if (v.supported()) names.emplace_back(v.table->name);
  }
  return names;
}

bool hasFusedMultiplyAdd() {
  static const bool has = [] {
    readCpuFeatures();
    return hasFma();
  }();
  return has;
}

bool selectVariant(std::string_view name) {
  const isa::Isa* table = supportedVariant(name);
  if (!table) return false;
  selectedIsa() = table;
  return true;
}

}  // namespace trelvo::kernels
