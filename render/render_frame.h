#pragma once
#include <windows.h>

#include <cstdint>

#include "host/bitmap.h"
#include "render/convolve_reference.h"

// Which pixels of a frame a render filters.
enum class FrameSelection {
    kWhole,     // every pixel
    kMaterial,  // pixels whose material effects entry equals the ID
    kObject,    // pixels whose object entry equals the ID
    kNothing,   // none: the frame is written back as it was
};

// Filters the frame in the bitmap in place, streaming it: each line is read
// once, convolved once the lines below it that it needs are read, and
// written back at once, with a progress message and an abort query to
// progressWindow before each line. After a stop the remaining lines are
// still read and written back unchanged. A frame lacking the selected
// channel, or a kernel size other than 3, 5, 7 or 9, is written back
// unchanged without messages. Answers 0 for a null bitmap (nothing happens),
// else 1: filtered, unchanged or stopped. When the working lines cannot be
// had the frame is left alone and no line is written back. The
// convolution's scratch lines come from the standard library, so
// std::bad_alloc can leave this function, before any line is written back.
int RenderBitmap(Bitmap* bitmap, HWND progressWindow, FrameSelection selection, int32_t id,
                 const KernelArgs& kernel);
