// The kernels' vector code for processors with AVX2.
#define KERNEL_NAMESPACE avx2
#define KERNEL_NAME "avx2"
#define KERNEL_TABLE kAvx2
#define KERNEL_SHAPE kAvx2Shape
#define KERNEL_VECTOR_BYTES 32
#include "kernels/isa/variant.inc"
