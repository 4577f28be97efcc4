// The exact residues' vector code for avx512.
#define KERNEL_NAMESPACE avx512
#define KERNEL_MODULAR_TABLE kModularCode
#define KERNEL_VECTOR_BYTES 64
#include "kernels/isa/modular_variant.inc"
