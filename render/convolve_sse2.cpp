// SSE2 instantiation of the line kernels: the baseline of the 32-bit build.
#include "render/convolve_plan.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))

#include <emmintrin.h>

#include "render/convolve_simd.h"

namespace {

struct Sse2 {
    using Vec = __m128i;
    static constexpr int kPixels = 2;
    // Flat planes: a tile of two 8-element vectors would not hold the 18
    // columns a 9x9 block reads, and wider tiles would copy each element
    // four times for the fallback of processors without AVX2.
    static constexpr int kPlaneScale = 1;

    static constexpr bool kOddPairs = false;  // see PairTaps
    static constexpr bool kDotFromMemory = false;
    static Vec LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void StoreU(void* p, Vec v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    static Vec Set1(int32_t v) { return _mm_set1_epi32(v); }
    static Vec Zero() { return _mm_setzero_si128(); }
    static Vec ShiftCount(int32_t s) { return _mm_cvtsi32_si128(s); }
    static Vec Add32(Vec a, Vec b) { return _mm_add_epi32(a, b); }
    static Vec Sub32(Vec a, Vec b) { return _mm_sub_epi32(a, b); }
    static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
    static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
    static Vec Xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
    static Vec Madd(Vec a, Vec b) { return _mm_madd_epi16(a, b); }
    static Vec MaddAdd(Vec acc, Vec a, Vec b) { return _mm_add_epi32(acc, _mm_madd_epi16(a, b)); }
    static Vec Sra32(Vec a, Vec count) { return _mm_sra_epi32(a, count); }
    static Vec SignBit32(Vec a) { return _mm_srli_epi32(a, 31); }
    static Vec Unpacklo16(Vec a, Vec b) { return _mm_unpacklo_epi16(a, b); }
    static Vec Unpackhi16(Vec a, Vec b) { return _mm_unpackhi_epi16(a, b); }
    static Vec Unpacklo32(Vec a, Vec b) { return _mm_unpacklo_epi32(a, b); }
    static Vec Unpackhi32(Vec a, Vec b) { return _mm_unpackhi_epi32(a, b); }
    static Vec Unpacklo64(Vec a, Vec b) { return _mm_unpacklo_epi64(a, b); }
    static Vec Unpackhi64(Vec a, Vec b) { return _mm_unpackhi_epi64(a, b); }
    // The even (odd) 32-bit lanes of each 128-bit lane of a, then of b.
    static Vec Even32(Vec a, Vec b) { return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 0x88)); }
    static Vec Odd32(Vec a, Vec b) { return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 0xDD)); }
    static Vec Packs32(Vec a, Vec b) { return _mm_packs_epi32(a, b); }

    // SSE2 has only the unsigned 32 x 32 -> 64 multiply of lanes 0 and 2.
    static Vec Mullo32(Vec a, Vec b) {
        const Vec even = _mm_mul_epu32(a, b);
        const Vec odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(2, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(2, 0, 2, 0)));
    }
    // Signed high half from the unsigned one: subtract b where a < 0 and a where b < 0.
    // The even lanes' quotients leave their high halves zero.
    static Vec QwordShift(int32_t s) { return ShiftCount(s); }
    static Vec MulShiftU32(Vec n, Vec m, Vec evenShift, Vec oddShift) {
        const Vec even = _mm_srl_epi64(_mm_mul_epu32(n, m), evenShift);
        const Vec odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(n, 32), m), oddShift);
        return _mm_or_si128(even, _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
    }
    static Vec MulHi32(Vec a, Vec b) {
        const Vec even = _mm_mul_epu32(a, b);
        const Vec odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        Vec hi = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(3, 1, 3, 1)),
                                    _mm_shuffle_epi32(odd, _MM_SHUFFLE(3, 1, 3, 1)));
        hi = _mm_sub_epi32(hi, _mm_and_si128(_mm_srai_epi32(a, 31), b));
        return _mm_sub_epi32(hi, _mm_and_si128(_mm_srai_epi32(b, 31), a));
    }
    static Vec Max32(Vec a, Vec b) {
        const Vec gt = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b));
    }
    static Vec Min32(Vec a, Vec b) {
        const Vec gt = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
    }

    using DVec = __m128d;
    static DVec LoadPd(const double* p) { return _mm_loadu_pd(p); }
    static DVec Set1Pd(double v) { return _mm_set1_pd(v); }
    static DVec ZeroPd() { return _mm_setzero_pd(); }
    // Products and sums are exact integers, so an unfused multiply-add is exact too.
    static DVec MulAddPd(DVec a, DVec b, DVec c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
    static DVec AddPd(DVec a, DVec b) { return _mm_add_pd(a, b); }
    static DVec SubPd(DVec a, DVec b) { return _mm_sub_pd(a, b); }
    static DVec DivPd(DVec a, DVec b) { return _mm_div_pd(a, b); }
    static DVec MinPd(DVec a, DVec b) { return _mm_min_pd(a, b); }
    static DVec MaxPd(DVec a, DVec b) { return _mm_max_pd(a, b); }
    // SSE2 has no roundpd: round |x| to nearest by adding and removing 2^52,
    // step down where that went up, and put the sign back.
    static DVec TruncPd(DVec x) {
        const DVec sign = _mm_set1_pd(-0.0), big = _mm_set1_pd(4503599627370496.0), one = _mm_set1_pd(1.0);
        const DVec a = _mm_andnot_pd(sign, x);
        DVec r = _mm_sub_pd(_mm_add_pd(a, big), big);
        r = _mm_sub_pd(r, _mm_and_pd(_mm_cmpgt_pd(r, a), one));
        return _mm_or_pd(r, _mm_and_pd(x, sign));
    }
    static void ToDoubles(Vec v, DVec& lo, DVec& hi) {
        lo = _mm_cvtepi32_pd(v);
        hi = _mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 2, 3, 2)));
    }
    static Vec FromDoubles(DVec lo, DVec hi) { return _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi)); }
    static void Truncate(const DVec x[4], Vec& a, Vec& b) {
        a = _mm_unpacklo_epi64(_mm_cvttpd_epi32(x[0]), _mm_cvttpd_epi32(x[1]));
        b = _mm_unpacklo_epi64(_mm_cvttpd_epi32(x[2]), _mm_cvttpd_epi32(x[3]));
    }

    static void LoadQuad(const BMM_Color_64* p, Vec v[4]) {
        for (int i = 0; i < 4; ++i) v[i] = LoadU(p + 2 * i);
    }
    static Vec LineOrder(Vec v) { return v; }
    static Vec QuadOrder(Vec v) { return v; }
    static Vec WithAlpha(Vec q, Vec s) {
        const Vec alpha = _mm_set_epi32(static_cast<int32_t>(0xFFFF0000u), 0, static_cast<int32_t>(0xFFFF0000u), 0);
        return _mm_or_si128(q, _mm_and_si128(s, alpha));
    }
    static void StoreQuad(BMM_Color_64* p, const Vec v[4]) {
        for (int i = 0; i < 4; ++i) StoreU(p + 2 * i, v[i]);
    }
};

}  // namespace

const SimdKernels* Sse2Kernels() { return KernelTable<Sse2>(); }

#else

const SimdKernels* Sse2Kernels() { return nullptr; }

#endif
