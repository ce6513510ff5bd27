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

PassShape RingPassShape(const CacheSizes& sizes, int width, int k, int bytesPerColumn, int blockPixels) {
    PassShape shape;
    const uint64_t columns = width > 0 ? static_cast<uint32_t>(width) : 0u;
    const uint64_t perColumn = bytesPerColumn > 0 ? static_cast<uint32_t>(bytesPerColumn) : 0u;
    const uint64_t half = KnownCaches(sizes).l2 / 2;
    shape.columns = width > 0 ? width : 0;
    if (k <= 0 || blockPixels <= 0 || columns * k * perColumn <= half) return shape;
    shape.lines = kMaxPassLines;
    const uint64_t fit = half / (uint64_t{static_cast<uint32_t>(k)} + kMaxPassLines - 1) / perColumn;
    const uint64_t blocks = fit / static_cast<uint32_t>(blockPixels);
    shape.columns = static_cast<int>(blocks > 0 ? blocks * blockPixels : blockPixels);
    return shape;
}
