// AVX2 instantiation of the line kernels. This file alone is compiled with
// -mavx2 -mfma; the Convolver calls it only when the processor has both.
#include "render/convolve_plan.h"

#if defined(__AVX2__) && defined(__FMA__) && (defined(__x86_64__) || defined(__i386__))

#include "render/convolve_avx2_traits.h"
#include "render/convolve_simd.h"

const SimdKernels* Avx2Kernels() { return KernelTable<Avx2>(); }

#else

const SimdKernels* Avx2Kernels() { return nullptr; }

#endif
