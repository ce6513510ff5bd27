#pragma once
// The filter's arithmetic written plainly, apart from the engine, so that
// every test holds every path to one rule: each tap inside the frame (taps
// outside contribute nothing, and Divide is not adjusted for them), no
// mirroring, 64-bit sums so that any 32-bit weights are exact, division
// truncating toward zero unless Divide is 0, then Offset, the clamp to
// 0..65535, and Invert when it is exactly 1.
#include <cstdint>
#include <vector>

struct OracleKernel {
    int k;
    std::vector<int32_t> block;  // k x k, row by row
    int32_t divide = 1, offset = 0, invert = 0;
};

// The red, green and blue sums of pixel (x, y) of a w x h frame, where
// channel(x, y, c) gives channel c (0 red, 1 green, 2 blue) of a pixel.
template <class Channel>
void OracleSums(const OracleKernel& kn, int w, int h, int x, int y, Channel channel, int64_t sum[3]) {
    const int r = kn.k / 2;
    sum[0] = sum[1] = sum[2] = 0;
    for (int row = 0; row < kn.k; ++row)
        for (int col = 0; col < kn.k; ++col) {
            const int sx = x + col - r, sy = y + row - r;
            if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
            const int64_t weight = kn.block[size_t(row) * kn.k + col];
            for (int c = 0; c < 3; ++c) sum[c] += weight * int64_t(channel(sx, sy, c));
        }
}

// One sum divided, offset, clamped and inverted.
inline uint16_t OracleFinish(const OracleKernel& kn, int64_t sum) {
    if (kn.divide != 0) sum /= kn.divide;
    sum += kn.offset;
    sum = sum < 0 ? 0 : sum > 65535 ? 65535 : sum;
    return uint16_t(kn.invert == 1 ? 65535 - sum : sum);
}

// Red, green and blue of the filtered pixel (x, y).
template <class Channel>
void OraclePixel(const OracleKernel& kn, int w, int h, int x, int y, Channel channel, uint16_t out[3]) {
    int64_t sum[3];
    OracleSums(kn, w, h, x, y, channel, sum);
    for (int c = 0; c < 3; ++c) out[c] = OracleFinish(kn, sum[c]);
}
