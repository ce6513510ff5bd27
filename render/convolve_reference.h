#pragma once
#include <cstddef>
#include <cstdint>

#include "host/color64.h"
#include "render/pixel_math.h"

// The plain scalar convolution: the definition every faster path must match
// bit for bit.
//
// Window: rows max(-h, -y) .. min(h, H - 1 - y) and columns likewise, both
// ends clipped independently, so a frame smaller than the kernel simply has
// fewer taps. Block row 0 weighs line y - h and column 0 weighs column x - h
// (no mirroring). Taps outside the frame are left out and the divisor is not
// adjusted for them.

// How a pixel representation exposes its three filtered channels.
template <class Pixel>
struct PixelFormat;

// The render's pixel: 16-bit channels; alpha is taken from the source pixel.
template <>
struct PixelFormat<BMM_Color_64> {
    static constexpr int32_t kMax = 65535;
    static int32_t Channel(const BMM_Color_64& p, int c) { return c == 0 ? p.r : c == 1 ? p.g : p.b; }
    static BMM_Color_64 Compose(const int32_t v[3], const BMM_Color_64& self) {
        return {static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[2]), self.a};
    }
};

struct KernelArgs {
    const int32_t* block;  // k x k weights, row by row, top row first
    int k;                 // 3, 5, 7 or 9
    int32_t divide;
    int32_t offset;
    int32_t invert;
};

// True when every weighted sum over channels of 0..maxValue is exactly
// representable in int32, whatever the pixels and however the window is
// clipped: sum |w| * maxValue < 2^31.
bool SumsFitInt32(const int32_t* block, int k, int32_t maxValue);

// Output pixel x of a line width pixels wide, from the k lines its window
// covers: lines[r] is the line r - k/2 away, null where that is outside the
// frame (it adds nothing). Acc is the accumulator: int32_t only when
// SumsFitInt32 holds for the kernel, else int64_t.
template <class Acc, class Pixel>
Pixel ReferencePixel(const Pixel* const* lines, int width, int x, const KernelArgs& ks) {
    using Format = PixelFormat<Pixel>;
    const int h = ks.k / 2;
    const int left = x < h ? -x : -h;
    const int right = width - 1 - x < h ? width - 1 - x : h;
    Acc sum[3] = {0, 0, 0};
    for (int r = 0; r < ks.k; ++r) {
        if (!lines[r]) continue;
        const Pixel* line = lines[r] + x;
        const int32_t* weights = ks.block + r * ks.k + h;
        for (int dx = left; dx <= right; ++dx) {
            const Acc w = weights[dx];
            for (int c = 0; c < 3; ++c) sum[c] += w * static_cast<Acc>(Format::Channel(line[dx], c));
        }
    }
    int32_t v[3];
    for (int c = 0; c < 3; ++c) v[c] = FinishChannel<Format::kMax>(sum[c], ks.divide, ks.offset, ks.invert);
    return Format::Compose(v, lines[h][x]);
}

// Filters a whole frame with the reference: every pixel of dst is written.
// Returns false, writing nothing, for a kernel size other than 3, 5, 7 or 9,
// a negative size or a null buffer.
template <class Pixel>
bool ReferenceFrame(const Pixel* src, Pixel* dst, int width, int height, const KernelArgs& ks);
