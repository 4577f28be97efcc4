/* The strict ceiling: the best rate of register-only loops of the pattern
   acc = acc + b * m, the multiply and the add as separate instructions (no
   fused multiply-add), with 6 to 16 independent vector accumulators of the
   widest vectors this processor has (AVX-512 or AVX2, chosen at run time),
   on one core and on two at once.

   usage: ceiling [avx2]        prints "ISA one-core-GFLOPS two-core-GFLOPS"
          ceiling [avx2] 1|2    prints GFLOP/s of one quick run on 1 or 2 cores
   (to pair with a timed run of other work on a busy machine); avx2 takes
   the AVX2 loops on an AVX-512 processor too. */
#define _GNU_SOURCE
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* One step of one accumulator: a product into a scratch register (two of
   them alternate, so neighbouring steps do not wait on each other's
   renaming) and its sum into the accumulator. */
#define STEP512(acc, tmp) \
  "vmulps %%zmm30, %%zmm31, %%zmm" #tmp "\n\tvaddps %%zmm" #tmp ", %%zmm" #acc ", %%zmm" #acc "\n\t"
#define STEP256(acc, tmp) \
  "vmulps %%ymm12, %%ymm13, %%ymm" #tmp "\n\tvaddps %%ymm" #tmp ", %%ymm" #acc ", %%ymm" #acc "\n\t"

#define S512_6 STEP512(0, 28) STEP512(1, 29) STEP512(2, 28) STEP512(3, 29) STEP512(4, 28) STEP512(5, 29)
#define S512_8 S512_6 STEP512(6, 28) STEP512(7, 29)
#define S512_12 S512_8 STEP512(8, 28) STEP512(9, 29) STEP512(10, 28) STEP512(11, 29)
#define S512_16 S512_12 STEP512(12, 28) STEP512(13, 29) STEP512(14, 28) STEP512(15, 29)
#define S256_6 STEP256(0, 14) STEP256(1, 15) STEP256(2, 14) STEP256(3, 15) STEP256(4, 14) STEP256(5, 15)
#define S256_8 S256_6 STEP256(6, 14) STEP256(7, 15)
#define S256_10 S256_8 STEP256(8, 14) STEP256(9, 15)
#define S256_12 S256_10 STEP256(10, 14) STEP256(11, 15)

#define ZERO512 \
  "vpxord %%zmm0, %%zmm0, %%zmm0\n\t" \
  "vmovaps %%zmm0, %%zmm1\n\tvmovaps %%zmm0, %%zmm2\n\tvmovaps %%zmm0, %%zmm3\n\t" \
  "vmovaps %%zmm0, %%zmm4\n\tvmovaps %%zmm0, %%zmm5\n\tvmovaps %%zmm0, %%zmm6\n\t" \
  "vmovaps %%zmm0, %%zmm7\n\tvmovaps %%zmm0, %%zmm8\n\tvmovaps %%zmm0, %%zmm9\n\t" \
  "vmovaps %%zmm0, %%zmm10\n\tvmovaps %%zmm0, %%zmm11\n\tvmovaps %%zmm0, %%zmm12\n\t" \
  "vmovaps %%zmm0, %%zmm13\n\tvmovaps %%zmm0, %%zmm14\n\tvmovaps %%zmm0, %%zmm15\n\t" \
  "vmovaps %%zmm0, %%zmm30\n\tvmovaps %%zmm0, %%zmm31\n\t"
#define ZERO256 \
  "vxorps %%ymm0, %%ymm0, %%ymm0\n\t" \
  "vmovaps %%ymm0, %%ymm1\n\tvmovaps %%ymm0, %%ymm2\n\tvmovaps %%ymm0, %%ymm3\n\t" \
  "vmovaps %%ymm0, %%ymm4\n\tvmovaps %%ymm0, %%ymm5\n\tvmovaps %%ymm0, %%ymm6\n\t" \
  "vmovaps %%ymm0, %%ymm7\n\tvmovaps %%ymm0, %%ymm8\n\tvmovaps %%ymm0, %%ymm9\n\t" \
  "vmovaps %%ymm0, %%ymm10\n\tvmovaps %%ymm0, %%ymm11\n\tvmovaps %%ymm0, %%ymm12\n\t" \
  "vmovaps %%ymm0, %%ymm13\n\t"

#define CLOBBER256 \
  "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", \
      "xmm11", "xmm12", "xmm13", "xmm14", "xmm15"
#define CLOBBER512 \
  CLOBBER256, "xmm28", "xmm29", "xmm30", "xmm31"

/* Each loop runs `iterations` passes of its steps, unrolled four times. */
#define LOOP(name, isa, zero, steps, clobbers)                                 \
  __attribute__((target(isa)))    static void name(long iterations) {          \
    __asm__ volatile(zero "1:\n\t" steps steps steps steps "dec %0\n\tjnz 1b" \
                     : "+r"(iterations)                                        \
                     :                                                         \
                     : clobbers, "cc");                                        \
  }

LOOP(loop512_6, "avx512f", ZERO512, S512_6, CLOBBER512)
LOOP(loop512_8, "avx512f", ZERO512, S512_8, CLOBBER512)
LOOP(loop512_12, "avx512f", ZERO512, S512_12, CLOBBER512)
LOOP(loop512_16, "avx512f", ZERO512, S512_16, CLOBBER512)
LOOP(loop256_6, "avx2", ZERO256, S256_6, CLOBBER256)
LOOP(loop256_8, "avx2", ZERO256, S256_8, CLOBBER256)
LOOP(loop256_10, "avx2", ZERO256, S256_10, CLOBBER256)
LOOP(loop256_12, "avx2", ZERO256, S256_12, CLOBBER256)

struct Loop {
  void (*run)(long);
  int accumulators;
};

static const struct Loop kLoops512[] = {
    {loop512_6, 6}, {loop512_8, 8}, {loop512_12, 12}, {loop512_16, 16}};
static const struct Loop kLoops256[] = {
    {loop256_6, 6}, {loop256_8, 8}, {loop256_10, 10}, {loop256_12, 12}};

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

struct Job {
  const struct Loop* loop;
  long iterations;
};

static void* runJob(void* arg) {
  const struct Job* job = arg;
  job->loop->run(job->iterations);
  return NULL;
}

/* GFLOP/s of one timed run of `loop` on `threads` threads at once. */
static double rate(const struct Loop* loop, int lanes, int threads, long iterations) {
  struct Job job = {loop, iterations};
  pthread_t other;
  double start = now();
  if (threads == 2) pthread_create(&other, NULL, runJob, &job);
  runJob(&job);
  if (threads == 2) pthread_join(other, NULL);
  double seconds = now() - start;
  /* four unrolled passes, each accumulator a multiply and an add per lane */
  double flops = 4.0 * 2.0 * loop->accumulators * lanes * (double)iterations * threads;
  return flops / seconds / 1e9;
}

/* The best of `runs` runs of `loop`, each about `seconds` long. */
static double bestOf(const struct Loop* loop, int lanes, int threads, int runs, double seconds) {
  double first = rate(loop, lanes, 1, 1000);
  long iterations = (long)(seconds * first * 1e9 / (8.0 * loop->accumulators * lanes));
  double top = 0.0;
  for (int run = 0; run < runs; ++run) {
    double r = rate(loop, lanes, threads, iterations);
    if (r > top) top = r;
  }
  return top;
}

/* The best of a few runs of every loop, each run about a tenth of a second. */
static double best(const struct Loop* loops, int count, int lanes, int threads) {
  double top = 0.0;
  for (int i = 0; i < count; ++i) {
    double r = bestOf(&loops[i], lanes, threads, 5, 0.1);
    if (r > top) top = r;
  }
  return top;
}

int main(int argc, char** argv) {
  __builtin_cpu_init();
  int narrow = 0, quick = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "avx2") == 0) narrow = 1;
    if (strcmp(argv[i], "1") == 0 || strcmp(argv[i], "2") == 0) quick = atoi(argv[i]);
  }
  int wide = __builtin_cpu_supports("avx512f") && !narrow;
  const struct Loop* loops = wide ? kLoops512 : kLoops256;
  int lanes = wide ? 16 : 8;
  if (quick) {
    /* twelve accumulators: at the best rate on every processor measured */
    printf("%.1f\n", bestOf(&loops[2], lanes, quick, 2, 0.05));
    return 0;
  }
  double one = best(loops, 4, lanes, 1);
  double two = best(loops, 4, lanes, 2);
  printf("%s %.1f %.1f\n", wide ? "avx512" : "avx2", one, two);
  return 0;
}
