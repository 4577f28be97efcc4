/* The yardstick of the determinant: OpenBLAS sgetrf (LU) on a random n x n
   matrix. Prints the seconds of the call alone. */
#include "fill.h"

void sgetrf_(const int* m, const int* n, float* a, const int* lda, int* pivots, int* info);

int main(int argc, char** argv) {
  int n = argc > 1 ? atoi(argv[1]) : 2000;
  float* a = randomMatrix(n);
  int* pivots = malloc(sizeof(int) * n);
  int info = 0;
  double start = seconds();
  sgetrf_(&n, &n, a, &n, pivots, &info);
  double elapsed = seconds() - start;
  float det = 1.0f;
  for (int d = 0; d < n; ++d) det *= a[(long)d * n + d];
  printf("%.6f %d %g\n", elapsed, info, det);
  return 0;
}
