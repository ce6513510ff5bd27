#pragma once
// A frame's metadata between PNG files and FrameMetadata, through libpng's
// own readers and writers, so that what is written is valid PNG whatever the
// input held.
#include <png.h>

#include <string>
#include <vector>

#include "minihost/formats/frame_metadata.h"

// Before png_read_info: the colour chunks are taken raw, in file order, so
// that the first valid one of each can be kept (libpng's reader gives up on
// every one when two disagree).
void TakeColourChunksRaw(png_structp png);

// A profile from elsewhere (a TIFF's) as an iCCP chunk would give it, judged
// by libpng as a file's is: kept in meta when valid, else said in
// meta->dropped.
void TakeIccProfile(const std::string& profile, FrameMetadata* meta);

// After png_read_end(png, info): everything the file carried that a frame
// keeps. depth is the file's: an 8-bit background is widened to 16 bits.
void ReadMetadata(png_structp png, png_infop info, int depth, FrameMetadata* meta);

// Before png_write_info, with the texts made ready outside the code that
// libpng may leave by longjmp.
std::vector<png_text> TextsToWrite(const FrameMetadata& meta);
void WriteMetadata(png_structp png, png_infop info, const FrameMetadata& meta, std::vector<png_text>& texts);
