// The instruction-set specific parts of the kernels: one table of functions
// per vector width, each compiled in its own unit with its own target flags.
// Everything else (blocking, packing, the pivot logic) is plain code that
// calls through the table, so one binary runs on every x86-64 and uses the
// widest vectors the processor has.
#pragma once

#include <cstdint>

namespace trelvo::kernels::isa {

struct Isa {
  const char* name;
  /// Rows and columns of the register tile of the blocks.
  int tileRows;
  int tileCols;
  /// Lanes of minorDeterminants: matrices reduced side by side.
  int lanes;

  /// c (m x n, row stride ldc, m <= 4096) gets, for each element, the k
  /// terms a(i, l) * b(l, j), l ascending, each product and sum rounded to
  /// float. `a` is packed in panels of tileRows rows (l-major inside a
  /// panel), `b` in panels of tileCols columns, both padded with zeros.
  void (*productBlock)(int64_t m, int64_t n, int64_t k, const float* a, const float* b, float* c,
                       int64_t ldc);
  /// The same for the reduction's update, with the terms b(l, j) * a(i, l)
  /// (pivot row first). When `skips` is given (packed as `a`), a term whose
  /// skip byte is set is left out.
  void (*updateBlock)(int64_t m, int64_t n, int64_t k, const float* a, const float* b,
                      const uint8_t* skips, float* c, int64_t ldc);

  /// row[c] = pivot[c] * factor + row[c] for c < n.
  void (*rowUpdate)(float* row, const float* pivot, float factor, int64_t n);

  /// Lane t takes the minor of a (n x n) without row rows[t] and column
  /// cols[t] and writes its determinant to det[t], as the plain code takes
  /// it: the sweep and the first `exactSteps` column steps exactly as the
  /// plain code does them, then the other steps without exchanges. A lane
  /// that meets a zero diagonal entry in the latter (where an exchange might
  /// come) gets its bit set in the returned mask: its det is not valid.
  /// `work` holds minorWorkFloats(n - 1, lanes).
  uint32_t (*minorDeterminants)(const float* a, int64_t n, const int32_t* rows, const int32_t* cols,
                                int64_t exactSteps, float* work, float* det);
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

}  // namespace trelvo::kernels::isa
