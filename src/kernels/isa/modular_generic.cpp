// The exact residues' vector code for generic.
#define KERNEL_NAMESPACE generic
#define KERNEL_MODULAR_TABLE kModularCode
#define KERNEL_VECTOR_BYTES 16
#include "kernels/isa/modular_variant.inc"
