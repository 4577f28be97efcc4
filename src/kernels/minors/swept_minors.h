// Minors of one row that meet zeros a sweep acts on.
//
// The minor without row i and column j takes its first j column steps,
// sweeps and all, as the matrix without row i takes them, as long as its
// sweeps decide alike: a step updates each entry from itself, its row's
// entry in the pivot column and the pivot row, and a sweep exchanges whole
// rows. The sweep's position k tests column k for the minors without a
// column right of k, and column k + 1 for the others (their column k is the
// matrix's k + 1). Where the two do differently (different exchanges, or
// residues flushed in different columns), the minors part into two sets,
// each going on from a copy of the steps so far. Each minor takes its last
// steps from its set's state on the lanes without exchanges; a minor whose
// lanes meet a zero, and the one minor left in a set, go on as a set of
// their own, their column left out, to the end of their steps.
//
// Integer matrices of small entries meet such zeros in their first steps,
// and every minor with them: the steps that those minors would take one by
// one, each its own, are then taken once for each set, as long as their
// sweeps decide alike (small fills part most sets within a few steps).
#pragma once

#include <cstdint>
#include <vector>

#include "kernels/dispatch.h"
#include "kernels/minors/minor_batch.h"

namespace trelvo::kernels::minors {

/// Room for the steps of one set of minors, kept for the next: fresh
/// memory costs its pages, and sets come and go by the dozen.
struct SweptRoom {
  std::vector<float> a;
  std::vector<double> first;
  std::vector<double> second;
};

/// Whether the minors of row i are worth taking so: enough of them, and
/// the matrix without row i all finite (else no two have exact values).
bool sweptRowPays(const Minors& m, int64_t i, int64_t minors);

/// The determinants of the minors without row i and one of the columns
/// `cols` (ascending), to det[i * n + j], each as the plain code takes it.
/// `rooms` keeps the room of the sets done, for the next.
/// REQUIRES: sweptRowPays; each of these minors has exact values.
void reduceRowWithSweeps(const isa::Isa& x, const Minors& m, MinorBatch& batch,
                         std::vector<SweptRoom>& rooms, int64_t i, const std::vector<int64_t>& cols,
                         float* det);

}  // namespace trelvo::kernels::minors
