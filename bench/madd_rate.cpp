#include "bench/madd_rate.h"

#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "render/cpu_features.h"

namespace bench {
namespace {

constexpr int kLoops = 1 << 16;
// Twelve independent chains: more than latency times the issue rate of any
// of these forms, so the loop runs at the rate, not the latency.
constexpr int kChains = 12;

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

// Each form: kChains accumulators, each fed back through one instruction a
// loop. The empty volatile asm on each sum keeps the compiler from folding
// the constants, collapsing the chains or dropping them. A macro, since every
// form needs its own target.
#define VLM_MADD_CHAINS(V, seed, weights, step)                  \
    V acc[kChains];                                              \
    _Pragma("GCC unroll 16")                                     \
    for (int i = 0; i < kChains; ++i) acc[i] = seed;             \
    const V w = weights;                                         \
    for (int loop = 0; loop < kLoops; ++loop) {                  \
        _Pragma("GCC unroll 16")                                 \
        for (int i = 0; i < kChains; ++i) {                      \
            acc[i] = step;                                       \
            asm volatile("" : "+v"(acc[i]));                     \
        }                                                        \
    }

__attribute__((noinline, target("sse2"))) void Sse2() {
    VLM_MADD_CHAINS(__m128i, _mm_set1_epi16(3), _mm_set1_epi16(5), _mm_madd_epi16(acc[i], w))
}

__attribute__((noinline, target("avx2"))) void Avx2() {
    VLM_MADD_CHAINS(__m256i, _mm256_set1_epi16(3), _mm256_set1_epi16(5), _mm256_madd_epi16(acc[i], w))
}

__attribute__((noinline, target("avx2,avxvnni"))) void AvxVnni() {
    VLM_MADD_CHAINS(__m256i, _mm256_set1_epi16(3), _mm256_set1_epi16(5), _mm256_dpwssd_avx_epi32(acc[i], w, w))
}

__attribute__((noinline, target("avx512f,avx512bw"))) void Avx512Bw() {
    VLM_MADD_CHAINS(__m512i, _mm512_set1_epi16(3), _mm512_set1_epi16(5), _mm512_madd_epi16(acc[i], w))
}

__attribute__((noinline, target("avx512f,avx512bw,avx512vnni"))) void Avx512Vnni() {
    VLM_MADD_CHAINS(__m512i, _mm512_set1_epi16(3), _mm512_set1_epi16(5), _mm512_dpwssd_epi32(acc[i], w, w))
}

#undef VLM_MADD_CHAINS

// Instructions of a form timed, times its 16-bit products each.
double Products(void (*form)(), int lanes16) { return Rate(form, double(kLoops) * kChains * lanes16); }

}  // namespace

MaddRates MeasureMaddRates() {
    const CpuFeatures& cpu = HostCpuFeatures();
    MaddRates r;
    r.ghz = Rate(AddChain, double(kLoops) * 4 * 8);
    if (cpu.sse2) r.sse2 = Products(Sse2, 8);
    if (cpu.avx2) r.avx2 = Products(Avx2, 16);
    if (cpu.avxVnni) r.avxVnni = Products(AvxVnni, 16);
    if (cpu.avx512Bw) r.avx512Bw = Products(Avx512Bw, 32);
    if (cpu.avx512Vnni) r.avx512Vnni = Products(Avx512Vnni, 32);
    return r;
}

double RateFor(const MaddRates& rates, const std::string& simd) {
    if (simd == "SSE2") return rates.sse2;
    if (simd == "AVX2") return rates.avx2;
    if (simd == "AVX2+AVX-VNNI") return rates.avxVnni;
    if (simd == "AVX512BW") return rates.avx512Bw;
    if (simd == "AVX512BW+VNNI") return rates.avx512Vnni;
    return -1;
}

}  // namespace bench
