// The vector variants of the kernels and the choice between them.
//
// Each variant is one table of functions compiled in its own unit with its
// own target flags (variant_*.cpp, all from variant.inc); everything else
// (blocking, packing, the pivot logic) is plain code that calls through the
// table of the variant in use, so one binary runs on every x86-64 and uses
// the vectors that run fastest on the processor: the widest it has, unless
// measurements on its family found a narrower one faster (fastestVariant).
// Each variant's register tiles and the cache blocks around them are
// registered here, side by side.
//
// Nothing here may instantiate a library template: the vector units include
// this header, and an out-of-line copy made in one of them could carry
// instructions that a processor without that vector width cannot run.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace trelvo::kernels {
namespace isa {

/// The shape of a variant's register tiles and of the cache blocks around
/// them: blocks of blockRows x blockDepth and blockDepth x blockCols are
/// packed at a time, and each column panel of a block (blockDepth x
/// tileCols) stays in the second-level cache while every row panel meets
/// it. A block shallower than blockDepth goes as much wider (see
/// pack::blockColumns).
struct Shape {
  int tileRows;  // rows of the product's register tile
  int tileCols;  // its columns: whole vectors
  int64_t blockDepth;
  int64_t blockRows;  // a multiple of tileRows
  int64_t blockCols;
  int updateRows;  // the minors' update tile right of a panel: rows
  int updateCols;  // and vectors
};

// Accumulators, the column vectors and the temporaries must stay in the
// register file: 32 vector registers with AVX-512, 16 below it. The
// AVX-512 tile is four vectors wide and six rows high: each row's value is
// broadcast into four products instead of two. Row blocks of 240 suit the
// AVX2 processors' smaller second-level cache (512 KiB, against 1 MiB): the
// determinant's update ran a fifth faster with them than with 960. AVX-512
// blocks go 512 terms deep, so that the product reads and writes each
// result half as often; 480 rows keep the packed rows within the
// second-level cache, and columns in blocks of 1024 keep the packed
// columns (fresh memory, dear on a virtual machine) at 2 MiB. The product
// of side 2000 ran 4 to 7% faster so on a Zen 5, on one core and on two.
inline constexpr Shape kGenericShape{6, 8, 256, 240, 2048, 2, 5};
inline constexpr Shape kAvx2Shape{6, 16, 256, 240, 2048, 2, 5};
inline constexpr Shape kAvx512Shape{6, 64, 512, 480, 1024, 4, 6};

/// The most steps panelSteps takes at a time.
inline constexpr int64_t kMaxPanelSteps = 64;

struct Isa {
  const char* name;
  Shape shape;
  /// Lanes of minorDeterminants: matrices reduced side by side.
  int lanes;

  /// c (m x n, row stride ldc, m <= 4096) gets, for each element, the k
  /// terms a(i, l) * b(l, j), l ascending, each product and sum rounded to
  /// float. `a` is packed in panels of tileRows rows (l-major inside a
  /// panel), `b` in panels of tileCols columns, both padded with zeros.
  /// `eitherOrder`: no term has NaN in both operands, so each product may
  /// be taken b(l, j) * a(i, l) (the same bits then), which is faster.
  /// `fromZero`: c is not read; each element starts at +0.0.
  void (*productBlock)(int64_t m, int64_t n, int64_t k, const float* a, const float* b,
                       bool eitherOrder, bool fromZero, float* c, int64_t ldc);
  /// The same for the reduction's update, with the terms b(l, j) * a(i, l)
  /// (pivot row first). When `skips` is given (packed as `a`), a term whose
  /// skip byte is set is left out.
  void (*updateBlock)(int64_t m, int64_t n, int64_t k, const float* a, const float* b,
                      const uint8_t* skips, float* c, int64_t ldc);

  /// row[c] = pivot[c] * factor + row[c] for c < n.
  void (*rowUpdate)(float* row, const float* pivot, float factor, int64_t n);

  /// A column step in rows [firstRow, endRow) (row r at a + r * ld): a row
  /// whose entry in `column` is not zero takes factor = -entry /
  /// pivot[column] and, in columns [from, to), the update of rowUpdate.
  void (*columnStep)(float* a, int64_t ld, int64_t firstRow, int64_t endRow, const float* pivot,
                     int64_t column, int64_t from, int64_t to);

  /// Rows 1 to count - 1 of a panel (row r at rows + r * ld) take, in
  /// columns [0, n), the steps of the rows above them: row r, for s from 0
  /// to r - 1, gets row s's columns * factor(r, s) as rowUpdate adds them,
  /// unless skip(r, s) is set; factor(r, s) and skip(r, s) are at
  /// [r * stride + s]. Row s has taken its own steps when row r reads it.
  /// Every row's columns, row 0's too, go to kept + r * keptLd first, as
  /// they were.
  void (*panelRowsUpdate)(float* rows, int64_t ld, float* kept, int64_t keptLd, int count,
                          const float* factors, const uint8_t* skips, int64_t stride, int64_t n);

  /// The steps of a panel `width` wide in `lanes` rows below it side by
  /// side, lane q a row: t[c * lanes + q] is its entry in the panel's column
  /// c, d[q] its diagonal entry; pivot row s has its entry in column c at
  /// pivots[s * ldp + c] and in lane q's diagonal column at
  /// pivotDiagonal[s * ldd + q]. At step s (ascending) a lane whose entry
  /// in column s is non-zero takes factor = -entry / pivot(s, s) and adds
  /// pivot(s, c) * factor to its entries in columns c >= s and to d; each
  /// step's factors go to factors[s * lanes + q], skips[s * lanes + q] is 1
  /// where the lane was left alone. Returns the lanes whose d was zero
  /// after one of their steps.
  uint32_t (*panelSteps)(float* t, float* d, const float* pivots, int64_t ldp,
                         const float* pivotDiagonal, int64_t ldd, int64_t width, float* factors,
                         uint8_t* skips);

  /// Rows [0, lanes) (row q at rows + q * ld), columns [0, width), side by
  /// side: t[c * lanes + q] = row q's column c; and back. `width` is a
  /// multiple of lanes.
  void (*lanesFromRows)(const float* rows, int64_t ld, int64_t width, float* t);
  void (*rowsFromLanes)(const float* t, int64_t width, float* rows, int64_t ld);

  /// Lane t takes the minor of a (n x n) without row rows[t] and column
  /// cols[t] and writes its determinant to det[t], as the plain code takes
  /// it: the sweep and the first `exactSteps` column steps exactly as the
  /// plain code does them, then the other steps without exchanges. A lane
  /// that meets a zero diagonal entry in the latter (where an exchange might
  /// come) gets its bit set in the returned mask: its det is not valid.
  /// The diagonal product starts from `productBefore` (1.0 for a whole
  /// minor; for the end of a larger one, the product of the diagonal entries
  /// before it). `work` holds minorWorkFloats(n - 1, lanes).
  uint32_t (*minorDeterminants)(const float* a, int64_t n, const int32_t* rows, const int32_t* cols,
                                int64_t exactSteps, float productBefore, float* work, float* det);
};

/// Steps of a panel of the minors' reduction.
constexpr int kMinorPanelSteps = 8;

/// The work space of minorDeterminants: the minors and a panel's factors
/// and lane masks.
constexpr int64_t minorWorkFloats(int64_t m, int lanes) {
  return (m * m + 2 * m * kMinorPanelSteps) * lanes;
}

extern const Isa kGeneric;
extern const Isa kAvx2;
extern const Isa kAvx512;

}  // namespace isa

/// A processor as the choice of variant sees it: its maker, its family and
/// model as cpuid gives them (the extended fields added in), and the wide
/// variants it can run (the processor has the instructions and the system
/// saves their registers).
struct Processor {
  enum class Vendor { kOther, kIntel, kAmd };
  Vendor vendor = Vendor::kOther;
  int family = 0;
  int model = 0;
  bool avx512 = false;
  bool avx2 = false;
};

/// The processor described by cpuid: `vendorId` the twelve characters of
/// leaf 0 ("AuthenticAMD", "GenuineIntel"), `signature` eax of leaf 1.
Processor identifiedProcessor(std::string_view vendorId, uint32_t signature, bool avx512,
                              bool avx2);

/// The variant that runs fastest on `p` ("avx512", "avx2" or "generic"):
/// the widest it can run, unless that is slower on its family (the table of
/// measurements in dispatch.cpp), where the widest at or below the one
/// measured fastest. Depends on nothing but `p`.
std::string_view fastestVariant(const Processor& p);

/// The variant in use: fastestVariant of this processor (chosenVariant),
/// unless another has been selected.
const isa::Isa& activeIsa();
/// The name of the variant this processor runs unless another is selected.
std::string_view chosenVariant();

/// The variants this processor can run, widest first ("avx512", "avx2",
/// "generic").
std::vector<std::string_view> availableVariants();
/// Whether the processor has fused multiply-adds (the exact residues'
/// code uses them where it can; float code never does).
bool hasFusedMultiplyAdd();
/// Selects the variant by name, for tests and benchmarks, whichever is
/// chosen; false when this processor cannot run it.
bool selectVariant(std::string_view name);

}  // namespace trelvo::kernels
