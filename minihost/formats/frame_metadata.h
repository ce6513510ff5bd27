#pragma once
// What a frame file carries beside its samples, which a filtered frame keeps:
// the filter changes the numbers, not how they are to be shown, printed or
// described. Values are as PNG holds them.
#include <cstdint>
#include <string>
#include <vector>

struct FrameText {
    std::string key, text;
    std::string language, translatedKey;  // international text only
    int compression = -1;                 // libpng's: -1 tEXt, 0 zTXt, 1 iTXt, 2 iTXt compressed
};

struct FrameMetadata {
    // How the samples are to be shown. At most one of the ICC profile and
    // the sRGB intent, as PNG allows.
    bool hasGamma = false;
    int32_t gamma = 0;  // 1/100000
    bool hasChromaticities = false;
    int32_t chromaticities[8] = {};  // white, red, green and blue, x then y, 1/100000
    int srgbIntent = -1;             // -1: none
    std::string iccName, iccProfile;  // the profile uncompressed; empty: none

    bool hasResolution = false;
    uint32_t pixelsPerUnitX = 0, pixelsPerUnitY = 0;
    int unit = 0;  // 0 unknown (an aspect ratio), 1 the metre

    std::vector<FrameText> texts;
    std::string exif;
    bool hasBackground = false;
    uint16_t background[3] = {};  // red, green, blue, in 16-bit samples

    // What of the file's colour chunks was not kept, and why; said once.
    std::string dropped;
};
