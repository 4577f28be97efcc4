// The kernels' vector code for processors with AVX512.
#define KERNEL_NAMESPACE avx512
#define KERNEL_NAME "avx512"
#define KERNEL_TABLE kAvx512
#define KERNEL_VECTOR_BYTES 64
#include "ops/kernels_simd.inc"
