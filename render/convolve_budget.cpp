#include "render/convolve_budget.h"

CacheSizes KnownCaches(const CacheSizes& sizes) {
    return CacheSizes{sizes.l1d ? sizes.l1d : kDefaultL1d, sizes.l2 ? sizes.l2 : kDefaultL2};
}

bool SeparableSumsFit(const CacheSizes& sizes, int width, int k) {
    const uint64_t ring = uint64_t{width > 0 ? static_cast<uint32_t>(width) : 0u} * (k > 0 ? k : 0) * 3 * sizeof(int32_t);
    return ring <= KnownCaches(sizes).l2 / 2;
}

int StripColumns(const CacheSizes& sizes, int blockPixels) {
    if (blockPixels <= 0) return 0;
    // A strip's sums reach one block past it (see FilterSeparableStrips).
    const uint64_t columns = KnownCaches(sizes).l1d / 2 / (3 * sizeof(int32_t));
    const uint64_t blocks = columns / blockPixels;
    return static_cast<int>(blocks > 1 ? (blocks - 1) * blockPixels : blockPixels);
}
