// Random integer matrices for the identity checks of the determinant and
// the inverse.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace trelvo::testing {

/// An n x n integer matrix, row-major, with a dominant diagonal whose rows
/// are then shuffled. The reduction replaces only exactly zero pivots, so a
/// rounding residue where exact arithmetic gives zero becomes a pivot and
/// spoils the result; diagonal dominance keeps such residues away, and the
/// zeros off the diagonal still make the reduction exchange rows.
inline std::vector<float> randomShuffledDominant(std::mt19937& random, int n) {
  std::uniform_int_distribution<int> entry(-2, 2);
  std::uniform_int_distribution<int> margin(1, 3);
  std::vector<std::vector<float>> rows(static_cast<size_t>(n),
                                       std::vector<float>(static_cast<size_t>(n)));
  for (size_t r = 0; r < rows.size(); ++r) {
    float offDiagonal = 0.0f;
    for (size_t c = 0; c < rows.size(); ++c) {
      if (c == r) continue;
      rows[r][c] = static_cast<float>(entry(random));
      offDiagonal += std::abs(rows[r][c]);
    }
    const float sign = entry(random) < 0 ? -1.0f : 1.0f;
    rows[r][r] = sign * (offDiagonal + static_cast<float>(margin(random)));
  }
  std::shuffle(rows.begin(), rows.end(), random);
  std::vector<float> values;
  for (const auto& row : rows) values.insert(values.end(), row.begin(), row.end());
  return values;
}

}  // namespace trelvo::testing
