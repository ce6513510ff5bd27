#pragma once
#include <windows.h>

#include <cstdint>

// Paints what the render makes of the sample bitmap with the k x k block,
// Divide, Offset and Invert over the preview control, pixel (x, y) at the
// control's client (x, y): the 8-bit sample is widened to 16 bits (s x 257),
// filtered by the render's convolution, and each result v shown as
// (v x 255 + 32767) / 65535. The bitmap is loaded afresh from the plug-in
// module every time, so each preview starts from the unfiltered picture.
// Only the low 16 bits of bitmapId count. Nothing is painted when the bitmap,
// a drawing context or memory cannot be had, or when k is not 3, 5, 7 or 9.
void PreviewKernel(HWND control, int bitmapId, const int32_t* block, int k, int32_t divide, int32_t offset,
                   int32_t invert);
