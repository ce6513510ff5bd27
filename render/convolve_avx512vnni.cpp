// The AVX-512 line kernels with the dot product vpdpwssd of AVX512-VNNI,
// which adds the two products of each 32-bit lane into the sum in one
// instruction, taking the pair of weights as a broadcast memory operand: one
// loaded word serves an even and an odd sum with no register for a weight or
// a product. This file alone is compiled for AVX512F, BW and VNNI; the
// Convolver calls it only when the processor has them and the system saves
// the opmask and ZMM state.
#include "render/convolve_plan.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VNNI__) && defined(__AVX2__) && \
    defined(__FMA__) && (defined(__x86_64__) || defined(__i386__))

#include "render/convolve_avx512_traits.h"
#include "render/convolve_simd.h"

namespace {
struct Avx512Vnni : Avx512 {
    static constexpr bool kDotFromMemory = true;
    static Vec MaddAdd(Vec acc, Vec a, Vec b) { return _mm512_dpwssd_epi32(acc, a, b); }
    // GCC keeps a broadcast weight in a register, which eight registers
    // cannot spare; the {1to16} operand needs no register at all.
    static Vec DotBroadcast(Vec acc, Vec d, const int32_t* w) {
        __asm__("vpdpwssd %2%{1to16%}, %1, %0" : "+v"(acc) : "v"(d), "m"(*w));
        return acc;
    }
};
}  // namespace

const SimdKernels* Avx512VnniKernels() { return KernelTable<Avx512Vnni>(); }

#else

const SimdKernels* Avx512VnniKernels() { return nullptr; }

#endif
