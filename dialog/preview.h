#pragma once
#include <windows.h>

#include <cstdint>

// Paints the k x k block's effect on the sample bitmap over the preview
// control, pixel (x, y) at the control's client (x, y). The bitmap is loaded
// afresh from the plug-in module every time, so each preview starts from the
// unfiltered picture. Only the low 16 bits of bitmapId count. Nothing is
// painted when the bitmap, a drawing context or a buffer cannot be had, or
// when k is not 3, 5, 7 or 9.
void PreviewKernel(HWND control, int bitmapId, const int32_t* block, int k, int32_t divide, int32_t offset,
                   int32_t invert);
