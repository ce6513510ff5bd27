#pragma once
#include <cstdint>

// The host's 64-bit pixel: four unsigned 16-bit channels. Kept free of any
// Win32 header so the pixel maths can build natively.
struct BMM_Color_64 {
    uint16_t r, g, b, a;
};
static_assert(sizeof(BMM_Color_64) == 8, "the host hands pixels over as 8-byte records");
