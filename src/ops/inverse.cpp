// Inverse by cofactors: entry (j, i) of the inverse is the cofactor of
// position (i, j) times the reciprocal of the determinant. Every
// determinant, the whole matrix's and each minor's, is taken afresh and
// prints its own working: by detTS, or, for minors too large for any
// working but their line breaks, all together by the batched kernel, which
// gives the same values bit for bit. Nothing is reused between them.
#include "ops/inverse.h"

#include <string>

#include "dialogue/entry_display.h"
#include "dialogue/messages.h"
#include "dialogue/progress.h"
#include "kernels/kernels.h"
#include "ops/determinant.h"

namespace trelvo {
namespace {

constexpr char kHeading[] = "\n\nLa matrice INVERSA E':\n\n";
// From this minor side on, detTS prints only "\n\n" and a "\n" per column
// step, so the minors' determinants can be taken all together beforehand.
constexpr int32_t kBatchedMinorSide = 12;
// From this side on the minors take about a second or more: their
// progress is shown.
constexpr int32_t kSideShowingProgress = 100;
constexpr char kProgress[] = "Calcolo dell'inversa";

// What the cofactors of one n x n matrix need, all had before any printing.
struct CofactorWork {
  CofactorWork(const Dialogue& d, MatrixView source, int32_t side)
      : matrix(source),
        n(side),
        batched(side - 1 >= kBatchedMinorSide),
        minor(d.allocate<ElementPair>(batched ? 0 : int64_t{side - 1} * (side - 1))),
        workingCopy(d.allocate<float>(int64_t{side} * side)),
        minorDets(d.allocate<float>(batched ? int64_t{side} * side : 0)),
        reduced(d.allocate<uint8_t>(batched ? int64_t{side} * side : 0)),
        quietWorking(batched ? "\n\n" + std::string(side - 1, '\n') : "") {}

  MatrixView matrix;
  int32_t n;
  // Large minors go in batches: every minor's determinant at once, and
  // whether detTS would have printed its (quiet) reduction. Smaller ones
  // go one by one through detTS, each built in `minor`.
  bool batched;
  Storage<ElementPair> minor;
  // detTS's working copy, shared by all its calls.
  Storage<float> workingCopy;
  Storage<float> minorDets;
  Storage<uint8_t> reduced;
  // What detTS prints for a reduced minor: "\n\n" and a "\n" per step.
  std::string quietWorking;
};

// Member 0 of the minor's pairs gets, row-major, the matrix left when row i
// and column j are removed.
void buildMinor(CofactorWork& w, int32_t i, int32_t j) {
  int64_t k = 0;
  for (int32_t p = 0; p < w.n; ++p) {
    if (p == i) continue;
    for (int32_t q = 0; q < w.n; ++q) {
      if (q != j) w.minor[k++].member[0] = w.matrix[int64_t{p} * w.n + q];
    }
  }
}

// The current matrix into detTS's working copy, which it no longer needs.
void copyCurrent(CofactorWork& w) {
  for (int64_t k = 0; k < int64_t{w.n} * w.n; ++k) w.workingCopy[k] = w.matrix[k];
}

// What detTS prints and returns for the minor of (i, j), from the batch.
float batchedMinorDeterminant(Console& io, CofactorWork& w, int32_t i, int32_t j) {
  const int64_t position = int64_t{i} * w.n + j;
  if (w.reduced[position]) io.print(w.quietWorking);
  return w.minorDets[position];
}

float minorDeterminant(Console& io, CofactorWork& w, int32_t i, int32_t j) {
  // A 1 x 1 matrix has an empty minor, whose determinant is the empty
  // product, 1; detTS would answer 0 for it.
  if (w.n == 1) return 1.0f;
  if (w.batched) return batchedMinorDeterminant(io, w, i, j);
  buildMinor(w, i, j);
  const int32_t minorCount = (w.n - 1) * (w.n - 1);
  return detTS(io, w.minor.data(), minorCount, 0, w.workingCopy.data());
}

// +1 or -1 as a float, so a zero minor gives a signed zero.
float cofactorSign(int32_t i, int32_t j) { return (i + j) % 2 == 0 ? 1.0f : -1.0f; }

void batchMinorDeterminants(Dialogue& d, CofactorWork& w) {
  copyCurrent(w);
  if (w.n < kSideShowingProgress) {
    kernels::minorDeterminants(w.workingCopy.data(), w.n, w.minorDets.data(), w.reduced.data());
    return;
  }
  ProgressLine progress(d, kProgress);
  kernels::minorDeterminants(w.workingCopy.data(), w.n, w.minorDets.data(), w.reduced.data(),
                             [&](int64_t done, int64_t total) { progress.update(done, total); });
}

void writeInverse(Dialogue& d, CofactorWork& w, float det, MatrixView inverse) {
  Console& io = d.io;
  const float reciprocal = 1.0f / det;
  if (w.batched) batchMinorDeterminants(d, w);
  for (int32_t i = 0; i < w.n; ++i) {
    for (int32_t j = 0; j < w.n; ++j) {
      io.print("\n");
      const float cofactor = minorDeterminant(io, w, i, j) * cofactorSign(i, j);
      inverse.set(int64_t{j} * w.n + i, kernels::productInOrder(reciprocal, cofactor));
    }
  }
}

}  // namespace

void inverseMatrix(Dialogue& d, WorkingMatrix& m) {
  if (m.rows != m.cols) {
    d.io.print(kNotSquareForInverse);
    return;
  }
  CofactorWork work(d, m.current(), squareSide(m.count));
  const float det = detTS(d.io, m.pairs.data(), m.count, m.selector, work.workingCopy.data());
  if (det == 0.0f) {
    d.io.print(kNotInvertible);
    return;
  }
  writeInverse(d, work, det, m.pending());
  d.io.print(kHeading);
  if (isPrintable(work.n)) printFlat(d.io, m.pending(), m.count, work.n);
  offerSave(d, m, keepPending);
}

}  // namespace trelvo
