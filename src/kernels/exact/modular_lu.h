// The exact residues of a whole reduction that exchanges no rows, modulo
// one prime, blocked: the common case of the reduction's zero test, where
// every value the sweeps test is non-zero.
//
// Residues are kept in doubles between -p/2 - 1 and p/2 + 1, so a product
// of two is below 2^48 and the sum of 32 of them, with one more residue,
// stays below 2^53: a panel of 32 column steps adds its terms exactly and
// reduces once at its end.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "kernels/exact/modular.h"

namespace trelvo::kernels::modular {

/// Terms that a residue takes before it is reduced again: at most 32, for
/// the sums to stay exact.
inline constexpr int64_t kExactTerms = 32;
/// Column steps of one panel.
inline constexpr int64_t kPanelSteps = 2 * kExactTerms;
/// Rows below a panel that take its steps side by side.
inline constexpr int64_t kPanelRows = 8;

/// The vector code of the blocked residues, one per instruction set.
struct ModularCode {
  /// Rows and columns of the register tile.
  int tileRows;
  int tileCols;
  /// c (m x n, row stride ldc) gets, for each element, the residue of
  /// c(i, j) - sum over l < k of a(i, l) * b(l, j). `a` is packed in panels
  /// of tileRows rows (l-major inside a panel), `b` in panels of tileCols
  /// columns, both padded with zeros. Sums are reduced every kExactTerms terms. REQUIRES: every
  /// value a residue as above.
  void (*updateBlock)(int64_t m, int64_t n, int64_t k, const double* a, const double* b, double* c,
                      int64_t ldc, double p);
  /// row[c] gets the residue of row[c] - multiple * pivot[c], for c < n.
  void (*rowTakeAway)(double* row, const double* pivot, double multiple, int64_t n, double p);
  /// row[c] -= multiple * pivot[c], for c < n, not reduced.
  void (*rowSubtract)(double* row, const double* pivot, double multiple, int64_t n);
  /// Rows' parts of a panel, `v` (`rows` of them, at most kPanelRows, one
  /// after the other, each `width` entries, width a multiple of 8, each
  /// reduced), take the panel's first `steps` steps: at step s a row's
  /// multiple, the residue of its v[s] * inverses[s], goes to its v[s], and
  /// its v[c] takes away that multiple of pivotRows[s * width + c] (zero at
  /// and left of s). Entries are reduced every kExactTerms steps, multiples
  /// always; with watch >= 0, seen[s] gets v[watch] after step s.
  void (*panelRowSteps)(double* v, int64_t rows, const double* pivotRows, const double* inverses,
                        int64_t width, int64_t steps, int64_t watch, double* seen, double p);

  /// Lanes: as many minors side by side as the float code of this width.
  int lanes;
  /// Lane t takes the minor of the n x n `residues` (centred, row-major)
  /// without row rows[t] and column cols[t], and its column steps without
  /// exchanges modulo p, as zerosWithoutExchanges does. Returns the lanes
  /// where some tested value is zero modulo p. `work` holds (n - 1)^2 *
  /// lanes doubles. REQUIRES: n >= 2.
  uint32_t (*minorZeros)(const double* residues, int64_t n, const int32_t* rows,
                         const int32_t* cols, double* work, double p);
};

/// For zerosWithoutExchanges: stop after the first zero's panel.
inline constexpr int64_t kFirstZero = -1;

/// A value that the reduction tests: diagonal entry k after `steps` column
/// steps.
struct TestedValue {
  int64_t steps;
  int64_t k;
  friend bool operator==(const TestedValue&, const TestedValue&) = default;
};

/// The column steps of the n x n matrix of `residues` (centred, row-major)
/// from `firstStep` on, without exchanges, modulo `prime`: a step whose
/// pivot is zero modulo the prime does nothing, as the exact residues take
/// it. Returns the tested values that are zero modulo the prime, steps
/// ascending, then k: the diagonal entries k <= n - 2 after each step from
/// firstStep + 1 up to k, and the last diagonal entry at the end. With
/// `untilStep` < n, stops at the end of the panel of 32 steps that reaches
/// it (the values tested after later steps are not looked at); with
/// kFirstZero, at the end of the first panel where a zero turns up. Only the rows
/// and columns from firstStep on are read; `residues` is left in no
/// particular state. (A column takes its terms from itself and the pivot
/// column alone, so what is left of firstStep plays no part.)
std::vector<TestedValue> zerosWithoutExchanges(double* residues, int64_t n, int64_t firstStep,
                                               int64_t untilStep, int64_t prime,
                                               const ModularCode& code);

/// The column steps `from` to `to` - 1 of the same, in place: the entries
/// from column `from` on end as those steps leave them (reduced, those they
/// eliminate zero). What is left of `from` is not touched: below row
/// `from` it is zero when the pivots before were not zero modulo the prime.
void stepsWithoutExchanges(double* residues, int64_t n, int64_t from, int64_t to, int64_t prime,
                           const ModularCode& code);

/// The same steps, and with them the values they test that are zero
/// modulo the prime, as zerosWithoutExchanges gives them: after each step
/// from `from` + 1 to `to`, and the last diagonal entry when `to` is n.
std::vector<TestedValue> testedStepsWithoutExchanges(double* residues, int64_t n, int64_t from,
                                                     int64_t to, int64_t prime,
                                                     const ModularCode& code);

/// The centred residues of the n x n `a` modulo `prime` (0 for an entry
/// that is not finite, which has none).
std::vector<double> centredResidues(const float* a, int64_t n, int64_t prime);

/// The vector code of the variant in use (with fused multiply-adds where
/// the processor has them).
const ModularCode& activeModularCode();

/// The plain code of updateBlock, for tests.
extern const ModularCode kPlainModularCode;
// The AVX variants exist on x86-64 only.
namespace avx512 {
extern const ModularCode kModularCode;
}
namespace avx2 {
extern const ModularCode kModularCode;
}
namespace avx2fma {
extern const ModularCode kModularCode;
}
namespace generic {
extern const ModularCode kModularCode;
}

}  // namespace trelvo::kernels::modular
