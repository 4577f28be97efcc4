/* The yardstick of the product: OpenBLAS sgemm on two random n x n matrices. */
#include <cblas.h>
#include <stdio.h>

#include "fill.h"

int main(int argc, char** argv) {
  int n = argc > 1 ? atoi(argv[1]) : 2000;
  float* a = randomMatrix(n);
  float* b = randomMatrix(n);
  float* c = calloc((size_t)n * n, sizeof(float));
  cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0f, a, n, b, n, 0.0f, c, n);
  printf("%f\n", c[0]);
  return 0;
}
