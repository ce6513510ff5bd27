#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/color64.h"
#include "minihost/formats/frame_image.h"
#include "minihost/files/output_guard.h"

// Whether a decoded image is one a frame may be: 8- or 16-bit RGB or RGBA.
bool IsFrameImage(const FrameImage& image);

// A frame's samples as the host holds its pixels: 8-bit samples widened by
// 257 (so 255 becomes 65535), a missing alpha opaque. out holds width x height.
void ToHostPixels(const FrameImage& frame, BMM_Color_64* out);

// Paths are UTF-8; neither call keeps any state, so threads may use them
// side by side.
// Reads a PNG through libpng. An RGB image's tRNS colour key becomes alpha
// (0 where a pixel matches it, opaque elsewhere), as a viewer shows it.
// Palette, low-bit and gray-alpha images are not expanded: callers check
// bitDepth and channels for what they accept. The image's meta holds its
// colour (gAMA, cHRM, sRGB, iCCP, each through libpng's own reader, so only
// valid ones), pHYs, text, eXIf and bKGD (in 16-bit samples). sBIT and tIME
// are not kept: a filtered frame makes them untrue. The size is checked right
// after the header, before any pixel is decoded: against frameSize, and
// against kMaxFrameSamples. Answers false with a one-line reason.
bool ReadPng(const std::string& path, FrameImage* image, std::string* error, FrameSize frameSize = {});

// A PNG's size from its header (IHDR) alone; false when it is no PNG.
bool ReadPngSize(const std::string& path, uint32_t* width, uint32_t* height);

// Whether the file at path starts as a PNG does.
bool IsPngFile(const std::string& path);
// What render and sheet may replace: a PNG, or an empty file.
extern const OutputKind kPngOutput;

// Whether an output named path says PNG: .png, any case.
bool IsPngName(const std::string& path);

// A decoded image's samples in words: "8-bit grey", "16-bit RGBA".
std::string ImageKind(const FrameImage& image);

// Writes 16- or 8-bit samples (1 = gray, 3 = RGB, 4 = RGBA) through a temporary file that
// replaces path only once complete, so a failed write never leaves a
// half-written frame where a good one stood. meta is written through libpng's
// own writers.
bool WritePng16(const std::string& path, uint32_t width, uint32_t height, int channels,
                const uint16_t* samples, std::string* error, const FrameMetadata& meta = {});
bool WritePng8(const std::string& path, uint32_t width, uint32_t height, int channels,
               const std::vector<uint8_t>& samples, std::string* error);
