#pragma once
// Frames and ID images as TIFF files, beside PNG: read into the decoded form
// both share, and written back in the layout they came in.
#include <cstdint>
#include <string>

#include "minihost/files/output_guard.h"
#include "minihost/formats/frame_image.h"
#include "minihost/formats/tiff_codec.h"

// Whether the file at path starts as a TIFF does: which reader a frame or ID
// image goes to.
bool IsTiffFile(const std::string& path);
// What render may replace with a TIFF: a TIFF, or an empty file.
extern const OutputKind kTiffOutput;

// Whether an output named path is written as TIFF: .tif or .tiff, any case.
bool IsTiffName(const std::string& path);

// Reads a TIFF's first image into image (its samples as ReadPng gives them,
// and in its metadata what a PNG can carry of its tags) and what an output
// keeps of it into format. frameSize and
// kMaxFrameSamples are checked before any sample is decoded. False with a
// one-line reason naming the file.
bool ReadTiff(const std::string& path, FrameImage* image, TiffFormat* format, std::string* error,
              FrameSize frameSize = {});

// A TIFF's size from its header alone; false when it cannot be read.
bool ReadTiffSize(const std::string& path, uint32_t* width, uint32_t* height);

// Writes 16-bit RGBA samples as a 16-bit TIFF laid out as format says,
// through a temporary that replaces path only once whole.
bool WriteTiff16(const std::string& path, uint32_t width, uint32_t height, const uint16_t* rgba,
                 const TiffFormat& format, std::string* error);
