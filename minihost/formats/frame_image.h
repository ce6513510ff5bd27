#pragma once
#include <cstdint>
#include <vector>

#include "minihost/formats/frame_metadata.h"

// A decoded frame or ID image, PNG or TIFF: its samples widened to 16 bits
// per sample, row by row.
struct FrameImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;      // as stored: 8 or 16
    int channels = 0;      // 1 gray, 3 RGB, 4 RGBA
    std::vector<uint16_t> samples;  // width * height * channels
    // What the file carries beside its samples that an output may keep
    // (ReadPng and ReadTiff say which).
    FrameMetadata meta;
};

// The frame size an image must have (an ID image); 0 takes any.
struct FrameSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// No image of more samples (width x height x channels) is decoded: its
// samples, widened to 16 bits, could not be held in a 32-bit process.
constexpr uint64_t kMaxFrameSamples = uint64_t{1} << 28;
