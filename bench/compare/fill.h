/* Random whole numbers from 1 to 100, as the program's random fill, and a
   clock for the yardsticks' own timing. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static float* randomMatrix(int n) {
  float* m = malloc(sizeof(float) * (size_t)n * (size_t)n);
  for (long k = 0; k < (long)n * n; ++k) m[k] = (float)(rand() % 100 + 1);
  return m;
}

static double seconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}
