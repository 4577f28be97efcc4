// Helpers for driving one operation in memory: typed answers in, output
// captured, and working matrices built from their values.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "dialogue/console.h"
#include "dialogue/dialogue.h"
#include "dialogue/working_matrix.h"

namespace trelvo::testing {

inline constexpr char kSaveQuestion[] =
    "\n\nVuoi salvare la matrice ottenuta? (YES: 1)\n"
    "(Cosi' facendo la matrice originaria verra' cancellata!!!)\n   --> ";

/// A dialogue whose answers are `typed` and whose output is kept.
struct TypedDialogue {
  explicit TypedDialogue(const std::string& typed) : in(typed), console(in, out), d(console) {}

  /// What has not been read yet.
  std::string unread() { return in.str().substr(static_cast<size_t>(in.tellg())); }

  std::istringstream in;
  std::ostringstream out;
  Console console;
  Dialogue d;
};

/// A rows x cols working matrix whose current values are `values` and whose
/// pending values are all `pending`.
inline WorkingMatrix matrixOf(const Dialogue& d, int32_t rows, int32_t cols,
                              const std::vector<float>& values, float pending = -99.0f) {
  WorkingMatrix m = createWorkingMatrix(d, rows, cols);
  for (int32_t k = 0; k < m.count; ++k) {
    m.current().set(k, values.at(static_cast<size_t>(k)));
    m.pending().set(k, pending);
  }
  return m;
}

inline std::vector<float> valuesOf(MatrixView view, int64_t count) {
  std::vector<float> values;
  for (int64_t k = 0; k < count; ++k) values.push_back(view[k]);
  return values;
}

inline std::vector<float> currentOf(WorkingMatrix& m) { return valuesOf(m.current(), m.count); }
inline std::vector<float> pendingOf(WorkingMatrix& m) { return valuesOf(m.pending(), m.count); }

}  // namespace trelvo::testing
