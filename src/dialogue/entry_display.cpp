#include "dialogue/entry_display.h"

#include <algorithm>
#include <optional>

#include "dialogue/messages.h"
#include "dialogue/progress.h"

namespace trelvo {
namespace {

constexpr char kPlainQuestion[] =
    "\nInserire gli elementi della matrice:\n1: Generazione casuale;\n2: Inserimento manuale.\n"
    "   --> ";
constexpr char kSecondMatrixQuestion[] =
    "\nInserire gli elementi della 2a matrice:\n1: Generazione casuale;\n2: Inserimento "
    "manuale.\n   --> ";
constexpr char kKnownTermsQuestion[] =
    "\nInserire i termini noti del sistema:\n1: Generazione casuale;\n2: Inserimento manuale.\n"
    "   --> ";
constexpr char kWorkingRowsPrompt[] = "\nIndicare la dimensione della matrice: \n  RIGHE   (>1): ";
constexpr char kSecondRowsPrompt[] =
    "\nIndicare la dimensione della 2a matrice: \n  RIGHE   (>1): ";
constexpr char kColumnsPrompt[] = "\n  COLONNE (>1): ";
constexpr char kMaximumPrompt[] = "\nIndicare il valore massimo dei numeri da generare\n  --> ";
constexpr char kFillProgress[] = "Generazione degli elementi";
// Fills this large take about a second or more and show their progress,
// counted in chunks of draws.
constexpr int64_t kFillShowingProgress = 100'000'000;
constexpr int64_t kFillChunk = int64_t{1} << 20;

int32_t readMaximum(Dialogue& d) {
  d.io.print(kMaximumPrompt);
  for (;;) {
    int32_t maximum = d.io.readInt();
    d.io.print("\n");
    if (maximum != 0) return maximum;
    d.io.print(kMaximumZero);
    d.io.print(kMaximumPrompt);
  }
}

// Each draw v gives (v rem maximum) + 1: whole numbers from 1 to |maximum|.
void fillAtRandom(Dialogue& d, MatrixView target, int64_t count) {
  const int64_t maximum = readMaximum(d);
  std::optional<ProgressLine> progress;
  if (count >= kFillShowingProgress) progress.emplace(d, kFillProgress);
  for (int64_t begin = 0; begin < count; begin += kFillChunk) {
    const int64_t end = std::min(count, begin + kFillChunk);
    for (int64_t k = begin; k < end; ++k) {
      target.set(k, static_cast<float>(d.random.next() % maximum + 1));
    }
    if (progress) progress->update(end, count);
  }
}

const char* methodQuestion(Wording wording) {
  switch (wording) {
    case Wording::kPlain:
      return kPlainQuestion;
    case Wording::kSecondMatrix:
      return kSecondMatrixQuestion;
    case Wording::kKnownTerms:
      return kKnownTermsQuestion;
  }
  return kPlainQuestion;
}

// Known terms are a column: "b%d: " names only the row.
void enterByHand(Dialogue& d, MatrixView target, int32_t rows, int32_t cols, Wording wording) {
  int64_t k = 0;
  for (int32_t i = 1; i <= rows; ++i) {
    for (int32_t j = 1; j <= cols; ++j) {
      if (wording == Wording::kKnownTerms) {
        d.io.printf("b%d: ", i);
      } else {
        d.io.printElementPrompt(i, j);
      }
      target.set(k++, d.io.readDecimal());
    }
    d.io.print("\n");
  }
}

}  // namespace

Dimensions askDimensions(Dialogue& d, MatrixRole role) {
  Dimensions typed;
  d.io.print(role == MatrixRole::kWorking ? kWorkingRowsPrompt : kSecondRowsPrompt);
  typed.rows = d.io.readInt();
  d.io.print(kColumnsPrompt);
  typed.cols = d.io.readInt();
  d.io.print("\n\n");
  return typed;
}

Operand createOperand(const Dialogue& d, int32_t rows2, int32_t cols2) {
  Operand operand;
  operand.elements = d.allocate<float>(int64_t{rows2} * cols2);
  operand.rows2 = rows2;
  operand.cols2 = cols2;
  return operand;
}

int32_t enterElements(Dialogue& d, MatrixView target, int32_t rows, int32_t cols, Wording wording) {
  d.io.print(methodQuestion(wording));
  int32_t method = d.io.readInt();
  d.io.print("\n");
  if (method == kRandomFill) fillAtRandom(d, target, int64_t{rows} * cols);
  if (method == kManualEntry) enterByHand(d, target, rows, cols, wording);
  return method;
}

void printFlat(Console& io, MatrixView values, int64_t count, int32_t cols) {
  for (int64_t k = 0; k < count; ++k) {
    io.printCell(values[k]);
    if ((k + 1) % cols == 0) io.print("\n");
  }
}

void printRows(Console& io, const float* matrix, int32_t rows, int32_t cols) {
  printFlat(io, MatrixView(const_cast<float*>(matrix)), int64_t{rows} * cols, cols);
}

}  // namespace trelvo
