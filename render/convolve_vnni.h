// The line kernels with the 16-bit dot product vpdpwssd, which adds the two
// products of each 32-bit lane into the sum in one instruction where pmaddwd
// needs a second (vpaddd) and a register for the product: the planar loop
// then holds six sums and one weight with a register to spare in the 32-bit
// build. Two encodings of the same instruction, one file each that includes
// this one, each compiled for its own instruction set (render/CMakeLists.txt):
// - convolve_avxvnni.cpp: AVX-VNNI (VEX), with VLM_VNNI_VEX defined;
// - convolve_avx512vnni.cpp: AVX512-VNNI with AVX512VL (EVEX, ymm registers
//   only), for processors that have the 512-bit extensions but not AVX-VNNI.
// The Convolver calls either only when the processor (and the system, for
// the EVEX state) has it, as render/cpu_features.cpp tells.
#pragma once
#include "render/convolve_plan.h"

#if defined(VLM_VNNI_VEX) && defined(__AVXVNNI__) && defined(__AVX2__) && defined(__FMA__)
#define VLM_VNNI_DOT _mm256_dpwssd_avx_epi32
#define VLM_VNNI_TABLE AvxVnniKernels
#elif !defined(VLM_VNNI_VEX) && defined(__AVX512VNNI__) && defined(__AVX512VL__) && defined(__AVX2__) && \
    defined(__FMA__)
#define VLM_VNNI_DOT _mm256_dpwssd_epi32
#define VLM_VNNI_TABLE Avx512VnniKernels
#endif

#if defined(VLM_VNNI_DOT) && (defined(__x86_64__) || defined(__i386__))

#include "render/convolve_avx2_traits.h"
#include "render/convolve_simd.h"

namespace {
struct Vnni : Avx2 {
    static Vec MaddAdd(Vec acc, Vec a, Vec b) { return VLM_VNNI_DOT(acc, a, b); }
};
}  // namespace

const SimdKernels* VLM_VNNI_TABLE() { return KernelTable<Vnni>(); }

#elif defined(VLM_VNNI_VEX)
const SimdKernels* AvxVnniKernels() { return nullptr; }
#else
const SimdKernels* Avx512VnniKernels() { return nullptr; }
#endif
