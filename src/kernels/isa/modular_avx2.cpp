// The exact residues' vector code for avx2.
#define KERNEL_NAMESPACE avx2
#define KERNEL_MODULAR_TABLE kModularCode
#define KERNEL_VECTOR_BYTES 32
#include "kernels/isa/modular_variant.inc"
