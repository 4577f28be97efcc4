// The pivot sweep, written once for every zero test: the determinant's on
// floats, on exact values and on the row numbers of its first step, and
// the echelon form's, each with its own policy.
//
// At a position (r, c) whose entry counts as zero, every row below whose
// entry in column c does not count as zero is exchanged with row r in
// turn, one after the other (the sweep does not stop at the first); where
// there is none, the policy's nothingBelow(r, c) runs (a flush of residues,
// or nothing). A sweep visits the positions along the diagonal, from a
// first one, while a row lies below.
//
// A policy has:
//   bool countsAsZero(int64_t r, int64_t c);
//   void exchange(int64_t r, int64_t p);   // rows r and p, and the sign
//   void nothingBelow(int64_t r, int64_t c);
#pragma once

#include <cstdint>

namespace trelvo::kernels {

/// Position (r, c): rows r + 1 to `end` - 1 are looked at (those from `end`
/// on count as zero in every column). Returns whether the entry then counts
/// as non-zero.
template <class Policy>
bool sweepPosition(Policy& policy, int64_t r, int64_t c, int64_t end) {
  if (!policy.countsAsZero(r, c)) return true;
  bool exchanged = false;
  for (int64_t p = r + 1; p < end; ++p) {
    if (policy.countsAsZero(p, c)) continue;
    policy.exchange(r, p);
    exchanged = true;
  }
  if (!exchanged) policy.nothingBelow(r, c);
  return exchanged;
}

/// The positions (r, c), (r + 1, c + 1), ... while c < cols and a row lies
/// below r among the `rows`, and r < `end` (rows from `end` on count as
/// zero in every column).
template <class Policy>
void sweepAlongDiagonal(Policy& policy, int64_t r, int64_t c, int64_t rows, int64_t cols,
                        int64_t end) {
  for (; c < cols && r + 1 < rows && r < end; ++r, ++c) sweepPosition(policy, r, c, end);
}

}  // namespace trelvo::kernels
