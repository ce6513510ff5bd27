#pragma once
#include <cstddef>

// Bytes from one row of a buffer of lines to the next: at least bytes, a
// multiple of granule, and no multiple of 128 unless granule is one.
//
// Caches place an address by its low bits, so rows a power of two apart
// (8192 pixels of 32-bit sums are 32 KiB) share a handful of sets at every
// column, and a set holds only as many lines as the cache has ways: the 27
// rows a 9x9 kernel reads at each column then evict one another from the
// first-level cache, and, with the other lines of the render, from the
// second. An odd number of 64-byte lines apart, row r lands r sets on from
// row 0, in every cache whose set count is a power of two.
constexpr size_t SpreadRowBytes(size_t bytes, size_t granule) {
    if (granule == 0) return bytes;
    size_t stride = (bytes + granule - 1) / granule * granule;
    if (granule % 128 != 0)
        while (stride % 128 == 0) stride += granule;
    return stride;
}

// The same in elements of elementBytes each, granule in elements.
constexpr size_t SpreadRowElements(size_t elements, size_t elementBytes, size_t granule) {
    return SpreadRowBytes(elements * elementBytes, granule * elementBytes) / elementBytes;
}
