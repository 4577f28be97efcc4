#include "kernels/exact/modular_lu.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/exact/modular.h"
#include "kernels/parallel.h"

namespace trelvo::kernels::modular {
namespace {

int64_t roundUp(int64_t x, int64_t step) { return (x + step - 1) / step * step; }

// Column-step j's multiples of the pivot row stay in the rows they
// eliminate, in the pivot's column: row i, column s < i holds l(i, s).
class BlockedResidues {
 public:
  BlockedResidues(double* e, int64_t n, int64_t prime, const ModularCode& code)
      : n_(n),
        p_(static_cast<double>(prime)),
        inverseOfP_(1.0 / p_),
        field_(prime),
        code_(code),
        e_(e) {}

  // The steps from `from` to `to` - 1, every trailing entry updated; the
  // eliminated entries become zero. Returns the tested values found zero
  // (those beyond each panel only `withTests`).
  std::vector<TestedValue> advance(int64_t from, int64_t to, bool withTests) {
    for (int64_t first = from; first < to; first += kPanelSteps) {
      const int64_t end = std::min(first + kPanelSteps, to);
      reducePanel(first, end);
      solvePivotRows(first, end);
      if (withTests) testDiagonalBeyond(first, end);
      updateTrailing(first, end);
    }
    for (int64_t r = from + 1; r < n_; ++r) {
      std::fill(&at(r, from), &at(r, from) + (std::min(r, to) - from), 0.0);
    }
    if (withTests) testLastDiagonalEntry(to);
    return zeros_;
  }

  std::vector<TestedValue> run(int64_t firstStep, int64_t untilStep) {
    for (int64_t first = firstStep; first < n_; first += kPanelSteps) {
      const int64_t end = std::min(first + kPanelSteps, n_);
      reducePanel(first, end);
      solvePivotRows(first, end);
      testDiagonalBeyond(first, end);
      const bool enough = untilStep == kFirstZero ? !zeros_.empty() : end >= untilStep;
      if (end < n_ && enough) return zeros_;
      updateTrailing(first, end);
    }
    testLastDiagonalEntry(n_);
    return zeros_;
  }

 private:
  double& at(int64_t r, int64_t c) { return e_[r * n_ + c]; }
  double reduced(double x) const { return reduce(x, p_, inverseOfP_); }
  // 1 / x, or 0 for x = 0: a step with a zero pivot does nothing.
  double inverseOf(double x) const { return field_.centredInverse(x); }
  // The last diagonal entry, which only the product takes, after all the
  // steps.
  void testLastDiagonalEntry(int64_t steps) {
    if (steps == n_ && n_ >= 2 && reduced(at(n_ - 1, n_ - 1)) == 0.0) {
      zeros_.push_back({n_ - 1, n_ - 1});
    }
  }
  void test(int64_t steps, int64_t k, double value) {
    if (k + 1 < n_ && reduced(value) == 0.0) zeros_.push_back({steps, k});
  }

  // The panel's columns, row by row from the panel's first down: each row
  // takes the steps of the pivot rows above it (all the panel's, below the
  // panel), its multiples going to its columns of those steps; a row of the
  // panel, tested on its diagonal after each of its steps, then becomes a
  // pivot row.
  void reducePanel(int64_t first, int64_t end) {
    const int64_t width = end - first;
    const int64_t padded = roundUp(width, 8);
    pivotRows_.assign(static_cast<size_t>(padded * padded), 0.0);
    inverses_.assign(static_cast<size_t>(padded), 0.0);
    rows_.assign(static_cast<size_t>(padded * kPanelRows), 0.0);
    seen_.resize(static_cast<size_t>(padded));
    // The panel's rows one at a time, each a pivot row of those below.
    for (int64_t d = 0; d < width; ++d) {
      takePanelSteps(first, width, padded, first + d, 1, d, d);
      becomePivotRow(first, d, width, padded);
      putRowsBack(first, width, padded, first + d, 1);
    }
    for (int64_t i = end; i < n_; i += kPanelRows) {
      const int64_t rows = std::min(kPanelRows, n_ - i);
      takePanelSteps(first, width, padded, i, rows, width, -1);
      putRowsBack(first, width, padded, i, rows);
    }
  }

  void takePanelSteps(int64_t first, int64_t width, int64_t padded, int64_t i, int64_t rows,
                      int64_t steps, int64_t watch) {
    for (int64_t r = 0; r < rows; ++r) {
      std::copy(&at(i + r, first), &at(i + r, first) + width, &rows_[r * padded]);
    }
    code_.panelRowSteps(rows_.data(), rows, pivotRows_.data(), inverses_.data(), padded, steps,
                        watch, seen_.data(), p_);
  }

  void putRowsBack(int64_t first, int64_t width, int64_t padded, int64_t i, int64_t rows) {
    for (int64_t r = 0; r < rows; ++r) {
      std::copy(&rows_[r * padded], &rows_[r * padded] + width, &at(i + r, first));
    }
  }

  // Row d of the panel after its steps: its diagonal entry as each of them
  // left it is tested, its entries from the diagonal on are reduced and
  // kept, with the inverse of its pivot.
  void becomePivotRow(int64_t first, int64_t d, int64_t width, int64_t padded) {
    for (int64_t s = 0; s < d; ++s) test(first + s + 1, first + d, seen_[s]);
    double* pivotRow = &pivotRows_[static_cast<size_t>(d * padded)];
    double* row = rows_.data();
    for (int64_t c = d; c < width; ++c) {
      row[c] = reduced(row[c]);
      if (c > d) pivotRow[c] = row[c];
    }
    inverses_[d] = inverseOf(row[d]);
  }

  // The panel's rows right of it: row s takes the terms of the panel's
  // steps before it, then is reduced, ready to be a pivot row.
  void solvePivotRows(int64_t first, int64_t end) {
    for (int64_t s = first; s < end; ++s) {
      double* row = &at(s, 0);
      for (int64_t q = first; q < s; ++q) {
        if (q > first && (q - first) % kExactTerms == 0) {
          for (int64_t c = end; c < n_; ++c) row[c] = reduced(row[c]);
        }
        const double multiple = at(s, q);
        if (multiple == 0.0) continue;
        code_.rowSubtract(row + end, &at(q, end), multiple, n_ - end);
      }
      for (int64_t c = end; c < n_; ++c) row[c] = reduced(row[c]);
    }
  }

  // Each diagonal entry beyond the panel after each of its steps, a few
  // entries side by side (each one's steps are a chain of reductions).
  void testDiagonalBeyond(int64_t first, int64_t end) {
    constexpr int64_t kSideBySide = 8;
    for (int64_t k = end; k + 1 < n_; k += kSideBySide) {
      const int64_t count = std::min(kSideBySide, n_ - 1 - k);
      double d[kSideBySide];
      for (int64_t t = 0; t < count; ++t) d[t] = at(k + t, k + t);
      for (int64_t s = first; s < end; ++s) {
        for (int64_t t = 0; t < count; ++t) {
          d[t] = reduced(d[t] - at(k + t, s) * at(s, k + t));
          // Reduced, it is zero modulo p only when it is 0.
          if (d[t] == 0.0) zeros_.push_back({s + 1, k + t});
        }
      }
    }
  }

  void updateTrailing(int64_t first, int64_t end) {
    const int64_t depth = end - first;
    const int64_t rows = n_ - end;
    if (rows <= 0) return;
    // Every element, padding too, is written by the packing.
    packed_.resize(static_cast<size_t>(roundUp(rows, code_.tileRows) * depth));
    packedPivots_.resize(static_cast<size_t>(roundUp(rows, code_.tileCols) * depth));
    packMultiples(first, end, packed_.data());
    packPivotRows(first, end, packedPivots_.data());
    const int64_t cols = n_ - end;
    const int parts = parallel::partsFor(rows * cols * depth);
    parallel::runParts(parts, [&](int part) {
      const auto [begin, stop] = parallel::shareOf(rows, part, parts, code_.tileRows);
      code_.updateBlock(stop - begin, cols, depth, packed_.data() + begin * depth,
                        packedPivots_.data(), &at(end + begin, end), n_, p_);
    });
  }

  // Rows below the panel, their multiples, in panels of tileRows rows.
  void packMultiples(int64_t first, int64_t end, double* out) {
    const int64_t depth = end - first;
    for (int64_t i = end; i < n_; i += code_.tileRows) {
      for (int64_t l = 0; l < depth; ++l) {
        for (int64_t r = 0; r < code_.tileRows; ++r) {
          *out++ = i + r < n_ ? at(i + r, first + l) : 0.0;
        }
      }
    }
  }

  // The panel's rows right of it, in panels of tileCols columns.
  void packPivotRows(int64_t first, int64_t end, double* out) {
    const int64_t depth = end - first;
    for (int64_t c = end; c < n_; c += code_.tileCols) {
      for (int64_t l = 0; l < depth; ++l) {
        for (int64_t q = 0; q < code_.tileCols; ++q) {
          *out++ = c + q < n_ ? at(first + l, c + q) : 0.0;
        }
      }
    }
  }

  int64_t n_;
  double p_;
  double inverseOfP_;
  Field field_;
  const ModularCode& code_;
  double* e_;
  std::vector<double> packed_;
  std::vector<double> packedPivots_;
  // The panel's pivot rows (zero at and left of the diagonal), their
  // pivots' inverses, the entries of the rows taking the panel's steps and
  // a panel row's diagonal after each step.
  std::vector<double> pivotRows_;
  std::vector<double> inverses_;
  std::vector<double> rows_;
  std::vector<double> seen_;
  std::vector<TestedValue> zeros_;
};

std::vector<TestedValue> sortedZeros(std::vector<TestedValue> zeros) {
  std::sort(zeros.begin(), zeros.end(), [](const TestedValue& x, const TestedValue& y) {
    return x.steps != y.steps ? x.steps < y.steps : x.k < y.k;
  });
  return zeros;
}

void plainUpdateBlock(int64_t m, int64_t n, int64_t k, const double* a, const double* b, double* c,
                      int64_t ldc, double p) {
  const int tileRows = kPlainModularCode.tileRows;
  const int tileCols = kPlainModularCode.tileCols;
  const double inverseOfP = 1.0 / p;
  for (int64_t i = 0; i < m; ++i) {
    const double* rowPanel = a + i / tileRows * tileRows * k;
    for (int64_t j = 0; j < n; ++j) {
      const double* columnPanel = b + j / tileCols * tileCols * k;
      double sum = c[i * ldc + j];
      for (int64_t l = 0; l < k; ++l) {
        if (l > 0 && l % kExactTerms == 0) sum = reduce(sum, p, inverseOfP);
        sum -= rowPanel[l * tileRows + i % tileRows] * columnPanel[l * tileCols + j % tileCols];
      }
      c[i * ldc + j] = reduce(sum, p, inverseOfP);
    }
  }
}

void plainRowTakeAway(double* row, const double* pivot, double multiple, int64_t n, double p) {
  const double inverseOfP = 1.0 / p;
  for (int64_t c = 0; c < n; ++c) row[c] = reduce(row[c] - multiple * pivot[c], p, inverseOfP);
}

}  // namespace

void plainRowSubtract(double* row, const double* pivot, double multiple, int64_t n) {
  for (int64_t c = 0; c < n; ++c) row[c] -= multiple * pivot[c];
}

void plainPanelRowSteps(double* v, int64_t rows, const double* pivotRows, const double* inverses,
                        int64_t width, int64_t steps, int64_t watch, double* seen, double p) {
  const double inverseOfP = 1.0 / p;
  for (int64_t r = 0; r < rows; ++r) {
    double* row = v + r * width;
    for (int64_t s = 0; s < steps; ++s) {
      if (s > 0 && s % kExactTerms == 0) {
        for (int64_t c = s; c < width; ++c) row[c] = reduce(row[c], p, inverseOfP);
      }
      row[s] = reduce(reduce(row[s], p, inverseOfP) * inverses[s], p, inverseOfP);
      plainRowSubtract(row + s + 1, pivotRows + s * width + s + 1, row[s], width - s - 1);
      if (watch >= 0) seen[s] = v[watch];
    }
  }
}

uint32_t plainMinorZeros(const double* residues, int64_t n, const int32_t* rows,
                         const int32_t* cols, double* work, double p) {
  const int64_t m = n - 1;
  uint32_t zeros = 0;
  for (int t = 0; t < kPlainModularCode.lanes; ++t) {
    for (int64_t r = 0; r < m; ++r) {
      for (int64_t c = 0; c < m; ++c) {
        work[r * m + c] = residues[(r + (r >= rows[t])) * n + c + (c >= cols[t])];
      }
    }
    const std::vector<TestedValue> found =
        zerosWithoutExchanges(work, m, 0, m, static_cast<int64_t>(p), kPlainModularCode);
    if (!found.empty()) zeros |= uint32_t{1} << t;
  }
  return zeros;
}

const ModularCode kPlainModularCode = {4,
                                       4,
                                       &plainUpdateBlock,
                                       &plainRowTakeAway,
                                       &plainRowSubtract,
                                       &plainPanelRowSteps,
                                       4,
                                       &plainMinorZeros};

std::vector<TestedValue> zerosWithoutExchanges(double* residues, int64_t n, int64_t firstStep,
                                               int64_t untilStep, int64_t prime,
                                               const ModularCode& code) {
  return sortedZeros(BlockedResidues(residues, n, prime, code).run(firstStep, untilStep));
}

void stepsWithoutExchanges(double* residues, int64_t n, int64_t from, int64_t to, int64_t prime,
                           const ModularCode& code) {
  BlockedResidues(residues, n, prime, code).advance(from, to, false);
}

std::vector<TestedValue> testedStepsWithoutExchanges(double* residues, int64_t n, int64_t from,
                                                     int64_t to, int64_t prime,
                                                     const ModularCode& code) {
  return sortedZeros(BlockedResidues(residues, n, prime, code).advance(from, to, true));
}

const ModularCode& activeModularCode() {
#if defined(__x86_64__)
  const std::string_view name = activeIsa().name;
  if (name == "avx512") return avx512::kModularCode;
  if (name == "avx2") return hasFusedMultiplyAdd() ? avx2fma::kModularCode : avx2::kModularCode;
#endif
  return generic::kModularCode;
}

std::vector<double> centredResidues(const float* a, int64_t n, int64_t prime) {
  const Field field(prime);
  std::vector<double> residues(static_cast<size_t>(n * n));
  for (int64_t k = 0; k < n * n; ++k) {
    residues[k] = std::isfinite(a[k]) ? field.centredResidueOf(a[k]) : 0.0;
  }
  return residues;
}

}  // namespace trelvo::kernels::modular
