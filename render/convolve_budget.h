#pragma once
// How much of the processor's caches the line rings may take, apart from
// the Convolver so that every cache size's choice can be tested. The
// measurements behind it: bench/NOTES.md.
#include <cstdint>

#include "render/cache_sizes.h"

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

// Output lines one pass of the Convolver may take at most.
constexpr int kMaxPassLines = 8;

// The shape of one pass over a ring of k source lines of bytesPerColumn
// bytes a column: whole lines, one at a time, while the ring takes at most
// half the second-level cache. Beyond it every source line would come back
// from farther away for each of the k output lines that read it, so a pass
// takes kMaxPassLines output lines at once, a strip of columns at a time,
// each strip's k + kMaxPassLines - 1 lines within that half; a line then
// comes from farther away about (k + kMaxPassLines - 1) / kMaxPassLines
// times instead of k.
struct PassShape {
    int lines = 1;
    int columns = 0;  // a whole number of blocks of blockPixels; at least the width for whole lines
};
PassShape RingPassShape(const CacheSizes& sizes, int width, int k, int bytesPerColumn, int blockPixels);
