#include "bench/madd_rate.h"

#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "render/cpu_features.h"

namespace bench {
namespace {

constexpr int kLoops = 1 << 16;

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The fastest of several runs of f, which does `work` units; units a ns.
template <class F>
double Rate(F f, double work) {
    double best = 0;
    for (int run = 0; run < 7; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::max(best, work / (Seconds(t0) * 1e9));
    }
    return best;
}

// Eight dependent adds a loop: one a cycle whatever the width of issue.
void AddChain() {
    uint32_t x = 0, n = kLoops * 4;
    asm volatile(
        "1:\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\t"
        "add $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tadd $1, %0\n\tdec %1\n\tjnz 1b"
        : "+r"(x), "+r"(n));
}

// Each form: N accumulators, each fed back through one instruction a
// loop. The empty volatile asm on each sum keeps the compiler from folding
// the constants, collapsing the chains or dropping them. A macro, since every
// form needs its own target.
#define VLM_MADD_CHAINS(V, seed, weights, step) \
    V acc[N];                                   \
    _Pragma("GCC unroll 16")                    \
    for (int i = 0; i < N; ++i) acc[i] = seed;  \
    const V w = weights;                        \
    for (int loop = 0; loop < kLoops; ++loop) { \
        _Pragma("GCC unroll 16")                \
        for (int i = 0; i < N; ++i) {           \
            acc[i] = step;                      \
            asm volatile("" : "+v"(acc[i]));    \
        }                                       \
    }

template <int N>
__attribute__((noinline, target("sse2"))) void Sse2() {
    VLM_MADD_CHAINS(__m128i, _mm_set1_epi16(3), _mm_set1_epi16(5), _mm_madd_epi16(acc[i], w))
}

template <int N>
__attribute__((noinline, target("avx2"))) void Avx2() {
    VLM_MADD_CHAINS(__m256i, _mm256_set1_epi16(3), _mm256_set1_epi16(5), _mm256_madd_epi16(acc[i], w))
}

template <int N>
__attribute__((noinline, target("avx2,avxvnni"))) void AvxVnni() {
    VLM_MADD_CHAINS(__m256i, _mm256_set1_epi16(3), _mm256_set1_epi16(5), _mm256_dpwssd_avx_epi32(acc[i], w, w))
}

template <int N>
__attribute__((noinline, target("avx512f,avx512bw"))) void Avx512Bw() {
    VLM_MADD_CHAINS(__m512i, _mm512_set1_epi16(3), _mm512_set1_epi16(5), _mm512_madd_epi16(acc[i], w))
}

template <int N>
__attribute__((noinline, target("avx512f,avx512bw,avx512vnni"))) void Avx512Vnni() {
    VLM_MADD_CHAINS(__m512i, _mm512_set1_epi16(3), _mm512_set1_epi16(5), _mm512_dpwssd_epi32(acc[i], w, w))
}

#undef VLM_MADD_CHAINS

// Instructions of a form timed, times its 16-bit products each.
double Products(void (*form)(), int chains, int lanes16) { return Rate(form, double(kLoops) * chains * lanes16); }

template <int N>
MaddRate MeasureChains(const CpuFeatures& cpu) {
    MaddRate r;
    if (cpu.sse2) r.sse2 = Products(Sse2<N>, N, 8);
    if (cpu.avx2) r.avx2 = Products(Avx2<N>, N, 16);
    if (cpu.avxVnni) r.avxVnni = Products(AvxVnni<N>, N, 16);
    if (cpu.avx512Bw) r.avx512Bw = Products(Avx512Bw<N>, N, 32);
    if (cpu.avx512Vnni) r.avx512Vnni = Products(Avx512Vnni<N>, N, 32);
    return r;
}

}  // namespace

MaddRates MeasureMaddRates() {
    const CpuFeatures& cpu = HostCpuFeatures();
    MaddRates r;
    r.ghz = Rate(AddChain, double(kLoops) * 4 * 8);
    r.full = MeasureChains<12>(cpu);
    r.sixSums = MeasureChains<6>(cpu);
    return r;
}

double RateFor(const MaddRate& rate, const std::string& simd) {
    if (simd == "SSE2") return rate.sse2;
    if (simd == "AVX2") return rate.avx2;
    if (simd == "AVX2+AVX-VNNI") return rate.avxVnni;
    if (simd == "AVX512BW") return rate.avx512Bw;
    if (simd == "AVX512BW+VNNI") return rate.avx512Vnni;
    return -1;
}

}  // namespace bench
