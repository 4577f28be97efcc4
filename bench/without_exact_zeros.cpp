// Linked into one benchmark build of the program only: the reduction's
// zeros are the floats' alone, as before it knew exact values, so that a
// benchmark can weigh what the exact test costs.
#include "kernels/exact_zeros.h"

namespace {

const bool kFloatZerosOnly = [] {
  trelvo::kernels::useExactZeros(false);
  return true;
}();

}  // namespace
