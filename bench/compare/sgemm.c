/* The yardstick of the product: OpenBLAS sgemm on two random n x n matrices.
   Prints the seconds of the call alone. */
#include <cblas.h>

#include "fill.h"

int main(int argc, char** argv) {
  int n = argc > 1 ? atoi(argv[1]) : 2000;
  float* a = randomMatrix(n);
  float* b = randomMatrix(n);
  float* c = calloc((size_t)n * n, sizeof(float));
  double start = seconds();
  cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0f, a, n, b, n, 0.0f, c, n);
  printf("%.6f %f\n", seconds() - start, c[0]);
  return 0;
}
