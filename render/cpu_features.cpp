#include "render/cpu_features.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {
bool Bit(uint32_t word, int bit) { return (word >> bit & 1u) != 0; }
bool IsIntel(const uint32_t vendor[3]) {
    return vendor[0] == 0x756E6547u && vendor[1] == 0x49656E69u && vendor[2] == 0x6C65746Eu;  // "GenuineIntel"
}
}  // namespace

namespace {
CacheSizes DecodeCaches(const CpuidWords& w, bool intel) {
    CacheSizes c;
    if (intel && w.maxLeaf >= 4) {
        for (const uint32_t* leaf : w.leaf4) {
            const uint32_t type = leaf[0] & 0x1Fu, level = leaf[0] >> 5 & 0x7u;
            if (type == 0) break;
            const uint64_t bytes = uint64_t{(leaf[1] >> 22) + 1} * ((leaf[1] >> 12 & 0x3FFu) + 1) *
                                   ((leaf[1] & 0xFFFu) + 1) * (uint64_t{leaf[2]} + 1);
            const uint32_t clipped = bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
            if (level == 1 && type == 1) c.l1d = clipped;              // data
            if (level == 2 && (type == 1 || type == 3)) c.l2 = clipped;  // data or unified
        }
    } else if (!intel) {
        if (w.maxExtendedLeaf >= 0x80000005u) c.l1d = (w.ext5Ecx >> 24) * 1024u;
        if (w.maxExtendedLeaf >= 0x80000006u) c.l2 = (w.ext6Ecx >> 16) * 1024u;
    }
    return c;
}
}  // namespace

CpuFeatures DecodeCpuFeatures(const CpuidWords& w) {
    CpuFeatures f;
    if (w.maxLeaf < 1) return f;
    f.sse2 = Bit(w.leaf1Edx, 26);
    f.intel = IsIntel(w.vendor);
    const uint32_t baseFamily = w.leaf1Eax >> 8 & 0xFu, baseModel = w.leaf1Eax >> 4 & 0xFu;
    f.family = baseFamily == 0xFu ? baseFamily + (w.leaf1Eax >> 20 & 0xFFu) : baseFamily;
    f.model = baseFamily == 0x6u || baseFamily == 0xFu ? (w.leaf1Eax >> 12 & 0xF0u) | baseModel : baseModel;
    f.cache = DecodeCaches(w, f.intel);
    // A processor may have AVX while the system does not save the registers
    // on a task switch: both the OSXSAVE bit and XCR0 must say so.
    const bool osxsave = Bit(w.leaf1Ecx, 27);
    const bool ymmState = osxsave && (w.xcr0 & 0x6u) == 0x6u;         // SSE and AVX state
    const bool zmmState = ymmState && (w.xcr0 & 0xE0u) == 0xE0u;       // opmask, upper ZMM0-15 halves, ZMM16-31
    if (w.maxLeaf < 7) return f;
    const bool avx = Bit(w.leaf1Ecx, 28), fma = Bit(w.leaf1Ecx, 12);
    f.avx2 = ymmState && avx && fma && Bit(w.leaf7Ebx, 5);
    f.avxVnni = f.avx2 && w.leaf7Eax >= 1 && Bit(w.leaf7Sub1Eax, 4);
    // The 512-bit kernels use no 128- or 256-bit EVEX forms, so need no AVX512VL.
    f.avx512Bw = f.avx2 && zmmState && Bit(w.leaf7Ebx, 16) && Bit(w.leaf7Ebx, 30);  // F, BW
    f.avx512Vnni = f.avx512Bw && Bit(w.leaf7Ecx, 11);
    return f;
}

CpuidWords ReadCpuidWords(CpuidCall cpuid, uint64_t (*readXcr0)()) {
    CpuidWords w;
    uint32_t r[4];
    // Every i686 processor has CPUID: no check of the flags register first.
    cpuid(0, 0, r);
    w.maxLeaf = r[0];
    w.vendor[0] = r[1];
    w.vendor[1] = r[3];
    w.vendor[2] = r[2];
    if (w.maxLeaf < 1) return w;
    cpuid(1, 0, r);
    w.leaf1Eax = r[0];
    w.leaf1Ecx = r[2];
    w.leaf1Edx = r[3];
    if (Bit(w.leaf1Ecx, 27)) w.xcr0 = readXcr0();
    if (IsIntel(w.vendor)) {
        // Subleaves until the level-1 data and level-2 caches are both
        // known: the later ones (the L3) decide nothing.
        bool l1d = false, l2 = false;
        for (int i = 0; w.maxLeaf >= 4 && i < 8 && !(l1d && l2); ++i) {
            cpuid(4, i, r);
            std::memcpy(w.leaf4[i], r, sizeof w.leaf4[i]);
            const uint32_t type = r[0] & 0x1Fu, level = r[0] >> 5 & 0x7u;
            if (type == 0) break;
            l1d = l1d || (level == 1 && type == 1);
            l2 = l2 || (level == 2 && (type == 1 || type == 3));
        }
    } else {
        cpuid(0x80000000u, 0, r);
        w.maxExtendedLeaf = r[0];
        if (w.maxExtendedLeaf >= 0x80000006u) {
            cpuid(0x80000005u, 0, r);
            w.ext5Ecx = r[2];
            cpuid(0x80000006u, 0, r);
            w.ext6Ecx = r[2];
        }
    }
    if (w.maxLeaf >= 7) {
        cpuid(7, 0, r);
        w.leaf7Eax = r[0];
        w.leaf7Ebx = r[1];
        w.leaf7Ecx = r[2];
        if (w.leaf7Eax >= 1) {
            cpuid(7, 1, r);
            w.leaf7Sub1Eax = r[0];
        }
    }
    return w;
}

const CpuFeatures& HostCpuFeatures() {
    static const CpuFeatures features = [] {
#if defined(__i386__) || defined(__x86_64__)
        auto cpuid = [](uint32_t leaf, uint32_t subleaf, uint32_t out[4]) {
            __cpuid_count(leaf, subleaf, out[0], out[1], out[2], out[3]);
        };
        auto xgetbv = []() -> uint64_t {
            uint32_t lo, hi;
            __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
            return uint64_t{hi} << 32 | lo;
        };
        return DecodeCpuFeatures(ReadCpuidWords(cpuid, xgetbv));
#else
        return DecodeCpuFeatures(CpuidWords());
#endif
    }();
    return features;
}
