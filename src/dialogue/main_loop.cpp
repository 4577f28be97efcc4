#include "dialogue/main_loop.h"

#include <new>

#include "dialogue/entry_display.h"
#include "dialogue/messages.h"
#include "dialogue/working_matrix.h"
#include "ops/determinant.h"
#include "ops/inverse.h"
#include "ops/rank.h"
#include "ops/scalar_sum.h"
#include "ops/system.h"
#include "ops/transpose_product.h"

namespace trelvo {
namespace {

constexpr char kBanner[] =
    "********************************************************************************\n"
    "                                     TRELVO                    \n"
    "                 tutto cio' che vi serve per operare su matrici\n"
    "\n"
    "********************************************************************************\n";

constexpr char kMenu[] =
    "\nScegliere un opzione:\n\n"
    "1: Prodotto di uno scalare per una matrice\n"
    "2: Somma fra 2 matrici\n"
    "3: Trasposizione\n"
    "4: Moltiplicazione RIGHE x COLONNE di 2 matrici\n"
    "5: Calcolo del DETERMINANTE\n"
    "6: Inversa di una matrice\n"
    "7: Calcolo del RANGO di una matrice\n"
    "8: Risoluzione di sistemi lineari\n"
    "\n\n"
    "9: NUOVA MATRICE\n\n"
    "   --> ";

constexpr char kPassHead[] = "\n\nLa seguente matrice e' in memoria:\n\n";
constexpr char kReturnQuestion[] =
    "\n\n  RITORNA AL MENU' (1)                                              ESCI (9)\n   --> ";
constexpr char kPausePrompt[] = "Premere un tasto per continuare . . . ";

constexpr int32_t kYes = 1;

using Operation = void (*)(Dialogue&, WorkingMatrix&);

struct MenuEntry {
  int32_t choice;
  Operation operation;
};

// Choice 9 is listed in the menu but has no operation.
constexpr MenuEntry kOperations[] = {
    {1, scalarProduct},     {2, matrixSum},     {3, transposeMatrix}, {4, matrixProduct},
    {5, matrixDeterminant}, {6, inverseMatrix}, {7, matrixRank},      {8, solveSystem},
};

Operation operationFor(int32_t choice) {
  for (const MenuEntry& entry : kOperations) {
    if (entry.choice == choice) return entry.operation;
  }
  return nullptr;
}

// Asks for the dimensions until they give a matrix that can be held.
WorkingMatrix askWorkingMatrix(Dialogue& d) {
  for (;;) {
    auto [rows, cols] = askDimensions(d, MatrixRole::kWorking);
    if (rows < 1 || cols < 1) {
      d.io.print(kDimensionsBelowOne);
      continue;
    }
    try {
      return createWorkingMatrix(d, rows, cols);
    } catch (const std::bad_alloc&) {
      d.io.print(kNoStorage);
    }
  }
}

void enterFirstMatrix(Dialogue& d, WorkingMatrix& m) {
  int32_t method;
  do {
    method = enterElements(d, m.current(), m.rows, m.cols, Wording::kPlain);
  } while (method != kRandomFill && method != kManualEntry);
}

int32_t askReturn(Dialogue& d) {
  d.io.print(kReturnQuestion);
  return d.io.readInt();
}

// Runs the operation of `choice`, if it has one; a refusal for want of
// storage leaves the working matrix as it was. Returns whether one ran.
bool runOperation(Dialogue& d, WorkingMatrix& m, int32_t choice) {
  Operation operation = operationFor(choice);
  if (!operation) return false;
  try {
    operation(d, m);
  } catch (const std::bad_alloc&) {
    d.io.print(kNoStorage);
  }
  return true;
}

void printPassHead(Dialogue& d, WorkingMatrix& m) {
  d.io.print(kPassHead);
  if (isPrintable(m.cols)) printFlat(d.io, m.current(), m.count, m.cols);
  d.io.print(kMenu);
}

void runPasses(Dialogue& d) {
  d.io.print(kBanner);
  d.io.print(kMenu);
  int32_t choice = d.io.readInt();
  WorkingMatrix m = askWorkingMatrix(d);
  int32_t answer = 0;
  bool firstPass = true;
  do {
    if (!firstPass) {
      printPassHead(d, m);
      choice = d.io.readInt();
    }
    d.random.reseed(static_cast<uint32_t>(d.clock()));
    if (firstPass) enterFirstMatrix(d, m);
    firstPass = false;
    if (runOperation(d, m, choice)) answer = askReturn(d);
  } while (answer == kYes);
  d.io.print(kPausePrompt);
  d.io.flush();
  d.waitForKey();
  d.io.print("\n");
}

}  // namespace

void runDialogue(Dialogue& d) {
  try {
    runPasses(d);
  } catch (const InputEnded&) {
    d.io.print("\n");
  }
  d.io.flush();
}

}  // namespace trelvo
