#include "dialog/preview.h"

#include <climits>
#include <vector>

#include "module/module.h"
#include "render/convolver.h"

namespace {

// The sample's 8-bit channels widened as 8-bit pictures are widened for the
// render: s x 257 maps 0..255 onto 0..65535 exactly, so an Offset means the
// same in the preview as in the render.
BMM_Color_64 Widened(COLORREF c) {
    return {static_cast<uint16_t>(GetRValue(c) * 257u), static_cast<uint16_t>(GetGValue(c) * 257u),
            static_cast<uint16_t>(GetBValue(c) * 257u), 65535};
}

// A 16-bit result shown as the nearest 8-bit value; at most 65535 x 255 +
// 32767 < 2^24 before the division.
BYTE Narrowed(uint16_t v) { return static_cast<BYTE>((v * 255u + 32767u) / 65535u); }

// Reads the selected bitmap pixel by pixel, runs the render's own convolution
// on it as a frame whose every pixel is selected, and sets the result pixel by
// pixel onto the control's context. Everything that can fail, the buffers and
// the Convolver's scratch included (std::bad_alloc), comes before the first
// pixel is set.
void FilterAndPaint(HDC control, HDC memory, int width, int height, const int32_t* block, int k, int32_t divide,
                    int32_t offset, int32_t invert) {
    // On a 32-bit build width x height itself could wrap for a corrupt
    // bitmap header.
    if (width <= 0 || height <= 0 || width > INT_MAX / height) return;
    Convolver convolver;
    if (!convolver.Prepare(block, k, divide, offset, invert, width, height)) return;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<BMM_Color_64> source(count);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) source[static_cast<size_t>(y) * width + x] = Widened(GetPixel(memory, x, y));
    std::vector<BMM_Color_64> result(source);
    const ChannelSelection everyPixel;
    for (int y = 0; y < height; ++y) convolver.FilterFromFrame(source.data(), result.data(), y, everyPixel);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const BMM_Color_64& v = result[static_cast<size_t>(y) * width + x];
            SetPixel(control, x, y, RGB(Narrowed(v.r), Narrowed(v.g), Narrowed(v.b)));
        }
}

}  // namespace

void PreviewKernel(HWND control, int bitmapId, const int32_t* block, int k, int32_t divide, int32_t offset,
                   int32_t invert) {
    if (!block || !IsWindow(control)) return;
    HDC dc = GetDC(control);
    if (!dc) return;
    HBITMAP bitmap = LoadBitmapA(ModuleHandle(), MAKEINTRESOURCEA(LOWORD(bitmapId)));
    HDC memory = bitmap ? CreateCompatibleDC(dc) : nullptr;
    if (memory) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        BITMAP info{};
        if (previous && GetObjectA(bitmap, sizeof info, &info) == sizeof info) {
            // No exception may unwind into the host's dialog loop: out of
            // memory, the preview is simply not drawn.
            try {
                FilterAndPaint(dc, memory, info.bmWidth, info.bmHeight, block, k, divide, offset, invert);
            } catch (...) {
            }
        }
        // A bitmap still selected into a context cannot be deleted.
        if (previous) SelectObject(memory, previous);
        DeleteDC(memory);
    }
    if (bitmap) DeleteObject(bitmap);
    ReleaseDC(control, dc);
}
