// The AVX2 line kernels with the VEX dot product vpdpwssd of AVX-VNNI, which
// adds the two products of each 32-bit lane into the sum in one instruction
// where pmaddwd needs a second (vpaddd) and a register for the product. This
// file alone is compiled for AVX2, FMA and AVX-VNNI; the Convolver calls it
// only when the processor has them (render/cpu_features.cpp).
#include "render/convolve_plan.h"

#if defined(__AVXVNNI__) && defined(__AVX2__) && defined(__FMA__) && (defined(__x86_64__) || defined(__i386__))

#include "render/convolve_avx2_traits.h"
#include "render/convolve_simd.h"

namespace {
struct AvxVnni : Avx2 {
    static Vec MaddAdd(Vec acc, Vec a, Vec b) { return _mm256_dpwssd_avx_epi32(acc, a, b); }
};
}  // namespace

const SimdKernels* AvxVnniKernels() { return KernelTable<AvxVnni>(); }

#else

const SimdKernels* AvxVnniKernels() { return nullptr; }

#endif
