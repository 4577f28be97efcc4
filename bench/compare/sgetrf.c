/* The yardstick of the determinant: OpenBLAS sgetrf (LU) on a random n x n matrix. */
#include <stdio.h>

#include "fill.h"

void sgetrf_(const int* m, const int* n, float* a, const int* lda, int* pivots, int* info);

int main(int argc, char** argv) {
  int n = argc > 1 ? atoi(argv[1]) : 2000;
  float* a = randomMatrix(n);
  int* pivots = malloc(sizeof(int) * n);
  int info = 0;
  sgetrf_(&n, &n, a, &n, pivots, &info);
  float det = 1.0f;
  for (int d = 0; d < n; ++d) det *= a[(long)d * n + d];
  printf("%d %g\n", info, det);
  return 0;
}
