// The kernels' vector code for every x86-64 (SSE2) and, portable, for
// every other processor.
#define KERNEL_NAMESPACE generic
#define KERNEL_NAME "generic"
#define KERNEL_TABLE kGeneric
#define KERNEL_SHAPE kGenericShape
#define KERNEL_VECTOR_BYTES 16
#include "kernels/isa/variant.inc"
