#pragma once
// A frame's metadata between its PNG form (FrameMetadata) and its TIFF form
// (TiffFormat's tags), so that a frame written in the other format keeps
// what both can hold: the ICC profile, the resolution and its unit, and the
// text (ImageDescription as "Description", Artist as "Author", ...).
#include <string>

#include "minihost/formats/frame_metadata.h"
#include "minihost/formats/tiff_codec.h"

// A TIFF's profile, resolution and text tags as a PNG holds them. A profile
// libpng finds invalid is left out, and said in meta->dropped.
void TiffTagsToPng(const TiffFormat& format, FrameMetadata* meta);

// A PNG frame's profile, resolution and text as TIFF tags, into format.
// Answers what a TIFF cannot hold (gAMA, an unnamed text, ...) in words;
// empty when it holds everything.
std::string PngMetadataToTiff(const FrameMetadata& meta, TiffFormat* format);

// The one warning a frame gets for what its output leaves out (meta.dropped
// and what the output's format cannot hold), filling format for a PNG frame
// written as TIFF; empty when the output keeps everything.
std::string CarryToOutput(const FrameMetadata& meta, bool tiffOutput, TiffFormat* format);

// A TIFF frame's associated (premultiplied) alpha is never written into a
// PNG, whose alpha is straight: the one line that says so, or empty.
std::string AlphaRefusal(const TiffFormat& format, const std::string& in, bool tiffOutput);
