#pragma once
// How much of the processor's caches the separable pass may take, apart
// from the Convolver so that every cache size's choice can be tested. The
// measurements behind it: bench/NOTES.md.
#include "render/cpu_features.h"

// Used where the processor does not say: the smallest caches of the x86
// cores that run the SIMD levels.
constexpr uint32_t kDefaultL1d = 32 * 1024;
constexpr uint32_t kDefaultL2 = 256 * 1024;

// The cache sizes given, with the defaults above for those the processor
// does not give.
CacheSizes KnownCaches(const CacheSizes& sizes);

// Whether the separable pass keeps k lines of 32-bit horizontal sums in
// half the second-level cache (the other half holds the lines streaming
// through: the source, the result, the host's). Beyond it, the pass keeps
// the 16-bit planes instead, half the bytes, and sums each strip of
// columns down, then across.
bool SeparableSumsFit(const CacheSizes& sizes, int width, int k);

// Columns of such a strip, a whole number of blocks of blockPixels: its
// three channels' column sums, 32-bit, in half the first-level cache.
int StripColumns(const CacheSizes& sizes, int blockPixels);
