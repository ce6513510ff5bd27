#pragma once
// The choice of path and instruction set, apart from the Convolver so that
// it can be tested for any processor. Not for files that include OpenCV,
// whose CpuFeatures enum takes the name.
#include <vector>

#include "render/convolver.h"
#include "render/cpu_features.h"

// The entry points of a level; null for kNone, kAuto and levels this build
// lacks.
const SimdKernels* KernelsFor(SimdLevel level);

// This processor as the engine sees it: its levels less any this build
// lacks, and the cache sizes options give in place of its own.
CpuFeatures EngineCpu(const ConvolveOptions& options);

// Whether a processor reporting cpu runs the level.
bool SimdSupported(const CpuFeatures& cpu, SimdLevel level);

// What the choice of path needs to know of a kernel.
struct KernelTraits {
    int k = 3;
    bool narrow = true;      // every weight fits int16 and every sum int32
    bool exact53 = true;     // every sum is exact in a double
    bool splittable = false; // the weights split into two bounded 16-bit parts (SplitWeights)
    bool separable = false;  // an exact integer rank-1 kernel
    int width = 0;           // of the frame
};

// The path and instruction set for a kernel on a processor reporting cpu:
// pure, so every processor's choice can be tested here. Every level gives the
// same pixels; only the speed differs.
ConvolveRoute ChooseRoute(const CpuFeatures& cpu, const KernelTraits& kernel, const ConvolveOptions& options);

// A route worth timing, and the options that make Prepare take it.
struct RouteCandidate {
    ConvolveRoute route;
    ConvolveOptions options;
    bool otherPath = false;  // the kernel's other exact path, not the table's
};

// The routes a render may time for a kernel, the table's own (ChooseRoute)
// first, then every level the processor runs, widest first, on the table's
// path and then on the kernel's other exact path where it has one:
// separable (or its strips) and planar for a rank-1 kernel, split and
// doubles for sums beyond int32. Every one gives the same pixels. Only the
// table's when options force a level or the path has no SIMD.
std::vector<RouteCandidate> CandidateRoutes(const CpuFeatures& cpu, const KernelTraits& kernel,
                                            const ConvolveOptions& options);
