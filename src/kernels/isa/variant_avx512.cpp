// The kernels' vector code for processors with AVX-512.
#define KERNEL_NAMESPACE avx512
#define KERNEL_NAME "avx512"
#define KERNEL_TABLE kAvx512
#define KERNEL_SHAPE kAvx512Shape
#define KERNEL_VECTOR_BYTES 64
#include "kernels/isa/variant.inc"
