// The choice of path and instruction set. The measurements behind it:
// bench/NOTES.md.
#include "render/convolve_route.h"

#include "render/convolve_budget.h"

const SimdKernels* KernelsFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::kNone: return nullptr;
        case SimdLevel::kSse2: return Sse2Kernels();
        case SimdLevel::kAvx2: return Avx2Kernels();
        case SimdLevel::kAvx512Vnni: return Avx512VnniKernels();
        case SimdLevel::kAvxVnni: return AvxVnniKernels();
        case SimdLevel::kAvx512Bw: return Avx512BwKernels();
        case SimdLevel::kAuto: return nullptr;
    }
    return nullptr;
}

bool SimdSupported(const CpuFeatures& cpu, SimdLevel level) {
    switch (level) {
        case SimdLevel::kNone: return true;
        case SimdLevel::kSse2: return cpu.sse2;
        case SimdLevel::kAvx2: return cpu.avx2;
        case SimdLevel::kAvxVnni: return cpu.avxVnni;
        case SimdLevel::kAvx512Bw: return cpu.avx512Bw;
        case SimdLevel::kAvx512Vnni: return cpu.avx512Vnni;
        case SimdLevel::kAuto: return false;
    }
    return false;
}

bool SimdAvailable(SimdLevel level) {
    return level != SimdLevel::kAuto && (level == SimdLevel::kNone || KernelsFor(level) != nullptr) &&
           SimdSupported(HostCpuFeatures(), level);
}

namespace {
// The widest first. AVX-VNNI is never chosen: it chains the sums on ymm and
// measured level with AVX2 or behind it.
constexpr SimdLevel kPreferred[] = {SimdLevel::kAvx512Vnni, SimdLevel::kAvx512Bw, SimdLevel::kAvx2,
                                    SimdLevel::kSse2};

// Intel cores (family 6) that lower their clock under 512-bit multiply-adds:
// Skylake-SP to Cooper Lake, Cannon Lake, Ice Lake, Tiger Lake, Rocket Lake.
// Later cores report AVX-VNNI and were measured faster with 512 bits at
// every kernel size.
bool SlowsUnder512(const CpuFeatures& cpu) {
    if (!cpu.intel || cpu.family != 6 || cpu.avxVnni) return false;
    switch (cpu.model) {
        case 0x55: case 0x66: case 0x6A: case 0x6C: case 0x7D: case 0x7E: case 0x8C: case 0x8D: case 0xA7:
            return true;
        default: return false;
    }
}

bool Is512(SimdLevel level) { return level == SimdLevel::kAvx512Bw || level == SimdLevel::kAvx512Vnni; }

SimdLevel Fallen(const CpuFeatures& cpu, SimdLevel level) {
    while (level != SimdLevel::kNone && !SimdSupported(cpu, level))
        level = static_cast<SimdLevel>(static_cast<int>(level) - 1);
    return level;
}
}  // namespace

CpuFeatures EngineCpu(const ConvolveOptions& options) {
    CpuFeatures cpu = HostCpuFeatures();
    cpu.sse2 = cpu.sse2 && KernelsFor(SimdLevel::kSse2);
    cpu.avx2 = cpu.avx2 && KernelsFor(SimdLevel::kAvx2);
    cpu.avxVnni = cpu.avxVnni && KernelsFor(SimdLevel::kAvxVnni);
    cpu.avx512Bw = cpu.avx512Bw && KernelsFor(SimdLevel::kAvx512Bw);
    cpu.avx512Vnni = cpu.avx512Vnni && KernelsFor(SimdLevel::kAvx512Vnni);
    if (options.cache.l1d) cpu.cache.l1d = options.cache.l1d;
    if (options.cache.l2) cpu.cache.l2 = options.cache.l2;
    return cpu;
}

SimdLevel BestSimdLevel() {
    for (SimdLevel level : kPreferred)
        if (SimdAvailable(level)) return level;
    return SimdLevel::kNone;
}

ConvolveRoute ChooseRoute(const CpuFeatures& cpu, const KernelTraits& kernel, const ConvolveOptions& options) {
    const bool chosen = options.simd == SimdLevel::kAuto;
    const SimdLevel forced = chosen ? SimdLevel::kNone : Fallen(cpu, options.simd);
    const bool simd = chosen ? cpu.sse2 : forced != SimdLevel::kNone;
    ConvolveRoute route;
    if (!kernel.narrow)
        route.path = simd && options.allowSplit && kernel.splittable ? ConvolvePath::kSplitPlanar
                     : simd && kernel.exact53                    ? ConvolvePath::kDouble
                                                                 : ConvolvePath::kWide;
    else if (!simd)
        route.path = ConvolvePath::kReference;
    else if (options.allowSeparable && kernel.k >= options.separableMinK && kernel.separable)
        route.path = SeparableSumsFit(cpu.cache, kernel.width, kernel.k) ? ConvolvePath::kSeparable
                                                                          : ConvolvePath::kSeparableStrips;
    else
        route.path = ConvolvePath::kPlanar;
    if (route.path == ConvolvePath::kReference || route.path == ConvolvePath::kWide) return route;
    if (!chosen) {
        route.simd = forced;
        return route;
    }
    // Where the clock drops, 512 bits pay only at 3x3 and on the split path.
    const bool gains512 = route.path == ConvolvePath::kSplitPlanar || (route.path == ConvolvePath::kPlanar && kernel.k == 3);
    for (SimdLevel level : kPreferred)
        if (SimdSupported(cpu, level) && !(Is512(level) && SlowsUnder512(cpu) && !gains512)) {
            route.simd = level;
            break;
        }
    return route;
}

std::vector<RouteCandidate> CandidateRoutes(const CpuFeatures& cpu, const KernelTraits& kernel,
                                            const ConvolveOptions& options) {
    std::vector<RouteCandidate> out;
    const ConvolveRoute table = ChooseRoute(cpu, kernel, options);
    out.push_back({table, options, false});
    if (options.simd != SimdLevel::kAuto || table.simd == SimdLevel::kNone) return out;
    // The kernel's other exact path, where it has one.
    ConvolveOptions other = options;
    bool hasOther = true;
    if (table.path == ConvolvePath::kSeparable || table.path == ConvolvePath::kSeparableStrips)
        other.allowSeparable = false;
    else if (table.path == ConvolvePath::kSplitPlanar)
        other.allowSplit = false;
    else if (table.path == ConvolvePath::kPlanar && kernel.separable && options.allowSeparable)
        other.separableMinK = kernel.k;
    else
        hasOther = false;
    constexpr SimdLevel kLevels[] = {SimdLevel::kAvx512Vnni, SimdLevel::kAvx512Bw, SimdLevel::kAvxVnni,
                                     SimdLevel::kAvx2, SimdLevel::kSse2};
    for (bool otherPath : {false, true}) {
        if (otherPath && !hasOther) break;
        for (SimdLevel level : kLevels) {
            if (!SimdSupported(cpu, level)) continue;
            RouteCandidate c{{}, otherPath ? other : options, otherPath};
            c.options.simd = level;
            c.route = ChooseRoute(cpu, kernel, c.options);
            bool seen = false;
            for (const RouteCandidate& o : out) seen = seen || (o.route.path == c.route.path && o.route.simd == c.route.simd);
            if (!seen) out.push_back(c);
        }
    }
    return out;
}

const char* PathName(ConvolvePath path) {
    switch (path) {
        case ConvolvePath::kReference: return "scalar";
        case ConvolvePath::kWide: return "wide int64";
        case ConvolvePath::kDouble: return "double";
        case ConvolvePath::kPlanar: return "planar";
        case ConvolvePath::kSeparable: return "separable";
        case ConvolvePath::kSeparableStrips: return "separable strips";
        case ConvolvePath::kSplitPlanar: return "split planar";
    }
    return "?";
}

const char* SimdName(SimdLevel level) {
    switch (level) {
        case SimdLevel::kNone: return "no SIMD";
        case SimdLevel::kSse2: return "SSE2";
        case SimdLevel::kAvx2: return "AVX2";
        case SimdLevel::kAvx512Vnni: return "AVX512BW+VNNI";
        case SimdLevel::kAvxVnni: return "AVX2+AVX-VNNI";
        case SimdLevel::kAvx512Bw: return "AVX512BW";
        case SimdLevel::kAuto: return "chosen";
    }
    return "?";
}
