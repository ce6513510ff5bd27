// AVX-512 instantiation of the line kernels: 512-bit vectors with AVX512F
// and AVX512BW (word multiply-adds, packs and unpacks). This file alone is
// compiled for those sets; the Convolver calls it only when the processor
// has them and the system saves the opmask and ZMM state.
#include "render/convolve_plan.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX2__) && defined(__FMA__) && \
    (defined(__x86_64__) || defined(__i386__))

#include "render/convolve_avx512_traits.h"
#include "render/convolve_simd.h"

const SimdKernels* Avx512BwKernels() { return KernelTable<Avx512>(); }

#else

const SimdKernels* Avx512BwKernels() { return nullptr; }

#endif
