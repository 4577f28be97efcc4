// The exact residues' vector code for avx2 on processors that have fused
// multiply-adds too (which change nothing in residues, only their speed).
#define KERNEL_NAMESPACE avx2fma
#define KERNEL_MODULAR_TABLE kModularCode
#define KERNEL_VECTOR_BYTES 32
#include "kernels/isa/modular_variant.inc"
