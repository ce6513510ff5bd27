#include "render/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {
bool Bit(uint32_t word, int bit) { return (word >> bit & 1u) != 0; }
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
    f.intel = w.vendor[0] == 0x756E6547u && w.vendor[1] == 0x49656E69u && w.vendor[2] == 0x6C65746Eu;
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

const CpuFeatures& HostCpuFeatures() {
    static const CpuFeatures features = [] {
        CpuidWords w;
#if defined(__i386__) || defined(__x86_64__)
        unsigned a, b, c, d;
        w.maxLeaf = __get_cpuid_max(0, nullptr);
        if (w.maxLeaf >= 1) {
            __cpuid(0, a, b, c, d);
            w.vendor[0] = b;
            w.vendor[1] = d;
            w.vendor[2] = c;
            __cpuid(1, a, b, c, d);
            w.leaf1Eax = a;
            w.leaf1Ecx = c;
            w.leaf1Edx = d;
            if (w.leaf1Ecx >> 27 & 1u) {
                unsigned lo, hi;
                __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
                w.xcr0 = uint64_t{hi} << 32 | lo;
            }
        }
        for (int i = 0; w.maxLeaf >= 4 && i < 8; ++i) {
            __cpuid_count(4, i, a, b, c, d);
            w.leaf4[i][0] = a;
            w.leaf4[i][1] = b;
            w.leaf4[i][2] = c;
            if ((a & 0x1Fu) == 0) break;
        }
        w.maxExtendedLeaf = __get_cpuid_max(0x80000000u, nullptr);
        if (w.maxExtendedLeaf >= 0x80000006u) {
            __cpuid(0x80000005u, a, b, c, d);
            w.ext5Ecx = c;
            __cpuid(0x80000006u, a, b, c, d);
            w.ext6Ecx = c;
        }
        if (w.maxLeaf >= 7) {
            __cpuid_count(7, 0, a, b, c, d);
            w.leaf7Eax = a;
            w.leaf7Ebx = b;
            w.leaf7Ecx = c;
            if (a >= 1) {
                __cpuid_count(7, 1, a, b, c, d);
                w.leaf7Sub1Eax = a;
            }
        }
#endif
        return DecodeCpuFeatures(w);
    }();
    return features;
}
