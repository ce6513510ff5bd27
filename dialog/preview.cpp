#include "dialog/preview.h"

#include <climits>
#include <cstdlib>

#include "plugin/module.h"
#include "render/convolve_reference.h"

namespace {

// Reads the selected bitmap pixel by pixel, filters it with the shared 8-bit
// arithmetic and sets the result pixel by pixel onto the control's context.
void FilterAndPaint(HDC control, HDC memory, int width, int height, const int32_t* block, int k, int32_t divide,
                    int32_t offset, int32_t invert) {
    // calloc checks count x size, but on a 32-bit build width x height itself
    // could wrap for a corrupt bitmap header.
    if (width <= 0 || height <= 0 || width > INT_MAX / height) return;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto* result = static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
    auto* source = static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
    if (result && source) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                source[static_cast<size_t>(y) * width + x] = GetPixel(memory, x, y);
        if (FilterColorValues(source, result, width, height, block, k, divide, offset, invert)) {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) SetPixel(control, x, y, result[static_cast<size_t>(y) * width + x]);
        }
    }
    std::free(source);
    std::free(result);
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
        if (previous && GetObjectA(bitmap, sizeof info, &info) == sizeof info)
            FilterAndPaint(dc, memory, info.bmWidth, info.bmHeight, block, k, divide, offset, invert);
        // A bitmap still selected into a context cannot be deleted.
        if (previous) SelectObject(memory, previous);
        DeleteDC(memory);
    }
    if (bitmap) DeleteObject(bitmap);
    ReleaseDC(control, dc);
}
