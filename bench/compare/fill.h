/* Random whole numbers from 1 to 100, as the program's random fill. */
#include <stdlib.h>

static float* randomMatrix(int n) {
  float* m = malloc(sizeof(float) * (size_t)n * (size_t)n);
  for (long k = 0; k < (long)n * n; ++k) m[k] = (float)(rand() % 100 + 1);
  return m;
}
