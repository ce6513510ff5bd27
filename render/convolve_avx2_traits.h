#pragma once
// The AVX2 traits of the line kernels (see convolve_simd.h), shared by the
// AVX2 file and the VNNI files, each of which is compiled for its own
// instruction set; include only from those.
#include <immintrin.h>

#include "render/convolve_plan.h"

namespace {

struct Avx2 {
    using Vec = __m256i;
    static constexpr int kPixels = 4;
    static constexpr int kPlaneScale = 2;  // tiled planes: see SimdKernels

    static constexpr bool kOddPairs = false;  // see PairTaps
    static constexpr bool kDotFromMemory = false;
    static Vec LoadU(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static void StoreU(void* p, Vec v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
    static Vec Set1(int32_t v) { return _mm256_set1_epi32(v); }
    static Vec Zero() { return _mm256_setzero_si256(); }
    // Counts in every lane, as the 512-bit form (convolve_avx512_traits.h).
    static Vec ShiftCount(int32_t s) { return _mm256_set1_epi32(s); }
    static Vec Add32(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
    static Vec Sub32(Vec a, Vec b) { return _mm256_sub_epi32(a, b); }
    static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
    static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
    static Vec Xor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
    static Vec Madd(Vec a, Vec b) { return _mm256_madd_epi16(a, b); }
    static Vec MaddAdd(Vec acc, Vec a, Vec b) { return _mm256_add_epi32(acc, _mm256_madd_epi16(a, b)); }
    static Vec Mullo32(Vec a, Vec b) { return _mm256_mullo_epi32(a, b); }
    // Odd lanes moved by shuffles, as the 512-bit form.
    static Vec MulHi32(Vec a, Vec b) {
        const Vec even = _mm256_mul_epi32(a, b);
        const Vec odd = _mm256_mul_epi32(_mm256_shuffle_epi32(a, 0xF5), _mm256_shuffle_epi32(b, 0xF5));
        return _mm256_blend_epi32(_mm256_shuffle_epi32(even, 0xF5), odd, 0xAA);
    }
    static Vec QwordShift(int32_t s) { return _mm256_set1_epi64x(s); }
    static Vec MulShiftU32(Vec n, Vec m, Vec evenShift, Vec oddShift) {
        const Vec even = _mm256_srlv_epi64(_mm256_mul_epu32(n, m), evenShift);
        const Vec odd = _mm256_srlv_epi64(_mm256_mul_epu32(_mm256_shuffle_epi32(n, 0xF5), m), oddShift);
        return _mm256_blend_epi32(even, odd, 0xAA);
    }
    static Vec Min32(Vec a, Vec b) { return _mm256_min_epi32(a, b); }
    static Vec Max32(Vec a, Vec b) { return _mm256_max_epi32(a, b); }
    static Vec Sra32(Vec a, Vec count) { return _mm256_srav_epi32(a, count); }
    static Vec SignBit32(Vec a) { return _mm256_srli_epi32(a, 31); }
    static Vec Unpacklo16(Vec a, Vec b) { return _mm256_unpacklo_epi16(a, b); }
    static Vec Unpackhi16(Vec a, Vec b) { return _mm256_unpackhi_epi16(a, b); }
    static Vec Unpacklo32(Vec a, Vec b) { return _mm256_unpacklo_epi32(a, b); }
    static Vec Unpackhi32(Vec a, Vec b) { return _mm256_unpackhi_epi32(a, b); }
    static Vec Unpacklo64(Vec a, Vec b) { return _mm256_unpacklo_epi64(a, b); }
    static Vec Unpackhi64(Vec a, Vec b) { return _mm256_unpackhi_epi64(a, b); }
    // The even (odd) 32-bit lanes of each 128-bit lane of a, then of b.
    static Vec Even32(Vec a, Vec b) { return _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0x88)); }
    static Vec Odd32(Vec a, Vec b) { return _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD)); }
    static Vec Packs32(Vec a, Vec b) { return _mm256_packs_epi32(a, b); }

    using DVec = __m256d;
    static DVec LoadPd(const double* p) { return _mm256_loadu_pd(p); }
    static DVec Set1Pd(double v) { return _mm256_set1_pd(v); }
    static DVec ZeroPd() { return _mm256_setzero_pd(); }
    static DVec MulAddPd(DVec a, DVec b, DVec c) { return _mm256_fmadd_pd(a, b, c); }
    static DVec AddPd(DVec a, DVec b) { return _mm256_add_pd(a, b); }
    static DVec SubPd(DVec a, DVec b) { return _mm256_sub_pd(a, b); }
    static DVec TruncPd(DVec x) { return _mm256_round_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static DVec DivPd(DVec a, DVec b) { return _mm256_div_pd(a, b); }
    static DVec MinPd(DVec a, DVec b) { return _mm256_min_pd(a, b); }
    static DVec MaxPd(DVec a, DVec b) { return _mm256_max_pd(a, b); }
    static void ToDoubles(Vec v, DVec& lo, DVec& hi) {
        lo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
        hi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
    }
    static Vec FromDoubles(DVec lo, DVec hi) { return _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo)); }
    // Vector i converts pixels 4i..4i+3; the in-lane pack wants 0-3 | 8-11 and 4-7 | 12-15.
    static void Truncate(const DVec x[4], Vec& a, Vec& b) {
        a = _mm256_set_m128i(_mm256_cvttpd_epi32(x[2]), _mm256_cvttpd_epi32(x[0]));
        b = _mm256_set_m128i(_mm256_cvttpd_epi32(x[3]), _mm256_cvttpd_epi32(x[1]));
    }

    // Vector i holds pixels 4i..4i+3, so blocks load and store whole. The
    // in-lane unpack network then pairs pixels 2j, 2j+1 of its low lane with
    // 2j+2, 2j+3 of its high lane: a channel vector in that network's order
    // holds the 32-bit pairs 0, 2, 4, 6 | 1, 3, 5, 7 (pair j: pixels 2j, 2j+1).
    // LineOrder and QuadOrder move between it and pixel order, a shuffle in
    // the lanes and one of 64-bit quarters each.
    static void LoadQuad(const BMM_Color_64* p, Vec v[4]) {
        for (int i = 0; i < 4; ++i) v[i] = LoadU(p + 4 * i);
    }
    static Vec LineOrder(Vec v) {
        return _mm256_shuffle_epi32(_mm256_permute4x64_epi64(v, 0xD8), 0xD8);
    }
    static Vec QuadOrder(Vec v) {
        return _mm256_permute4x64_epi64(_mm256_shuffle_epi32(v, 0xD8), 0xD8);
    }
    static void StoreQuad(BMM_Color_64* p, const Vec v[4]) {
        for (int i = 0; i < 4; ++i) StoreU(p + 4 * i, v[i]);
    }
    // Elements kBlock - N.. of prev, then those of cur: the line shifted by N.
    template <int N>
    static Vec ShiftIn(Vec prev, Vec cur) {
        return _mm256_alignr_epi8(cur, _mm256_permute2x128_si256(prev, cur, 0x21), 16 - 2 * N);
    }
    // The pixels of q with the alpha of s.
    static Vec WithAlpha(Vec q, Vec s) { return _mm256_blend_epi16(q, s, 0x88); }
};

}  // namespace
