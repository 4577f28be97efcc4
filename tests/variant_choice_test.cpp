// The choice of the kernels' vector code: the processor read from cpuid's
// values, the variant that runs fastest on each kind of processor (tables,
// so that processors this machine is not are covered too), and the choice
// made here, which selectVariant can still override with any variant the
// processor runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/modular_lu.h"

namespace trelvo::kernels {
namespace {

using Vendor = Processor::Vendor;

std::string vendorName(Vendor v) {
  switch (v) {
    case Vendor::kIntel:
      return "Intel";
    case Vendor::kAmd:
      return "AMD";
    case Vendor::kOther:
      return "other";
  }
  return "?";
}

// Real processors as cpuid shows them: the maker's twelve characters, leaf
// 1's eax, the wide variants the processor can run; what they are read as
// and the variant chosen for them.
struct Identified {
  const char* what;
  const char* vendorId;
  uint32_t signature;
  bool avx512;
  bool avx2;
  Vendor vendor;
  int family;
  int model;
  const char* variant;
};

const Identified kIdentified[] = {
    {"Zen 4 server (EPYC 9004)", "AuthenticAMD", 0x00a10f11, true, true, Vendor::kAmd, 0x19, 0x11,
     "avx2"},
    {"Zen 4 desktop (Ryzen 7000)", "AuthenticAMD", 0x00a60f12, true, true, Vendor::kAmd, 0x19, 0x61,
     "avx2"},
    {"Zen 4 laptop", "AuthenticAMD", 0x00a70f41, true, true, Vendor::kAmd, 0x19, 0x74, "avx2"},
    {"Zen 4 dense server", "AuthenticAMD", 0x00aa0f01, true, true, Vendor::kAmd, 0x19, 0xa0,
     "avx2"},
    {"Zen 3 (EPYC 7003)", "AuthenticAMD", 0x00a00f11, false, true, Vendor::kAmd, 0x19, 0x01,
     "avx2"},
    {"Zen 5 server (EPYC 9005)", "AuthenticAMD", 0x00b00f21, true, true, Vendor::kAmd, 0x1a, 0x02,
     "avx512"},
    {"Zen 5 desktop (Ryzen 9000)", "AuthenticAMD", 0x00b40f40, true, true, Vendor::kAmd, 0x1a, 0x44,
     "avx512"},
    {"Zen 2", "AuthenticAMD", 0x00830f10, false, true, Vendor::kAmd, 0x17, 0x31, "avx2"},
    {"Intel Xeon with AVX-512 (Sapphire Rapids)", "GenuineIntel", 0x000806f8, true, true,
     Vendor::kIntel, 0x6, 0x8f, "avx512"},
    {"Intel Xeon with AVX-512 (Skylake)", "GenuineIntel", 0x00050654, true, true, Vendor::kIntel,
     0x6, 0x55, "avx512"},
    {"Intel with AVX2 alone (Alder Lake)", "GenuineIntel", 0x00090672, false, true, Vendor::kIntel,
     0x6, 0x97, "avx2"},
    {"Intel without AVX (Atom)", "GenuineIntel", 0x000506c9, false, false, Vendor::kIntel, 0x6,
     0x5c, "generic"},
    {"Intel family 0xf: no extended family", "GenuineIntel", 0x00000f29, false, false,
     Vendor::kIntel, 0xf, 0x02, "generic"},
    {"family 5: the extended model is not read", "GenuineIntel", 0x00010543, false, false,
     Vendor::kIntel, 0x5, 0x4, "generic"},
    {"another maker with AMD's family numbers", "HygonGenuine", 0x00900f01, false, true,
     Vendor::kOther, 0x18, 0x00, "avx2"},
    {"nothing read", "", 0, false, false, Vendor::kOther, 0, 0, "generic"},
};

TEST(VariantChoice, ProcessorsAsCpuidShowsThem) {
  for (const Identified& c : kIdentified) {
    const Processor p = identifiedProcessor(c.vendorId, c.signature, c.avx512, c.avx2);
    EXPECT_EQ(vendorName(p.vendor), vendorName(c.vendor)) << c.what;
    EXPECT_EQ(p.family, c.family) << c.what;
    EXPECT_EQ(p.model, c.model) << c.what;
    EXPECT_EQ(p.avx512, c.avx512) << c.what;
    EXPECT_EQ(p.avx2, c.avx2) << c.what;
    EXPECT_EQ(fastestVariant(p), c.variant) << c.what;
  }
}

// The edges of the measured families' model ranges, and processors that
// cannot run the variant measured fastest on their family.
struct Chosen {
  const char* what;
  Processor processor;
  const char* variant;
};

const Chosen kChosen[] = {
    {"Zen 4, first server model", {Vendor::kAmd, 0x19, 0x10, true, true}, "avx2"},
    {"Zen 4, last server model", {Vendor::kAmd, 0x19, 0x1f, true, true}, "avx2"},
    {"Zen 4, first desktop model", {Vendor::kAmd, 0x19, 0x60, true, true}, "avx2"},
    {"Zen 4, last laptop model", {Vendor::kAmd, 0x19, 0x7f, true, true}, "avx2"},
    {"Zen 4, first dense server model", {Vendor::kAmd, 0x19, 0xa0, true, true}, "avx2"},
    {"Zen 4, last dense server model", {Vendor::kAmd, 0x19, 0xaf, true, true}, "avx2"},
    {"family 0x19 below the Zen 4 models", {Vendor::kAmd, 0x19, 0x0f, true, true}, "avx512"},
    {"family 0x19 between server and desktop", {Vendor::kAmd, 0x19, 0x20, true, true}, "avx512"},
    {"family 0x19 just before desktop", {Vendor::kAmd, 0x19, 0x5f, true, true}, "avx512"},
    {"family 0x19 after laptop", {Vendor::kAmd, 0x19, 0x80, true, true}, "avx512"},
    {"family 0x19 just before dense server", {Vendor::kAmd, 0x19, 0x9f, true, true}, "avx512"},
    {"family 0x19 after dense server", {Vendor::kAmd, 0x19, 0xb0, true, true}, "avx512"},
    {"Zen 4 model, another family", {Vendor::kAmd, 0x18, 0x11, true, true}, "avx512"},
    {"Zen 4 family and model, Intel", {Vendor::kIntel, 0x19, 0x11, true, true}, "avx512"},
    {"Zen 4 family and model, another maker", {Vendor::kOther, 0x19, 0x11, true, true}, "avx512"},
    {"Zen 4 whose system hides AVX-512", {Vendor::kAmd, 0x19, 0x11, false, true}, "avx2"},
    {"Zen 4 with AVX hidden altogether", {Vendor::kAmd, 0x19, 0x11, false, false}, "generic"},
    {"Zen 4 with AVX-512 and not AVX2", {Vendor::kAmd, 0x19, 0x11, true, false}, "generic"},
    {"Zen 5 whose system hides AVX-512", {Vendor::kAmd, 0x1a, 0x02, false, true}, "avx2"},
    {"Zen 5 with AVX hidden altogether", {Vendor::kAmd, 0x1a, 0x02, false, false}, "generic"},
    {"Zen 5 with AVX-512 and not AVX2", {Vendor::kAmd, 0x1a, 0x02, true, false}, "avx512"},
    {"unmeasured, AVX-512", {Vendor::kOther, 0x6, 0x8f, true, true}, "avx512"},
    {"unmeasured, AVX2", {Vendor::kIntel, 0x6, 0x3f, false, true}, "avx2"},
    {"unmeasured, no AVX", {Vendor::kIntel, 0x6, 0x3f, false, false}, "generic"},
};

TEST(VariantChoice, MeasuredFamiliesAndWhatTheProcessorCanRun) {
  for (const Chosen& c : kChosen) {
    EXPECT_EQ(fastestVariant(c.processor), c.variant) << c.what;
  }
}

TEST(VariantChoice, EveryVariantCanStillBeSelected) {
  const std::vector<std::string_view> available = availableVariants();
  ASSERT_FALSE(available.empty());
  EXPECT_EQ(available.back(), "generic");
  EXPECT_NE(std::find(available.begin(), available.end(), chosenVariant()), available.end())
      << chosenVariant();
  EXPECT_EQ(std::string_view(activeIsa().name), chosenVariant());
  for (std::string_view name : available) {
    ASSERT_TRUE(selectVariant(name)) << name;
    EXPECT_EQ(activeIsa().name, name);
    // The residues' vector code follows the variant in use.
    const modular::ModularCode* expected = &modular::generic::kModularCode;
#if defined(__x86_64__)
    if (name == "avx512") expected = &modular::avx512::kModularCode;
    if (name == "avx2") {
      expected =
          hasFusedMultiplyAdd() ? &modular::avx2fma::kModularCode : &modular::avx2::kModularCode;
    }
#endif
    EXPECT_EQ(&modular::activeModularCode(), expected) << name;
  }
  EXPECT_FALSE(selectVariant("avx1024"));
  EXPECT_FALSE(selectVariant(""));
  ASSERT_TRUE(selectVariant(chosenVariant()));
  EXPECT_EQ(activeIsa().name, chosenVariant());
}

}  // namespace
}  // namespace trelvo::kernels
