#pragma once
#include <cstdint>

#include "render/cache_sizes.h"

// What the processor and the system offer the line kernels, read with CPUID
// and XGETBV directly: one detection for the plug-in's dispatch, the tests,
// the benchmarks and minihost's report of the path a render takes.
struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;     // with FMA, and the system saving the ymm state
    bool avxVnni = false;  // VEX vpdpwssd, beside AVX2
    bool avx512Bw = false;    // AVX512 F and BW with AVX2, the system saving the opmask and ZMM state
    bool avx512Vnni = false;  // AVX512-VNNI beside those
    // Who made the processor and which it is: some cores lower their clock
    // under 512-bit work, which only the model tells.
    bool intel = false;
    uint32_t family = 0;  // display family and model: base plus extended fields
    uint32_t model = 0;
    CacheSizes cache;  // what the separable pass may keep in cache depends on it (convolve_budget.h)
};

// The raw words the decision reads.
struct CpuidWords {
    uint32_t maxLeaf = 0;
    uint32_t vendor[3] = {};  // leaf 0's EBX, EDX, ECX: "GenuineIntel" in that order
    uint32_t leaf1Eax = 0;
    uint32_t leaf1Ecx = 0, leaf1Edx = 0;
    uint32_t leaf7Eax = 0, leaf7Ebx = 0, leaf7Ecx = 0;  // leaf 7, subleaf 0 (Eax: the last subleaf)
    uint32_t leaf7Sub1Eax = 0;
    uint64_t xcr0 = 0;  // read only when leaf 1 reports OSXSAVE
    // The caches: Intel's leaf 4 (EAX, EBX, ECX each), subleaf by subleaf
    // until one of type 0 or until the level-1 data and level-2 caches are
    // both read; AMD's leaves 0x80000005 and 0x80000006 (ECX each).
    uint32_t leaf4[8][3] = {};
    uint32_t maxExtendedLeaf = 0;
    uint32_t ext5Ecx = 0, ext6Ecx = 0;
};

CpuFeatures DecodeCpuFeatures(const CpuidWords& words);

// One CPUID: leaf and subleaf in, EAX, EBX, ECX and EDX out.
using CpuidCall = void (*)(uint32_t leaf, uint32_t subleaf, uint32_t out[4]);
// The words DecodeCpuFeatures reads, asking only for the leaves it decodes:
// in a virtual machine every CPUID traps to the hypervisor (7-9 us each on
// the KVM guests measured, bench/NOTES.md). readXcr0 only when leaf 1
// reports OSXSAVE.
CpuidWords ReadCpuidWords(CpuidCall cpuid, uint64_t (*readXcr0)());

// This processor's, detected once.
const CpuFeatures& HostCpuFeatures();
