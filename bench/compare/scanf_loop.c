/* The yardstick of typed input: a prompt with printf and a read with scanf
   for each element of a rows x cols matrix. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  int rows = argc > 1 ? atoi(argv[1]) : 1000;
  int cols = argc > 2 ? atoi(argv[2]) : 1000;
  float* m = malloc(sizeof(float) * (size_t)rows * cols);
  long k = 0;
  for (int i = 1; i <= rows; ++i) {
    for (int j = 1; j <= cols; ++j) {
      printf("a%d%d: ", i, j);
      if (scanf("%f", &m[k++]) != 1) return 1;
    }
    printf("\n");
  }
  fprintf(stderr, "%f\n", m[k - 1]);
  return 0;
}
