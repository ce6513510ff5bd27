#include "render/convolve_reference.h"

#include "render/convolve_plan.h"
#include "render/kernel_size.h"

bool SumsFitInt32(const int32_t* block, int k, int32_t maxValue) {
    int64_t total = 0;  // at most 81 * 2^31: no overflow
    for (int i = 0; i < k * k; ++i) total += block[i] < 0 ? -static_cast<int64_t>(block[i]) : block[i];
    return total * maxValue < (int64_t{1} << 31);
}

template <class Pixel>
bool ReferenceFrame(const Pixel* src, Pixel* dst, int width, int height, const KernelArgs& ks) {
    if (!IsKernelSize(ks.k) || !ks.block || width < 0 || height < 0 || (width > 0 && height > 0 && (!src || !dst)))
        return false;
    const bool narrow = SumsFitInt32(ks.block, ks.k, PixelFormat<Pixel>::kMax);
    const int h = ks.k / 2;
    for (int y = 0; y < height; ++y) {
        const Pixel* lines[kMaxK];
        for (int r = 0; r < ks.k; ++r) {
            const int j = y + r - h;
            lines[r] = j >= 0 && j < height ? src + static_cast<ptrdiff_t>(j) * width : nullptr;
        }
        Pixel* out = dst + static_cast<ptrdiff_t>(y) * width;
        for (int x = 0; x < width; ++x)
            out[x] = narrow ? ReferencePixel<int32_t>(lines, width, x, ks) : ReferencePixel<int64_t>(lines, width, x, ks);
    }
    return true;
}

template bool ReferenceFrame<BMM_Color_64>(const BMM_Color_64*, BMM_Color_64*, int, int, const KernelArgs&);
