#pragma once
// The AVX-512 traits of the line kernels (see convolve_simd.h): 512-bit
// vectors of AVX512F and AVX512BW only (no AVX512VL), shared by the files
// compiled for those sets; include only from them.
#include <immintrin.h>

#include "render/convolve_plan.h"

namespace {

struct Avx512 {
    using Vec = __m512i;
    static constexpr int kPixels = 8;
    // Flat planes: a 64-byte load at any column but a multiple of 32 spans
    // two cache lines whatever the layout, so tiles would only cost copies.
    static constexpr int kPlaneScale = 1;

    static constexpr bool kOddPairs = true;  // see PairTaps
    static constexpr bool kDotFromMemory = false;
    static Vec LoadU(const void* p) { return _mm512_loadu_si512(p); }
    static void StoreU(void* p, Vec v) { _mm512_storeu_si512(p, v); }
    static Vec Set1(int32_t v) { return _mm512_set1_epi32(v); }
    static Vec Zero() { return _mm512_setzero_si512(); }
    // Counts in every lane: a shift by lane counts is one instruction, by an
    // xmm count two on Intel's cores.
    static Vec ShiftCount(int32_t s) { return _mm512_set1_epi32(s); }
    static Vec Add32(Vec a, Vec b) { return _mm512_add_epi32(a, b); }
    static Vec Sub32(Vec a, Vec b) { return _mm512_sub_epi32(a, b); }
    static Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
    static Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
    static Vec Xor(Vec a, Vec b) { return _mm512_xor_si512(a, b); }
    static Vec Madd(Vec a, Vec b) { return _mm512_madd_epi16(a, b); }
    static Vec MaddAdd(Vec acc, Vec a, Vec b) { return _mm512_add_epi32(acc, _mm512_madd_epi16(a, b)); }
    static Vec Mullo32(Vec a, Vec b) { return _mm512_mullo_epi32(a, b); }
    // Odd lanes moved by shuffles rather than shifts, off the port the
    // multiplies need.
    static Vec MulHi32(Vec a, Vec b) {
        const Vec even = _mm512_mul_epi32(a, b);
        const Vec odd = _mm512_mul_epi32(_mm512_shuffle_epi32(a, _MM_PERM_DDBB), _mm512_shuffle_epi32(b, _MM_PERM_DDBB));
        return _mm512_mask_blend_epi32(0xAAAA, _mm512_shuffle_epi32(even, _MM_PERM_DDBB), odd);
    }
    static Vec QwordShift(int32_t s) { return _mm512_set1_epi64(s); }
    static Vec MulShiftU32(Vec n, Vec m, Vec evenShift, Vec oddShift) {
        const Vec even = _mm512_srlv_epi64(_mm512_mul_epu32(n, m), evenShift);
        const Vec odd = _mm512_srlv_epi64(_mm512_mul_epu32(_mm512_shuffle_epi32(n, _MM_PERM_DDBB), m), oddShift);
        return _mm512_mask_blend_epi32(0xAAAA, even, odd);
    }
    static Vec Min32(Vec a, Vec b) { return _mm512_min_epi32(a, b); }
    static Vec Max32(Vec a, Vec b) { return _mm512_max_epi32(a, b); }
    static Vec Sra32(Vec a, Vec count) { return _mm512_srav_epi32(a, count); }
    static Vec SignBit32(Vec a) { return _mm512_srli_epi32(a, 31); }
    static Vec Unpacklo16(Vec a, Vec b) { return _mm512_unpacklo_epi16(a, b); }
    static Vec Unpackhi16(Vec a, Vec b) { return _mm512_unpackhi_epi16(a, b); }
    static Vec Unpacklo32(Vec a, Vec b) { return _mm512_unpacklo_epi32(a, b); }
    static Vec Unpackhi32(Vec a, Vec b) { return _mm512_unpackhi_epi32(a, b); }
    static Vec Unpacklo64(Vec a, Vec b) { return _mm512_unpacklo_epi64(a, b); }
    static Vec Unpackhi64(Vec a, Vec b) { return _mm512_unpackhi_epi64(a, b); }
    // The even (odd) 32-bit lanes of each 128-bit lane of a, then of b.
    static Vec Even32(Vec a, Vec b) { return _mm512_castps_si512(_mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), 0x88)); }
    static Vec Odd32(Vec a, Vec b) { return _mm512_castps_si512(_mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), 0xDD)); }
    static Vec Packs32(Vec a, Vec b) { return _mm512_packs_epi32(a, b); }

    using DVec = __m512d;
    static DVec LoadPd(const double* p) { return _mm512_loadu_pd(p); }
    static DVec Set1Pd(double v) { return _mm512_set1_pd(v); }
    static DVec ZeroPd() { return _mm512_setzero_pd(); }
    static DVec MulAddPd(DVec a, DVec b, DVec c) { return _mm512_fmadd_pd(a, b, c); }
    static DVec AddPd(DVec a, DVec b) { return _mm512_add_pd(a, b); }
    static DVec SubPd(DVec a, DVec b) { return _mm512_sub_pd(a, b); }
    static DVec TruncPd(DVec x) { return _mm512_roundscale_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static DVec DivPd(DVec a, DVec b) { return _mm512_div_pd(a, b); }
    static DVec MinPd(DVec a, DVec b) { return _mm512_min_pd(a, b); }
    static DVec MaxPd(DVec a, DVec b) { return _mm512_max_pd(a, b); }
    static void ToDoubles(Vec v, DVec& lo, DVec& hi) {
        lo = _mm512_cvtepi32_pd(_mm512_castsi512_si256(v));
        hi = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(v, 1));
    }
    static Vec FromDoubles(DVec lo, DVec hi) {
        return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(lo)), _mm512_cvttpd_epi32(hi), 1);
    }
    // Vector i converts pixels 8i..8i+7; the in-lane pack wants lane l of a
    // to hold pixels 8l..8l+3 and lane l of b pixels 8l+4..8l+7.
    static void Truncate(const DVec x[4], Vec& a, Vec& b) {
        const Vec c01 = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(x[0])), _mm512_cvttpd_epi32(x[1]), 1);
        const Vec c23 = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(x[2])), _mm512_cvttpd_epi32(x[3]), 1);
        a = _mm512_shuffle_i64x2(c01, c23, _MM_SHUFFLE(2, 0, 2, 0));
        b = _mm512_shuffle_i64x2(c01, c23, _MM_SHUFFLE(3, 1, 3, 1));
    }

    // Vector j holds pixels 8j..8j+7, as they lie in memory. Lane l of the
    // four vectors then holds the pixel pairs 8j + 2l, 8j + 2l + 1, so the
    // in-lane unpack network leaves 32-bit element 4l + j of a plane vector
    // with the pair that belongs at 4j + l: LineOrder and QuadOrder move
    // them (the same transposition either way).
    static void LoadQuad(const BMM_Color_64* p, Vec v[4]) {
        for (int i = 0; i < 4; ++i) v[i] = LoadU(p + 8 * i);
    }
    static void StoreQuad(BMM_Color_64* p, const Vec v[4]) {
        for (int i = 0; i < 4; ++i) StoreU(p + 8 * i, v[i]);
    }
    static Vec Transpose4x4(Vec v) {
        const Vec index = _mm512_set_epi32(15, 11, 7, 3, 14, 10, 6, 2, 13, 9, 5, 1, 12, 8, 4, 0);
        return _mm512_permutexvar_epi32(index, v);
    }
    static Vec LineOrder(Vec v) { return Transpose4x4(v); }
    static Vec QuadOrder(Vec v) { return Transpose4x4(v); }
    static Vec WithAlpha(Vec q, Vec s) { return _mm512_mask_blend_epi16(0x88888888u, q, s); }
};

}  // namespace
