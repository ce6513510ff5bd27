#pragma once
#include <cstdint>

// Per-pixel channels a frame can carry besides its colours, as the host
// numbers them: a filter names the ones it needs by these bits, and asks its
// frame's storage for each by the same number.
constexpr uint32_t kMaterialChannel = 2;  // material effects: one unsigned byte per pixel
constexpr uint32_t kObjectChannel = 4;    // object: one unsigned 16-bit value per pixel
