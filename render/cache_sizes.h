#pragma once
#include <cstdint>

// Bytes of one core's data caches; 0 where the processor does not say.
struct CacheSizes {
    uint32_t l1d = 0;
    uint32_t l2 = 0;
};
