#pragma once
// The processor's own multiply-add rate, measured, for the engine's bound:
// a tight loop of independent pair multiply-adds of each instruction set's
// width, and the core's clock from a chain of dependent adds.
#include <string>

namespace bench {

// 16-bit products a nanosecond, per instruction form; -1 where the
// processor lacks it.
struct MaddRate {
    double sse2 = -1;        // pmaddwd xmm
    double avx2 = -1;        // vpmaddwd ymm
    double avxVnni = -1;     // vpdpwssd ymm (VEX)
    double avx512Bw = -1;    // vpmaddwd zmm
    double avx512Vnni = -1;  // vpdpwssd zmm
};

struct MaddRates {
    double ghz = -1;  // the clock of scalar work, from one add a cycle
    // Twelve independent chains: more than latency times issue rate for
    // every form, so this is the processor's rate.
    MaddRate full;
    // Six chains, as many as the planar loop's running sums (three channels,
    // even and odd outputs): the most that loop's sums can go at.
    MaddRate sixSums;
};

// Each figure the fastest of several short runs.
MaddRates MeasureMaddRates();

// Products a nanosecond for a route's instruction set, named as the engine
// names it ("AVX512BW+VNNI", ...); -1 for a name without a rate.
double RateFor(const MaddRate& rate, const std::string& simd);

}  // namespace bench
