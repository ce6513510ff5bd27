#pragma once
// The choice of path and instruction set, apart from the Convolver so that
// it can be tested for any processor. Not for files that include OpenCV,
// whose CpuFeatures enum takes the name.
#include "render/convolver.h"
#include "render/cpu_features.h"

// The entry points of a level; null for kNone, kAuto and levels this build
// lacks.
const SimdKernels* KernelsFor(SimdLevel level);

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

struct ConvolveRoute {
    ConvolvePath path = ConvolvePath::kReference;
    SimdLevel simd = SimdLevel::kNone;
};

// The path and instruction set for a kernel on a processor reporting cpu:
// pure, so every processor's choice can be tested here. Every level gives the
// same pixels; only the speed differs.
ConvolveRoute ChooseRoute(const CpuFeatures& cpu, const KernelTraits& kernel, const ConvolveOptions& options);
