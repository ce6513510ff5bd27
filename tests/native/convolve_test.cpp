#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <random>
#include <vector>

#include "render/convolve_budget.h"
#include "render/convolve_plan.h"
#include "render/convolve_reference.h"
#include "render/convolve_route.h"
#include "render/convolver.h"
#include "render/cpu_features.h"
#include "render/frame_stream.h"
#include "render/pass_plan.h"
#include "render/pixel_math.h"
#include "render/route_timing.h"
#include "tests/support/convolution_oracle.h"

namespace {

using Pixels = std::vector<BMM_Color_64>;

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// Every expectation here comes from the shared oracle, never from the engine.
using Oracle = OracleKernel;

// Expected frame: selected pixels filtered, the others copied.
template <class Selected>
Pixels Expected(const Pixels& src, int w, int h, const Oracle& o, Selected selected) {
    Pixels out = src;
    auto channel = [&](int x, int y, int c) {
        const BMM_Color_64& p = src[size_t(y) * w + x];
        return c == 0 ? p.r : c == 1 ? p.g : p.b;
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!selected(y * w + x)) continue;
            uint16_t rgb[3];
            OraclePixel(o, w, h, x, y, channel, rgb);
            BMM_Color_64& p = out[y * w + x];
            p.r = rgb[0];
            p.g = rgb[1];
            p.b = rgb[2];
        }
    }
    return out;
}

Pixels ExpectedAll(const Pixels& src, int w, int h, const Oracle& o) {
    return Expected(src, w, h, o, [](int) { return true; });
}

struct Engine {
    SimdLevel simd;
    bool separable;
};

// Every engine this machine can run: scalar, SSE2, AVX2 and the VNNI forms,
// each with and without the separable pass (taken from k = 3 on, so every
// size meets it).
std::vector<Engine> Engines() {
    std::vector<Engine> out;
    for (SimdLevel level : kSimdLevels)
        if (SimdAvailable(level))
            for (bool sep : {false, true}) out.push_back({level, sep});
    return out;
}

std::string Name(const Engine& e) { return std::string(SimdName(e.simd)) + (e.separable ? " separable" : ""); }

Pixels Filter(const Pixels& src, int w, int h, const Oracle& o, const Engine& e, const ChannelSelection& sel = {},
           ConvolvePath* path = nullptr) {
    Convolver cv;
    ConvolveOptions options;
    options.simd = e.simd;
    options.allowSeparable = e.separable;
    options.separableMinK = 3;
    Pixels dst = src;
    EXPECT_TRUE(cv.Prepare(o.block.data(), o.k, o.divide, o.offset, o.invert, w, h, options));
    for (int y = 0; y < h; ++y) cv.FilterFromFrame(src.data(), dst.data(), y, sel);
    if (path) *path = cv.path();
    return dst;
}

// Compares whole frames; reports the first difference only.
::testing::AssertionResult FramesEqual(const Pixels& expected, const Pixels& actual, int w) {
    if (expected.size() != actual.size()) return ::testing::AssertionFailure() << "size differs";
    for (size_t i = 0; i < expected.size(); ++i) {
        if (!Same(expected[i], actual[i])) {
            const BMM_Color_64 &e = expected[i], &a = actual[i];
            return ::testing::AssertionFailure()
                   << "pixel (" << i % w << ", " << i / w << "): expected " << e.r << " " << e.g << " " << e.b << " "
                   << e.a << ", got " << a.r << " " << a.g << " " << a.b << " " << a.a;
        }
    }
    return ::testing::AssertionSuccess();
}

Pixels RandomFrame(std::mt19937& rng, int w, int h) {
    Pixels p(static_cast<size_t>(w) * h);
    for (auto& px : p)
        px = {static_cast<uint16_t>(rng()), static_cast<uint16_t>(rng()), static_cast<uint16_t>(rng()),
              static_cast<uint16_t>(rng())};
    return p;
}

Pixels Uniform(int w, int h, uint16_t v, uint16_t alpha = 0x1234) {
    return Pixels(static_cast<size_t>(w) * h, BMM_Color_64{v, v, v, alpha});
}

std::vector<int32_t> Identity(int k) {
    std::vector<int32_t> b(k * k, 0);
    b[(k / 2) * k + k / 2] = 1;
    return b;
}

TEST(Convolve, IdentityKeepsEveryPixelOnEveryEngine) {
    std::mt19937 rng(1);
    for (int k : {3, 5, 7, 9}) {
        const int w = 37, h = 11;
        const Pixels src = RandomFrame(rng, w, h);
        for (int32_t divide : {0, 1}) {
            const Oracle o{k, Identity(k), divide, 0, 0};
            for (const Engine& e : Engines())
                EXPECT_TRUE(FramesEqual(src, Filter(src, w, h, o, e), w)) << Name(e) << " k=" << k;
        }
    }
}

TEST(Convolve, AllZeroWeightsGiveBlackOrWhiteKeepingAlpha) {
    std::mt19937 rng(2);
    const int w = 21, h = 6;
    const Pixels src = RandomFrame(rng, w, h);
    for (int32_t invert : {0, 1}) {
        const uint16_t v = invert ? 65535 : 0;
        const Oracle o{5, std::vector<int32_t>(25, 0), 1, 0, invert};
        for (const Engine& e : Engines()) {
            const Pixels out = Filter(src, w, h, o, e);
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_TRUE(Same(out[i], BMM_Color_64{v, v, v, src[i].a})) << Name(e) << " pixel " << i;
        }
    }
}

TEST(Convolve, BoxAverageOfUniformFrameLosesWeightAtBorders) {
    const int w = 19, h = 5;
    const Pixels src = Uniform(w, h, 900);
    const Oracle o{3, std::vector<int32_t>(9, 1), 9, 0, 0};
    for (const Engine& e : Engines()) {
        const Pixels out = Filter(src, w, h, o, e);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int edges = (x == 0 || x == w - 1) + (y == 0 || y == h - 1);
                const uint16_t want = edges == 0 ? 900 : edges == 1 ? 600 : 400;
                const BMM_Color_64& p = out[y * w + x];
                ASSERT_TRUE(Same(p, BMM_Color_64{want, want, want, 0x1234}))
                    << Name(e) << " at " << x << "," << y << ": " << p.r;
            }
        }
    }
}

// Frames wide enough for full SIMD blocks and narrow enough for the tails.
TEST(Convolve, DivisionTruncatesTowardZeroThenOffsetThenClamp) {
    struct Case {
        int32_t centre;
        uint16_t value;
        int32_t divide, offset;
        int want;
    };
    const Case cases[] = {
        {1, 7, -2, 10, 7},        // 7 / -2 = -3, + 10
        {-1, 7, 2, 0, 0},         // -7 / 2 = -3, clamped
        {-1, 7, 2, 10, 7},        // -3 + 10
        {1, 65535, 0, 100, 65535},
        {1, 500, 0, 100, 600},    // Divide 0: the raw sum plus Offset
        {1, 9, -1, 20, 11},
        {3, 65535, 2, -1, 98301}, // 196605 / 2 - 1, clamped to 65535
    };
    for (const Case& c : cases) {
        std::vector<int32_t> block(9, 0);
        block[4] = c.centre;
        const Oracle o{3, block, c.divide, c.offset, 0};
        const uint16_t want = static_cast<uint16_t>(c.want > 65535 ? 65535 : c.want);
        for (int w : {1, 40}) {
            const Pixels src = Uniform(w, 3, c.value);
            for (const Engine& e : Engines()) {
                const Pixels out = Filter(src, w, 3, o, e);
                for (const auto& p : out) ASSERT_EQ(p.r, want) << Name(e) << " value " << c.value;
            }
        }
    }
}

TEST(Convolve, OnlyInvertOneInverts) {
    const Pixels src = Uniform(20, 3, 1000);
    for (int32_t invert : {0, 1, 2, -1, INT32_MAX}) {
        const Oracle o{3, Identity(3), 1, 0, invert};
        for (const Engine& e : Engines()) {
            const uint16_t want = invert == 1 ? 64535 : 1000;
            for (const auto& p : Filter(src, 20, 3, o, e)) ASSERT_EQ(p.g, want) << Name(e) << " invert " << invert;
        }
    }
}

TEST(Convolve, MaterialSelectionFiltersMatchingPixelsFromAllNeighbours) {
    std::mt19937 rng(3);
    const int w = 23, h = 7;
    const Pixels src = RandomFrame(rng, w, h);
    std::vector<uint8_t> material(w * h);
    for (auto& m : material) m = static_cast<uint8_t>(rng() % 4 == 0 ? 3 : rng() % 256);
    const Oracle o{3, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0, 0};
    ChannelSelection sel;
    sel.requested = 2;
    sel.material = material.data();
    for (int32_t match : {3, 0, 255, 256, -2}) {
        sel.matchId = match;
        const Pixels want = Expected(src, w, h, o, [&](int i) { return int64_t{material[i]} == match; });
        for (const Engine& e : Engines()) EXPECT_TRUE(FramesEqual(want, Filter(src, w, h, o, e, sel), w)) << Name(e);
    }
    sel.matchId = 256;
    EXPECT_TRUE(FramesEqual(src, Filter(src, w, h, o, Engines().back(), sel), w));
}

TEST(Convolve, ObjectEntriesAreReadUnsigned) {
    std::mt19937 rng(4);
    const int w = 17, h = 5;
    const Pixels src = RandomFrame(rng, w, h);
    std::vector<uint16_t> object(w * h);
    for (auto& v : object) v = rng() % 3 == 0 ? 40000 : static_cast<uint16_t>(rng());
    const Oracle o{3, {0, -1, 0, -1, 5, -1, 0, -1, 0}, 1, 0, 0};
    ChannelSelection sel;
    sel.requested = 4;
    sel.object = object.data();
    sel.matchId = 40000;
    const Pixels want = Expected(src, w, h, o, [&](int i) { return object[i] == 40000; });
    ASSERT_FALSE(FramesEqual(src, want, w));
    for (const Engine& e : Engines()) EXPECT_TRUE(FramesEqual(want, Filter(src, w, h, o, e, sel), w)) << Name(e);
    sel.matchId = 40000 - 65536;  // the same bits read signed: must match nothing
    for (const Engine& e : Engines()) EXPECT_TRUE(FramesEqual(src, Filter(src, w, h, o, e, sel), w)) << Name(e);
}

TEST(Convolve, MissingChannelCountsAsZero) {
    std::mt19937 rng(5);
    const int w = 18, h = 4;
    const Pixels src = RandomFrame(rng, w, h);
    std::vector<uint16_t> object(w * h, 7);
    const Oracle o{3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0, 0};
    const Pixels all = ExpectedAll(src, w, h, o);
    ChannelSelection sel;
    sel.matchId = 0;
    sel.requested = 2;          // material requested but absent: entries are 0, even with an object channel
    sel.object = object.data();
    for (const Engine& e : Engines()) EXPECT_TRUE(FramesEqual(all, Filter(src, w, h, o, e, sel), w)) << Name(e);
    sel.matchId = 7;
    for (const Engine& e : Engines()) EXPECT_TRUE(FramesEqual(src, Filter(src, w, h, o, e, sel), w)) << Name(e);
    sel.requested = 0;          // nothing requested: entries are 0
    sel.matchId = 0;
    for (const Engine& e : Engines()) EXPECT_TRUE(FramesEqual(all, Filter(src, w, h, o, e, sel), w)) << Name(e);
}

TEST(Convolve, FramesSmallerThanTheKernelClipBothEnds) {
    std::mt19937 rng(6);
    struct Size {
        int w, h;
    };
    for (Size s : {Size{1, 1}, Size{1, 9}, Size{9, 1}, Size{2, 2}, Size{1, 5}, Size{6, 1}, Size{3, 2}}) {
        for (int k : {3, 5, 7, 9}) {
            std::vector<int32_t> block(k * k);
            for (auto& v : block) v = static_cast<int32_t>(rng() % 19) - 9;
            const Oracle o{k, block, 7, 1000, 0};
            const Pixels src = RandomFrame(rng, s.w, s.h);
            const Pixels want = ExpectedAll(src, s.w, s.h, o);
            for (const Engine& e : Engines())
                EXPECT_TRUE(FramesEqual(want, Filter(src, s.w, s.h, o, e), s.w))
                    << Name(e) << " " << s.w << "x" << s.h << " k=" << k;
        }
    }
}

// Kernels beyond 32-bit sums, with the path each must take on SIMD: split
// 16-bit parts while both parts' magnitudes add up to at most 65535, doubles
// below 2^53, int64 beyond. Black frames drive the biased split sums to their
// bounds (every channel -32768), white ones to the other side.
TEST(Convolve, HugeWeightsAreExact) {
    std::mt19937 rng(7);
    const int w = 37, h = 6;  // a full 32-pixel block and a tail
    const Pixels src = RandomFrame(rng, w, h), white = Uniform(w, h, 65535), black = Uniform(w, h, 0);
    struct Case {
        std::vector<int32_t> block;
        ConvolvePath path;
    };
    std::vector<Case> cases = {
        {std::vector<int32_t>(81, INT32_MIN), ConvolvePath::kWide},  // beyond 2^53
        {std::vector<int32_t>(81, INT32_MAX), ConvolvePath::kWide},
        {{32768, 0, 0, 0, 0, 0, 0, 0, 0}, ConvolvePath::kSplitPlanar},  // fits 32-bit sums, not a 16-bit weight
        {{40000, -1, 0, 0, 0, 0, 0, 0, 1}, ConvolvePath::kSplitPlanar},
        {{INT32_MIN, 0, 0, 0, 0, 0, 0, -32768, 32767}, ConvolvePath::kSplitPlanar},  // shift 16, low parts 65535
        {{INT32_MAX, 0, 0, 0, 0, 0, 0, 0, 0}, ConvolvePath::kDouble},  // high 32768: no 16-bit part
        {{INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, 0, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN},
         ConvolvePath::kDouble},
        // The high parts add up to exactly 65535 at shift 4, all of one sign.
        {{7281 * 16, 7281 * 16, 7281 * 16, 7281 * 16, 7287 * 16, 7281 * 16, 7281 * 16, 7281 * 16, 7281 * 16},
         ConvolvePath::kSplitPlanar},
        {{-7281 * 16, -7281 * 16, -7281 * 16, -7281 * 16, -7287 * 16, -7281 * 16, -7281 * 16, -7281 * 16, -7281 * 16},
         ConvolvePath::kSplitPlanar},
        // Shift 16, the low parts -32768 and -32767: they add up to 65535.
        {{7000 * 65536 - 32768, 7000 * 65536 - 32767, 7000 * 65536, 7000 * 65536, 7000 * 65536, 7000 * 65536,
          7000 * 65536, 7000 * 65536, 7000 * 65536},
         ConvolvePath::kSplitPlanar},
    };
    std::vector<int32_t> mixed(49), near(81), edge(81, INT32_MIN);
    for (auto& v : mixed) v = static_cast<int32_t>(rng());
    cases.push_back({mixed, ConvolvePath::kDouble});
    for (auto& v : near) v = 100000 + static_cast<int32_t>(rng() % 50000) * (rng() % 2 ? 1 : -1);
    cases.push_back({near, ConvolvePath::kSplitPlanar});
    for (int i = 64; i < 81; ++i) edge[i] = 0;  // 64 * 2^31 * 65535: just below 2^53
    cases.push_back({edge, ConvolvePath::kDouble});
    edge[64] = INT32_MIN;  // 65 * 2^31 * 65535: just above
    cases.push_back({edge, ConvolvePath::kWide});
    for (const Case& c : cases) {
        const int k = c.block.size() == 81 ? 9 : c.block.size() == 49 ? 7 : 3;
        for (int32_t divide : {-1, 1, 0, 3, INT32_MIN, INT32_MAX, 65536}) {
            for (int32_t offset : {0, INT32_MIN, INT32_MAX, -65535}) {
                const Oracle o{k, c.block, divide, offset, divide == 3};
                for (const Pixels* frame : {&src, &white, &black}) {
                    const Pixels want = ExpectedAll(*frame, w, h, o);
                    for (const Engine& e : Engines()) {
                        ConvolvePath path;
                        const Pixels got = Filter(*frame, w, h, o, e, {}, &path);
                        ASSERT_TRUE(FramesEqual(want, got, w))
                            << Name(e) << " k=" << k << " divide " << divide << " offset " << offset;
                        ASSERT_EQ(path, e.simd == SimdLevel::kNone ? ConvolvePath::kWide : c.path)
                            << Name(e) << " k=" << k << " first weight " << c.block[0];
                    }
                }
            }
        }
    }
}

// The split itself: parts that give the weights back, 16-bit each, each
// part's magnitudes adding up to at most 65535, and the smallest such shift.
TEST(Convolve, WeightSplitsStayWithinTheirBounds) {
    struct Case {
        std::vector<int32_t> weights;
        int shift;  // 0: no split
    };
    const Case cases[] = {
        {{32768}, 1},
        {{100000, -100000, 3}, 2},
        {std::vector<int32_t>(25, 150000), 6},  // 25 * 150000 / 2^5 > 65535
        {{INT32_MIN}, 16},
        {{INT32_MIN, 1 << 15}, 16},       // 32768: high 1, low -32768
        {{INT32_MAX}, 0},                 // high 32768 at shift 16
        {{INT32_MIN, INT32_MIN}, 0},      // the high parts add up to 65536
        {{INT32_MIN, -32768, -32768}, 0},  // the low parts add up to 65536
        {std::vector<int32_t>(81, 1 << 25), 16},
        {std::vector<int32_t>(81, 1 << 26), 0},  // 81 * 1024 high at shift 16
        {std::vector<int32_t>(81, 1 << 24), 15},  // 81 * 2^9: the high parts fit from shift 15 on
    };
    for (const Case& c : cases) {
        WeightSplit split;
        const int n = static_cast<int>(c.weights.size());
        ASSERT_EQ(SplitWeights(c.weights.data(), n, &split), c.shift != 0) << c.weights[0];
        if (c.shift == 0) continue;
        EXPECT_EQ(split.shift, c.shift) << c.weights[0];
        int64_t sumHigh = 0, sumLow = 0;
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(int64_t{split.high[i]} * (int64_t{1} << split.shift) + split.low[i], c.weights[i]);
            EXPECT_TRUE(split.high[i] >= -32768 && split.high[i] <= 32767 && split.low[i] >= -32768 &&
                        split.low[i] <= 32767);
            sumHigh += std::abs(int64_t{split.high[i]});
            sumLow += std::abs(int64_t{split.low[i]});
        }
        EXPECT_LE(sumHigh, 65535);
        EXPECT_LE(sumLow, 65535);
    }
}

// The largest kernels the 32-bit paths accept: sum |w| * 65535 just below 2^31.
TEST(Convolve, KernelsAtTheInt32LimitStayOnTheFastPaths) {
    std::mt19937 rng(8);
    const int w = 29, h = 5;
    const Pixels white = Uniform(w, h, 65535), random = RandomFrame(rng, w, h);
    std::vector<int32_t> block(9, 0);
    block[0] = -32768;  // 32768 * 65535 < 2^31, the most negative 16-bit weight
    std::vector<int32_t> spread(81, 0);
    for (int i = 0; i < 81; ++i) spread[i] = (i % 2 ? -1 : 1) * (i < 80 ? 404 : 32768 - 80 * 404);
    std::vector<int32_t> pair(9, 0);  // sums up to 32768 * 65535, the most a 32-bit path takes
    pair[3] = 32767;
    pair[4] = 1;
    // Every finishing mode at the ends of the dialog's ranges (Divide and
    // Offset -99999..99999) and beyond them.
    for (const auto& b : {block, spread, pair}) {
        const int k = b.size() == 81 ? 9 : 3;
        for (int32_t divide : {1, -1, 7, INT32_MIN, 0, 99999, -99999}) {
            for (int32_t offset : {40000, -99999, 99999}) {
                const Oracle o{k, b, divide, offset, 1};
                for (const Pixels* frame : {&white, &random}) {
                    const Pixels want = ExpectedAll(*frame, w, h, o);
                    for (const Engine& e : Engines()) {
                        ConvolvePath path;
                        EXPECT_TRUE(FramesEqual(want, Filter(*frame, w, h, o, e, {}, &path), w))
                            << Name(e) << " Divide " << divide << " Offset " << offset;
                        EXPECT_NE(path, ConvolvePath::kWide) << Name(e);
                    }
                }
            }
        }
    }
}

TEST(Convolve, RefusesOtherKernelSizesAndBadInput) {
    const std::vector<int32_t> block(81, 1);
    Convolver cv;
    Pixels src = Uniform(5, 5, 100), dst = src;
    for (int k : {4, 1, 0, -3, 11}) EXPECT_FALSE(cv.Prepare(block.data(), k, 1, 0, 0, 5, 5)) << k;
    cv.FilterFromFrame(src.data(), dst.data(), 2, {});
    EXPECT_TRUE(FramesEqual(src, dst, 5));
    EXPECT_FALSE(cv.Prepare(nullptr, 3, 1, 0, 0, 5, 5));
    EXPECT_FALSE(cv.Prepare(block.data(), 3, 1, 0, 0, -1, 5));
    EXPECT_FALSE(cv.Prepare(block.data(), 3, 1, 0, 0, 5, -1));

    ASSERT_TRUE(cv.Prepare(block.data(), 3, 1, 0, 0, 5, 5));
    for (int y : {-1, 5, INT32_MAX, INT32_MIN}) cv.FilterFromFrame(src.data(), dst.data(), y, {});
    cv.FilterFromFrame(nullptr, dst.data(), 0, {});
    cv.FilterFromFrame(src.data(), nullptr, 0, {});
    EXPECT_TRUE(FramesEqual(src, dst, 5));

    ASSERT_TRUE(cv.Prepare(block.data(), 3, 1, 0, 0, 0, 0));  // empty frame
    cv.FilterFromFrame(src.data(), dst.data(), 0, {});
    EXPECT_TRUE(FramesEqual(src, dst, 5));
}

std::vector<int32_t> Separable(std::mt19937& rng, int k, int range) {
    std::vector<int32_t> col(k), row(k), block(k * k);
    for (auto& v : col) v = static_cast<int32_t>(rng() % (2 * range + 1)) - range;
    for (auto& v : row) v = static_cast<int32_t>(rng() % (2 * range + 1)) - range;
    col[rng() % k] = 1 + rng() % range;  // never all zero
    row[rng() % k] = -1 - static_cast<int32_t>(rng() % range);
    for (int r = 0; r < k; ++r)
        for (int c = 0; c < k; ++c) block[r * k + c] = col[r] * row[c];
    return block;
}

TEST(Convolve, SeparableKernelsTakeTwoPassesBitIdentically) {
    std::mt19937 rng(9);
    const bool simd = BestSimdLevel() != SimdLevel::kNone;
    for (int k : {3, 5, 7, 9}) {
        for (int trial = 0; trial < 4; ++trial) {
            const std::vector<int32_t> block = Separable(rng, k, trial < 2 ? 3 : 12);  // sum |w| <= 108^2
            const int w = 1 + static_cast<int>(rng() % 45), h = 1 + static_cast<int>(rng() % 12);
            const Pixels src = RandomFrame(rng, w, h);
            const Oracle o{k, block, static_cast<int32_t>(rng() % 50) + 1, 0, 0};
            const Pixels want = ExpectedAll(src, w, h, o);
            for (const Engine& e : Engines()) {
                ConvolvePath path;
                EXPECT_TRUE(FramesEqual(want, Filter(src, w, h, o, e, {}, &path), w)) << Name(e) << " k=" << k;
                if (e.separable && e.simd != SimdLevel::kNone) {
                    EXPECT_EQ(path, ConvolvePath::kSeparable) << Name(e);
                }
            }
        }
    }
    // A kernel of rank 2 must not be taken for a separable one.
    std::vector<int32_t> rank2 = Separable(rng, 5, 3);
    rank2[7] += 1;
    const Oracle o{5, rank2, 1, 0, 0};
    ConvolvePath path;
    const Pixels src = RandomFrame(rng, 20, 8);
    EXPECT_TRUE(FramesEqual(ExpectedAll(src, 20, 8, o), Filter(src, 20, 8, o, Engines().back(), {}, &path), 20));
    if (simd) {
        EXPECT_EQ(path, ConvolvePath::kPlanar);
    }
}

// Every engine against the oracle on random frames, kernels and selections.
TEST(Convolve, RandomFramesMatchTheOracleOnEveryEngine) {
    std::mt19937 rng(10);
    const int32_t divides[] = {1, 0, -1, 2, 3, -7, 9, 25, 81, 1000, -65536, INT32_MAX, INT32_MIN};
    for (int trial = 0; trial < 600; ++trial) {
        const int k = 3 + 2 * static_cast<int>(rng() % 4);
        const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 10);
        std::vector<int32_t> block(k * k);
        const int range = trial % 4 == 0 ? 400 : 20;
        for (auto& v : block) v = static_cast<int32_t>(rng() % (2 * range + 1)) - range;
        if (trial % 11 == 0)
            for (auto& v : block) v = static_cast<int32_t>(rng()) >> (rng() % 32);  // 32-bit sums overflow
        if (trial % 5 == 0) block = Separable(rng, k, 6);
        if (trial % 7 == 0)
            for (auto& v : block) v = rng() % 3 ? 0 : v;  // sparse
        const int32_t divide = divides[rng() % (sizeof divides / sizeof divides[0])];
        const int32_t offset = static_cast<int32_t>(rng() % 200001) - 100000;
        const Oracle o{k, block, divide, offset, static_cast<int32_t>(rng() % 3)};
        const Pixels src = RandomFrame(rng, w, h);

        std::vector<uint8_t> material(static_cast<size_t>(w) * h);
        for (auto& m : material) m = static_cast<uint8_t>(rng() % 3);
        ChannelSelection sel;
        const bool selective = trial % 3 == 1;
        if (selective) {
            sel.requested = 2;
            sel.material = material.data();
            sel.matchId = 1;
        }
        const Pixels want = Expected(src, w, h, o, [&](int i) { return !selective || material[i] == 1; });
        for (const Engine& e : Engines())
            ASSERT_TRUE(FramesEqual(want, Filter(src, w, h, o, e, sel), w))
                << Name(e) << " trial " << trial << " k=" << k << " " << w << "x" << h << " divide " << divide;
    }
}

// Lines asked for out of order, twice, or from another source buffer must
// not be served stale split lines.
TEST(Convolve, LineOrderAndSourceChangesDoNotMatter) {
    std::mt19937 rng(11);
    const int w = 33, h = 14;
    const Pixels a = RandomFrame(rng, w, h), b = RandomFrame(rng, w, h);
    for (int k : {3, 9}) {
        for (bool separable : {false, true}) {
            const std::vector<int32_t> block = separable ? Separable(rng, k, 4) : std::vector<int32_t>(k * k, 1);
            const Oracle o{k, block, 5, 3, 0};
            const Pixels wantA = ExpectedAll(a, w, h, o), wantB = ExpectedAll(b, w, h, o);
            for (const Engine& e : Engines()) {
                Convolver cv;
                ConvolveOptions opt;
                opt.simd = e.simd;
                opt.allowSeparable = separable;
                opt.separableMinK = 3;
                ASSERT_TRUE(cv.Prepare(block.data(), k, 5, 3, 0, w, h, opt));
                Pixels outA = a, outB = b;
                std::vector<int> order;
                for (int y = h - 1; y >= 0; --y) order.push_back(y);
                for (int i = 0; i < 10; ++i) order.push_back(static_cast<int>(rng() % h));
                for (int y : order) {
                    cv.FilterFromFrame(a.data(), outA.data(), y, {});
                    cv.FilterFromFrame(b.data(), outB.data(), (y * 5) % h, {});
                }
                for (int y = 0; y < h; ++y) cv.FilterFromFrame(b.data(), outB.data(), y, {});
                EXPECT_TRUE(FramesEqual(wantA, outA, w)) << Name(e) << " k=" << k;
                EXPECT_TRUE(FramesEqual(wantB, outB, w)) << Name(e) << " k=" << k;
            }
        }
    }
}

// The scalar form of the SIMD finishing (multiply-high division, clamp,
// biased pack, XOR) against the straightforward finishing step.
TEST(Convolve, FastFinishingMatchesFinishChannel) {
    std::mt19937 rng(12);
    std::vector<int32_t> divisors = {2, 3, 5, 7, 9, 10, 25, 81, 641, 65535, 65536, 1 << 30, INT32_MAX,
                                     INT32_MIN, -2, -3, -9, -1000, INT32_MIN + 1, 0, 1, -1};
    for (int i = 0; i < 40; ++i) divisors.push_back(static_cast<int32_t>(rng()));
    std::vector<int32_t> sums = {0, 1, -1, 2, -2, INT32_MAX, INT32_MIN + 1, INT32_MAX - 1, 65535, -65535, 1 << 30};
    for (int i = 0; i < 400; ++i) sums.push_back(static_cast<int32_t>(rng()) >> (rng() % 31));
    const int32_t offsets[] = {0, 1, -1, 32768, -32768, 65535, -65536, INT32_MAX, INT32_MIN, INT32_MIN + 1};
    for (int32_t d : divisors) {
        if (d != 0 && d != 1 && d != -1) {
            const SignedDivider m = MakeSignedDivider(d);
            for (int32_t n : sums) ASSERT_EQ(ApplyDivider(m, n), n / d) << n << " / " << d;
        }
        for (int32_t offset : offsets) {
            for (int32_t invert : {0, 1}) {
                const FinishPlan f = MakeFinishPlan(d, offset, invert);
                for (int32_t n : sums) {
                    if (n == INT32_MIN) continue;  // beyond any sum the 32-bit paths accept
                    ASSERT_EQ(LaneToChannel(f, FinishLane(f, n)), FinishChannel<65535>(n, d, offset, invert))
                        << n << " / " << d << " + " << offset << " invert " << invert;
                }
            }
        }
    }
}

// With the sums' range known, the packed finishing (the pack's saturation as
// the clamp, a floor division without the sign fix) must still give every
// channel the straightforward step gives, at the range's ends and inside it.
TEST(Convolve, PackedFinishingMatchesFinishChannelWithinTheSumRange) {
    std::mt19937 rng(13);
    struct Range { int64_t min, max; };
    const Range ranges[] = {{0, 0},          {0, 9 * 65535},        {-2 * 9 * 65535, 9 * 25 * 65535},
                            {-65535, 65535}, {-(int64_t{1} << 30), int64_t{1} << 30},
                            {-32767 * int64_t{65535}, 32767 * int64_t{65535}}, {INT32_MIN + 1, INT32_MAX},
                            {0, 32768 * int64_t{65535}}};
    const int32_t divisors[] = {0, 1, -1, 2, 3, 7, 9, 16, 25, 81, 256, 641, 1000, 65535, 1 << 30, INT32_MAX, -9};
    const int32_t offsets[] = {0, -1, -100, 1, 32768, -65536, 70000, INT32_MAX, INT32_MIN, -99999, 99999};
    int seen[6] = {};
    for (const Range& range : ranges) {
        std::vector<int64_t> sums = {range.min, range.max, range.min + 1, range.max - 1, 0};
        std::uniform_int_distribution<int64_t> inside(range.min, range.max);
        for (int i = 0; i < 300; ++i) sums.push_back(inside(rng));
        for (int32_t d : divisors) {
            // Around multiples of the divisor, where floor and truncation part.
            for (int64_t m : {int64_t{-3}, int64_t{-1}, int64_t{1}, int64_t{5}})
                for (int64_t e : {-1, 0, 1})
                    if (m * d + e >= range.min && m * d + e <= range.max) sums.push_back(m * d + e);
            for (int32_t offset : offsets) {
                for (int32_t invert : {0, 1}) {
                    const FinishPlan f = MakeFinishPlan(d, offset, invert, range.min, range.max);
                    ++seen[f.mode];
                    for (int64_t n : sums) {
                        if (n < range.min || n > range.max) continue;
                        ASSERT_EQ(LaneToChannel(f, FinishLane(f, static_cast<int32_t>(n))),
                                  FinishChannel<65535>(static_cast<int32_t>(n), d, offset, invert))
                            << n << " / " << d << " + " << offset << " invert " << invert << " mode " << f.mode
                            << " range " << range.min << ".." << range.max;
                    }
                }
            }
        }
    }
    for (int mode : {FinishPlan::kPacked, FinishPlan::kPackedNegate, FinishPlan::kPackedFloor, FinishPlan::kMagic})
        EXPECT_GT(seen[mode], 0) << "mode " << mode << " never chosen";

    // The floor divider over its whole stated range of numerators.
    for (uint32_t d : {2u, 3u, 7u, 16u, 641u, 65535u, 65536u, 1u << 31, 4294967295u}) {
        for (uint32_t limit : {0u, 1u, 65535u * 81 * 9, 1u << 31, 4294967295u}) {
            UnsignedDivider m;
            if (!MakeUnsignedDivider(d, limit, &m)) continue;
            std::vector<uint32_t> ns = {0, limit, limit - (limit > 0), d - 1, d};
            for (int i = 0; i < 200; ++i) ns.push_back(static_cast<uint32_t>(uint64_t{rng()} * (uint64_t{limit} + 1) >> 32));
            for (uint32_t k = 1; k < 4; ++k) ns.push_back(limit / d / k * d - 1);
            for (uint32_t n : ns) {
                if (n > limit) continue;
                ASSERT_EQ(ApplyDivider(m, n), n / d) << n << " / " << d << " limit " << limit;
            }
        }
    }
    UnsignedDivider m;
    EXPECT_FALSE(MakeUnsignedDivider(1, 100, &m));
    EXPECT_TRUE(MakeUnsignedDivider(3, 65535u * 81 * 9, &m));
}

TEST(Convolve, FinishChannelEdgeCases) {
    EXPECT_EQ(FinishChannel<65535>(int32_t{7}, -2, 10, 0), 7);
    EXPECT_EQ(FinishChannel<65535>(int32_t{-7}, 2, 0, 0), 0);
    EXPECT_EQ(FinishChannel<65535>(int32_t{-7}, 2, 0, 1), 65535);
    EXPECT_EQ(FinishChannel<65535>(INT32_MIN, -1, INT32_MIN, 0), 0);  // 2^31 - 2^31
    EXPECT_EQ(FinishChannel<65535>(INT32_MIN, -1, 0, 0), 65535);
    EXPECT_EQ(FinishChannel<65535>(int64_t{INT32_MIN} * 81 * 65535, -1, INT32_MIN, 0), 65535);
    EXPECT_EQ(FinishChannel<65535>(int64_t{100}, 0, INT32_MAX, 2), 65535);
}

// Widths on both sides of every 16-pixel block and 32-element tile edge,
// with kernels wider than a block's margin: the tiled planes must hold every
// column a block reads, biased zeros beyond the frame.
TEST(Convolve, EveryWidthAroundTheBlockEdgesMatchesTheOracle) {
    std::mt19937 rng(14);
    for (int k : {3, 5, 7, 9}) {
        std::vector<int32_t> block(k * k);
        for (auto& v : block) v = static_cast<int32_t>(rng() % 61) - 30;
        const Oracle o{k, block, 13, 500, 0};
        for (int w = 1; w <= 50; ++w) {
            const int h = 1 + w % 4 + k / 2;
            const Pixels src = RandomFrame(rng, w, h);
            const Pixels want = ExpectedAll(src, w, h, o);
            for (const Engine& e : Engines())
                ASSERT_TRUE(FramesEqual(want, Filter(src, w, h, o, e), w)) << Name(e) << " k=" << k << " w=" << w;
        }
    }
}

// Widths one column either side of the strips' edges and of the width where
// the separable sums leave their budget, with caches small enough to put
// those edges within a few blocks, and strips whose last columns reach the
// end of the last block at every level (112, 128: the last vector past the
// last tile): each path, every level, with and without an object ID
// selection. The same about the width where a ring of k lines leaves its
// budget and the passes take several lines in strips of columns (frames
// taller than a pass, filtered a pass at a time).
TEST(Convolve, WidthsAroundTheStripAndBudgetEdgesMatchTheOracle) {
    std::mt19937 rng(16);
    const std::vector<int32_t> separable9 = Separable(rng, 9, 4);
    std::vector<int32_t> planar9(81), split5(25);
    for (auto& v : planar9) v = static_cast<int32_t>(rng() % 81) - 40;
    for (auto& v : split5) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
    std::vector<int32_t> lowest(81, 0);  // an identity of rank 1: column factor 32768, row factor -1
    lowest[40] = -32768;
    std::vector<int32_t> double5(25);  // beyond what the split holds: doubles
    for (auto& v : double5) v = static_cast<int32_t>(rng() % 2000000001) - 1000000000;
    const Oracle kernels[] = {{9, separable9, 37, -20, 0}, {9, lowest, -32768, 0, 0}, {9, planar9, 11, 300, 1},
                              {5, split5, 999983, 7, 0}, {5, double5, 1000003, -9, 0}};
    const int sumsEdge = 100;  // the widest frame whose 9x9 sums fit the budget below
    for (SimdLevel level : kSimdLevels) {
        if (level == SimdLevel::kNone || !SimdAvailable(level)) continue;
        ConvolveOptions options;
        options.simd = level;
        options.cache.l2 = 2 * sumsEdge * 9 * 3 * sizeof(int32_t);
        options.cache.l1d = 72 * KernelsFor(level)->blockPixels;  // strips of two blocks
        const int strip = StripColumns(options.cache, KernelsFor(level)->blockPixels);
        // The rings' edges: 9 and 5 lines of 16-bit planes, 5 of doubles;
        // then the strips of their passes, beyond the edge.
        std::vector<int> widths = {strip - 1,    strip,    strip + 1,    2 * strip - 1, 2 * strip,
                                   2 * strip + 1, sumsEdge, sumsEdge + 1, 112,           128};
        const int planes = 6 * KernelsFor(level)->planeScale;
        for (auto [k, bytes] : {std::pair<int, int>{9, planes}, {5, planes}, {5, 24}}) {
            const int edge = static_cast<int>(options.cache.l2 / 2 / (k * bytes));
            const int columns = RingPassShape(options.cache, edge + 1, k, bytes, KernelsFor(level)->blockPixels).columns;
            const int m = edge / columns + 1;
            for (int w : {edge, edge + 1, m * columns - 1, m * columns + 1, (m + 1) * columns - 1, (m + 1) * columns + 1})
                widths.push_back(w);
        }
        for (int w : widths) {
            const int h = 11;
            const Pixels src = RandomFrame(rng, w, h);
            std::vector<uint16_t> object(static_cast<size_t>(w) * h);
            for (auto& v : object) v = static_cast<uint16_t>(rng() % 2 ? 9 : 40000);
            for (const Oracle& o : kernels)
                for (bool selective : {false, true}) {
                    ChannelSelection sel;
                    if (selective) {
                        sel.requested = 4;
                        sel.object = object.data();
                        sel.matchId = 40000;
                    }
                    const Pixels want = Expected(src, w, h, o, [&](int i) { return !selective || object[i] == 40000; });
                    Convolver cv;
                    ASSERT_TRUE(cv.Prepare(o.block.data(), o.k, o.divide, o.offset, o.invert, w, h, options));
                    Pixels got = src;
                    cv.FilterFrameLines(src.data(), got.data(), 0, h, sel);
                    ASSERT_TRUE(FramesEqual(want, got, w)) << SimdName(level) << " " << PathName(cv.path()) << " w=" << w
                                                           << (selective ? ", selected by ID" : "");
                    if (&o < &kernels[2]) {
                        EXPECT_EQ(cv.path(), w > sumsEdge ? ConvolvePath::kSeparableStrips : ConvolvePath::kSeparable);
                    }
                }
        }
    }
}

// The dot-product forms and the 512-bit ones, each where the processor has
// it: random kernels up to the largest 16-bit weights the 32-bit paths take
// and beyond 32-bit sums (split planar), every size, with and without a
// selection, frames narrower and shorter than the kernel and up to two
// 32-pixel blocks wide.
TEST(Convolve, WiderLevelsMatchTheOracle) {
    int ran = 0;
    for (SimdLevel level : {SimdLevel::kAvxVnni, SimdLevel::kAvx512Bw, SimdLevel::kAvx512Vnni}) {
        if (!SimdAvailable(level)) continue;
        ++ran;
        std::mt19937 rng(15);
        for (int trial = 0; trial < 160; ++trial) {
            const int k = 3 + 2 * (trial % 4);
            const int w = trial % 5 == 0 ? 1 + static_cast<int>(rng() % k) : 1 + static_cast<int>(rng() % 70);
            const int h = trial % 7 == 0 ? 1 + static_cast<int>(rng() % k) : 1 + static_cast<int>(rng() % 12);
            std::vector<int32_t> block(k * k, 0);
            if (trial % 3 == 0) {
                // Extremes: one weight of -32768 or 32767 and the rest small,
                // sum |w| * 65535 still below 2^31.
                for (auto& v : block) v = static_cast<int32_t>(rng() % 5) - 2;
                block[rng() % block.size()] = trial % 2 ? 32767 : -32768;
            } else if (trial % 3 == 1 && trial % 2 == 0) {
                for (auto& v : block) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
            } else {
                for (auto& v : block) v = static_cast<int32_t>(rng() % 801) - 400;
            }
            const int32_t divide = static_cast<int32_t>(rng() % 41) - 20;
            const Oracle o{k, block, divide, static_cast<int32_t>(rng() % 20001) - 10000, static_cast<int32_t>(rng() % 2)};
            const Pixels src = RandomFrame(rng, w, h);
            std::vector<uint16_t> object(static_cast<size_t>(w) * h);
            for (auto& v : object) v = static_cast<uint16_t>(rng() % 2 ? 9 : 40000);
            ChannelSelection sel;
            const bool selective = trial % 2 == 1;
            if (selective) {
                sel.requested = 4;
                sel.object = object.data();
                sel.matchId = 40000;
            }
            const Pixels want = Expected(src, w, h, o, [&](int i) { return !selective || object[i] == 40000; });
            for (bool separable : {false, true}) {
                const Engine e{level, separable};
                Convolver cv;
                ConvolveOptions options;
                options.simd = level;
                options.allowSeparable = separable;
                options.separableMinK = 3;
                ASSERT_TRUE(cv.Prepare(block.data(), k, o.divide, o.offset, o.invert, w, h, options));
                ASSERT_EQ(cv.simd(), level) << "the level asked for must be the one that runs";
                ASSERT_TRUE(FramesEqual(want, Filter(src, w, h, o, e, sel), w))
                    << Name(e) << " trial " << trial << " k=" << k << " " << w << "x" << h;
            }
        }
    }
    if (ran == 0) GTEST_SKIP() << "this processor has neither AVX-VNNI nor AVX512BW";
}

// A level the processor lacks falls to the next lower one it has, and
// BestSimdLevel names one that runs.
TEST(Convolve, MissingLevelsFallToOnesThatRun) {
    const std::vector<int32_t> block(9, 1);
    for (SimdLevel level : kSimdLevels) {
        Convolver cv;
        ConvolveOptions options;
        options.simd = level;
        ASSERT_TRUE(cv.Prepare(block.data(), 3, 9, 0, 0, 8, 8, options));
        EXPECT_TRUE(SimdAvailable(cv.simd())) << SimdName(level);
        EXPECT_LE(static_cast<int>(cv.simd()), static_cast<int>(level)) << SimdName(level);
        if (SimdAvailable(level)) {
            EXPECT_EQ(cv.simd(), level);
        }
    }
    EXPECT_TRUE(SimdAvailable(BestSimdLevel()));
}

CpuidWords ModernWords() {
    CpuidWords w;
    w.maxLeaf = 0xD;
    w.leaf1Edx = 1u << 26;                                     // SSE2
    w.leaf1Ecx = 1u << 27 | 1u << 28 | 1u << 12;               // OSXSAVE, AVX, FMA
    w.leaf7Eax = 1;                                            // subleaf 1 exists
    w.leaf7Ebx = 1u << 5 | 1u << 16 | 1u << 30 | 1u << 31;     // AVX2, AVX512 F, BW, VL
    w.leaf7Ecx = 1u << 11;                                     // AVX512-VNNI
    w.leaf7Sub1Eax = 1u << 4;                                  // AVX-VNNI
    w.xcr0 = 0xE7;                                             // x87, SSE, AVX, opmask, ZMM halves
    w.maxExtendedLeaf = 0x80000008u;
    w.ext5Ecx = 48u << 24 | 12u << 16 | 64;                    // 48 KiB L1d, 12 ways, 64-byte lines
    w.ext6Ecx = 1024u << 16 | 0x8u << 12 | 64;                 // 1 MiB L2
    return w;
}

// Each case changes the words of a processor that has everything; the
// expected levels are SSE2, AVX2, AVX-VNNI, AVX512BW, AVX512-VNNI.
TEST(CpuFeatures, EveryLevelNeedsTheProcessorAndTheSystem) {
    struct Case {
        const char* what;
        void (*change)(CpuidWords&);
        const char* levels;
    };
    const Case cases[] = {
        {"everything", [](CpuidWords&) {}, "11111"},
        {"xcr0 without the AVX-512 state", [](CpuidWords& w) { w.xcr0 = 0x7; }, "11100"},
        {"xcr0 without the opmask state", [](CpuidWords& w) { w.xcr0 = 0xC7; }, "11100"},
        {"xcr0 without the ZMM16-31 state", [](CpuidWords& w) { w.xcr0 = 0x67; }, "11100"},
        {"xcr0 without the ymm state", [](CpuidWords& w) { w.xcr0 = 0xE3; }, "10000"},
        {"no OSXSAVE: XCR0 cannot be trusted", [](CpuidWords& w) { w.leaf1Ecx &= ~(1u << 27); }, "10000"},
        {"AVX2 without FMA", [](CpuidWords& w) { w.leaf1Ecx &= ~(1u << 12); }, "10000"},
        {"subleaf 1 absent: its word is not read", [](CpuidWords& w) { w.leaf7Eax = 0; }, "11011"},
        {"no AVX512BW", [](CpuidWords& w) { w.leaf7Ebx &= ~(1u << 30); }, "11100"},
        {"no AVX512F", [](CpuidWords& w) { w.leaf7Ebx &= ~(1u << 16); }, "11100"},
        {"no AVX512VL: not used", [](CpuidWords& w) { w.leaf7Ebx &= ~(1u << 31); }, "11111"},
        {"no AVX512-VNNI", [](CpuidWords& w) { w.leaf7Ecx &= ~(1u << 11); }, "11110"},
        {"leaf 7 beyond the processor's range", [](CpuidWords& w) { w.maxLeaf = 6; }, "10000"},
        {"no leaves at all", [](CpuidWords& w) { w = CpuidWords(); }, "00000"},
    };
    for (const Case& c : cases) {
        CpuidWords w = ModernWords();
        c.change(w);
        const CpuFeatures f = DecodeCpuFeatures(w);
        const bool got[] = {f.sse2, f.avx2, f.avxVnni, f.avx512Bw, f.avx512Vnni};
        std::string levels;
        for (bool b : got) levels += b ? '1' : '0';
        EXPECT_EQ(levels, c.levels) << c.what;
    }
}

// Vendor, family and model as the processor's signature gives them: the
// extended fields count only for families 6 and 15.
TEST(CpuFeatures, IdentityFromTheSignature) {
    struct Case {
        const char* vendor;
        uint32_t eax;
        bool intel;
        uint32_t family, model;
    };
    const Case cases[] = {
        {"GenuineIntel", 0x000606A6, true, 6, 0x6A},    // Ice Lake Xeon
        {"GenuineIntel", 0x00050654, true, 6, 0x55},    // Skylake Xeon
        {"GenuineIntel", 0x000806F8, true, 6, 0x8F},    // Sapphire Rapids
        {"GenuineIntel", 0x00000F41, true, 15, 4},      // family 15, no extension
        {"GenuineIntel", 0x00010571, true, 5, 7},       // extended model ignored below family 6
        {"AuthenticAMD", 0x00A10F11, false, 0x19, 0x11},  // Zen 4
        {"AuthenticAMD", 0x00830F10, false, 0x17, 0x31},  // Zen 2
    };
    for (const Case& c : cases) {
        CpuidWords w = ModernWords();
        std::memcpy(&w.vendor[0], c.vendor, 4);
        std::memcpy(&w.vendor[1], c.vendor + 4, 4);
        std::memcpy(&w.vendor[2], c.vendor + 8, 4);
        w.leaf1Eax = c.eax;
        const CpuFeatures f = DecodeCpuFeatures(w);
        EXPECT_EQ(f.intel, c.intel) << c.vendor << std::hex << c.eax;
        EXPECT_EQ(f.family, c.family) << std::hex << c.eax;
        EXPECT_EQ(f.model, c.model) << std::hex << c.eax;
    }
}

// Cache sizes: Intel's leaf 4 (ways x partitions x line x sets; the level-1
// data and level-2 caches only), AMD's leaves 0x80000005-6 (KiB); 0 where a
// leaf is missing.
TEST(CpuFeatures, CachesFromTheirLeaves) {
    const uint32_t intelLeaves[][3] = {{0x21, 11u << 22 | 63, 63}, {0x22, 7u << 22 | 63, 63},
                                       {0x43, 19u << 22 | 63, 1023}, {0x63, 11u << 22 | 63, 49151}};
    struct Case {
        const char* what;
        bool intel;
        uint32_t maxLeaf, maxExtendedLeaf;
        size_t leaf4Count;
        uint32_t l1d, l2;
    };
    const Case cases[] = {
        {"AMD", false, 0xD, 0x80000008u, 0, 48 << 10, 1 << 20},
        {"AMD without leaf 0x80000006", false, 0xD, 0x80000005u, 0, 48 << 10, 0},
        {"AMD without extended leaves", false, 0xD, 0x80000000u, 0, 0, 0},
        {"Intel", true, 0xD, 0x80000008u, 4, 48 << 10, 1280 << 10},
        {"Intel, leaf 4 ending after the first cache", true, 0xD, 0x80000008u, 1, 48 << 10, 0},
        {"Intel without leaf 4: AMD's leaves are not read", true, 3, 0x80000008u, 4, 0, 0},
    };
    for (const Case& c : cases) {
        CpuidWords w = ModernWords();
        if (c.intel) std::memcpy(w.vendor, "GenuineIntel", sizeof w.vendor);
        w.maxLeaf = c.maxLeaf;
        w.maxExtendedLeaf = c.maxExtendedLeaf;
        std::memcpy(w.leaf4, intelLeaves, c.leaf4Count * sizeof intelLeaves[0]);
        const CpuFeatures f = DecodeCpuFeatures(w);
        EXPECT_EQ(f.cache.l1d, c.l1d) << c.what;
        EXPECT_EQ(f.cache.l2, c.l2) << c.what;
    }
}

// The processor read through the leaves that decide something: the same
// features as every leaf read, in seven CPUIDs each (every one a trap to the
// hypervisor in a virtual machine). The fake answers from a full set of words.
const CpuidWords* g_answering = nullptr;
int g_cpuidCalls = 0;
void FakeCpuid(uint32_t leaf, uint32_t subleaf, uint32_t out[4]) {
    ++g_cpuidCalls;
    const CpuidWords& w = *g_answering;
    uint32_t r[4] = {};
    if (leaf == 0) r[0] = w.maxLeaf, r[1] = w.vendor[0], r[3] = w.vendor[1], r[2] = w.vendor[2];
    if (leaf == 1) r[0] = w.leaf1Eax, r[2] = w.leaf1Ecx, r[3] = w.leaf1Edx;
    if (leaf == 4 && subleaf < 8) std::memcpy(r, w.leaf4[subleaf], sizeof w.leaf4[subleaf]);
    if (leaf == 7 && subleaf == 0) r[0] = w.leaf7Eax, r[1] = w.leaf7Ebx, r[2] = w.leaf7Ecx;
    if (leaf == 7 && subleaf == 1) r[0] = w.leaf7Sub1Eax;
    if (leaf == 0x80000000u) r[0] = w.maxExtendedLeaf;
    if (leaf == 0x80000005u) r[2] = w.ext5Ecx;
    if (leaf == 0x80000006u) r[2] = w.ext6Ecx;
    std::memcpy(out, r, sizeof r);
}

TEST(CpuFeatures, ReadsOnlyTheLeavesItDecodes) {
    const uint32_t intelLeaves[][3] = {{0x21, 11u << 22 | 63, 63}, {0x22, 7u << 22 | 63, 63},
                                       {0x43, 15u << 22 | 63, 2047}, {0x163, 14u << 22 | 63, 122879}};
    CpuidWords intel = ModernWords(), amd = ModernWords();
    std::memcpy(intel.vendor, "GenuineIntel", sizeof intel.vendor);
    std::memcpy(intel.leaf4, intelLeaves, sizeof intelLeaves);
    std::memcpy(amd.vendor, "AuthenticAMD", sizeof amd.vendor);
    for (const CpuidWords* full : {&intel, &amd}) {
        g_answering = full;
        g_cpuidCalls = 0;
        const CpuFeatures got = DecodeCpuFeatures(ReadCpuidWords(FakeCpuid, [] { return uint64_t{0xE7}; }));
        const CpuFeatures want = DecodeCpuFeatures(*full);
        const std::string who = full == &intel ? "Intel" : "AMD";
        EXPECT_EQ(g_cpuidCalls, 7) << who;
        EXPECT_TRUE(got.sse2 && got.avx2 && got.avxVnni && got.avx512Bw && got.avx512Vnni) << who;
        EXPECT_EQ(got.intel, want.intel) << who;
        EXPECT_EQ(got.cache.l1d, want.cache.l1d) << who;
        EXPECT_EQ(got.cache.l2, want.cache.l2) << who;
        EXPECT_NE(got.cache.l2, 0u) << who;
    }
}

// What the separable pass keeps for a few caches and widths: its 32-bit
// sums while k lines of them take at most half the L2 (unknown sizes taken
// as 32 KiB and 256 KiB), else the planes in strips of whole blocks whose
// sums take at most half the L1d.
TEST(CacheBudget, SumsOrStripsForEachCacheAndWidth) {
    struct Case {
        uint32_t l1d, l2;
        int width, k, blockPixels;
        bool sumsFit;
        int strip;
    };
    const Case cases[] = {
        {48 * 1024, 1024 * 1024, 3840, 9, 32, true, 2016},   // 4K on a 1 MiB L2
        {48 * 1024, 1024 * 1024, 4854, 9, 32, true, 2016},   // the widest that fits it
        {48 * 1024, 1024 * 1024, 4855, 9, 32, false, 2016},
        {48 * 1024, 1024 * 1024, 8192, 9, 16, false, 2032},
        {48 * 1024, 2048 * 1024, 8192, 9, 32, true, 2016},   // a 2 MiB L2
        {32 * 1024, 512 * 1024, 8192, 3, 8, false, 1352},
        {0, 0, 1213, 9, 32, true, 1312},                       // sizes unknown: 32 KiB, 256 KiB
        {0, 0, 1214, 9, 32, false, 1312},
        {100, 1, 0, 9, 32, true, 32},                          // no width; at least one block
        {100, 1, 1, 9, 32, false, 32},
    };
    for (const Case& c : cases) {
        const CacheSizes sizes{c.l1d, c.l2};
        EXPECT_EQ(SeparableSumsFit(sizes, c.width, c.k), c.sumsFit) << c.l2 << " " << c.width << " " << c.k;
        EXPECT_EQ(StripColumns(sizes, c.blockPixels), c.strip) << c.l1d << " " << c.blockPixels;
    }
}

// How a pass over a ring of k lines is shaped: whole lines while the k
// lines take at most half the L2 (unknown sizes taken as 256 KiB), else
// kMaxPassLines lines in strips of whole blocks whose k + kMaxPassLines - 1
// lines take at most that half, never less than one block.
TEST(CacheBudget, PassesOfWholeLinesOrStripsForEachRing) {
    struct Case {
        const char* what;
        uint32_t l2;
        int width, k, bytesPerColumn, blockPixels;
        int lines, columns;
    };
    const Case cases[] = {
        {"AVX2 tiles, 9 lines, the widest that fits 1 MiB", 1 << 20, 4854, 9, 12, 16, 1, 4854},
        {"one column more", 1 << 20, 4855, 9, 12, 16, 8, 2720},
        {"AVX2 tiles at 8192", 1 << 20, 8192, 9, 12, 16, 8, 2720},
        {"flat 512-bit planes at 8192", 1 << 20, 8192, 9, 6, 32, 1, 8192},
        {"flat 512-bit planes at 16384", 1 << 20, 16384, 9, 6, 32, 8, 5440},
        {"doubles, 5 lines at 4K", 1 << 20, 3840, 5, 24, 16, 1, 3840},
        {"doubles, 5 lines, 4370 wide", 1 << 20, 4370, 5, 24, 16, 8, 1808},
        {"sizes unknown: 256 KiB", 0, 7281, 3, 6, 16, 1, 7281},
        {"sizes unknown, one column more", 0, 7282, 3, 6, 16, 8, 2176},
        {"a cache too small for a block", 1, 5, 3, 6, 16, 8, 16},
        {"no width", 1, 0, 9, 12, 16, 1, 0},
    };
    for (const Case& c : cases) {
        const PassShape shape = RingPassShape(CacheSizes{0, c.l2}, c.width, c.k, c.bytesPerColumn, c.blockPixels);
        EXPECT_EQ(shape.lines, c.lines) << c.what;
        EXPECT_EQ(shape.columns, c.columns) << c.what;
    }
}

// The ring of the streaming render for each kernel and pass: k + pass - 1
// source lines and a line for each output of a pass; passes clamped to
// 1..kMaxPassLines; one slot when nothing is convolved.
TEST(PassPlan, RingForEachKernelAndPass) {
    struct Case {
        int k, passLines;
        int32_t pass, reach, sources, lines;
    };
    const Case cases[] = {
        {3, 1, 1, 1, 3, 4},   {9, 1, 1, 4, 9, 10},  {3, 8, 8, 1, 10, 18}, {9, 8, 8, 4, 16, 24},
        {5, 3, 3, 2, 7, 10},  {7, 0, 1, 3, 7, 8},   {7, 99, 8, 3, 14, 22}, {0, 8, 1, 0, 1, 2},
    };
    for (const Case& c : cases) {
        const PassPlan plan = PlanPasses(c.k, c.passLines);
        EXPECT_EQ(plan.pass, c.pass) << c.k << " " << c.passLines;
        EXPECT_EQ(plan.reach, c.reach) << c.k << " " << c.passLines;
        EXPECT_EQ(plan.sources, c.sources) << c.k << " " << c.passLines;
        EXPECT_EQ(plan.lines, c.lines) << c.k << " " << c.passLines;
    }
    EXPECT_EQ(kFirstRingLines, 10);
}

// A frame behind the pass loop's seam: every read, write and question in
// order; the read of one line fails and the question before another
// answers stop.
class SeamFrame final : public FrameLines {
public:
    SeamFrame(const Pixels& px, int w, int failRead, int stopAt)
        : px(px), w_(w), failRead_(failRead), stopAt_(stopAt) {}
    bool Read(int32_t y, BMM_Color_64* line) override {
        calls.push_back({'r', y});
        if (y == failRead_) return false;
        std::copy_n(px.begin() + static_cast<size_t>(y) * w_, w_, line);
        return true;
    }
    int Write(int32_t y, const BMM_Color_64* line) override {
        calls.push_back({'w', y});
        std::copy_n(line, w_, px.begin() + static_cast<size_t>(y) * w_);
        return 1;
    }
    bool Stop(int32_t y) override {
        calls.push_back({'s', y});
        return y == stopAt_;
    }
    struct Call {
        char what;
        int line;
    };
    std::vector<Call> calls;
    Pixels px;

private:
    int w_, failRead_, stopAt_;
};

// The smallest width whose passes take several lines under these options.
int FirstWidthOfPasses(const KernelArgs& kernel, const ConvolveOptions& options) {
    int lo = 1, hi = 4096;
    while (lo < hi) {
        Convolver cv;
        const int mid = (lo + hi) / 2;
        cv.Prepare(kernel, mid, 1, options);
        (cv.PassLines() > 1 ? hi : lo) = cv.PassLines() > 1 ? mid : mid + 1;
    }
    return lo;
}

// The pass loop at every pass shape, against the reference on the frame as
// the loop could read it (a failed read is zeros): one line a pass and
// kMaxPassLines on either side of the budget's edge, heights no multiple of
// a pass, stops on either side of a pass's edge, selections that leave
// lines out, a route timed on early lines. Each line is read once, asked
// about once before it is touched (never past the frame), written once in
// order, and only after every line it draws on was read.
TEST(FrameStream, EveryPassShapeBitForBit) {
    enum Ids { kWhole, kObjects, kObjectBand };
    struct Case {
        const char* what;
        int k, h;
        int edge;  // width: the budget's edge plus this, or, at 1000 or more, this less 1000
        int pass;  // what the Convolver takes there
        int stopAt, failRead;
        Ids ids;
        bool separable = false, timed = false;
    };
    const Case cases[] = {
        {"one line a pass, the widest", 3, 13, -1, 1, -1, -1, kWhole},
        {"eight lines, the narrowest; height 2 passes and 3", 3, 19, 0, 8, -1, -1, kWhole},
        {"eight lines, 9x9, one pass short", 9, 7, 1, 8, -1, -1, kWhole},
        {"eight lines, 9x9, a height of one", 9, 1, 5, 8, -1, -1, kWhole},
        {"stop on a pass's last line", 5, 21, 3, 8, 7, -1, kWhole},
        {"stop on the next pass's first line", 7, 21, 3, 8, 8, -1, kWhole},
        {"stop in a pass, IDs", 9, 20, 2, 8, 11, -1, kObjects},
        {"stop on the last line", 3, 17, 0, 8, 16, -1, kWhole},
        {"object on a few lines", 7, 18, 0, 8, -1, -1, kObjectBand},
        {"a read that fails in the second pass", 5, 19, 4, 8, -1, 9, kWhole},
        {"separable strips", 9, 19, 9, 8, 13, 2, kObjects, true},
        {"one line a pass, a stop and a failed read", 5, 12, -3, 1, 6, 3, kWhole},
        {"timed on early lines, eight a pass", 5, 29, 1300, 8, 20, 25, kWhole, false, true},
        {"timed, a read of an early line fails", 9, 11, 1300, 8, -1, 0, kObjects, false, true},
    };
    std::mt19937 rng(43);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int32_t> weights = c.separable ? Separable(rng, c.k, 6) : std::vector<int32_t>(c.k * c.k);
        if (!c.separable)
            for (auto& v : weights) v = static_cast<int32_t>(rng() % 61) - 30;
        const KernelArgs kernel{weights.data(), c.k, 7, 300, 0};
        ConvolveOptions options;
        options.cache.l2 = 8 * 1024;
        options.separableMinK = c.separable ? 3 : 10;
        const int w = c.edge >= 1000 ? c.edge - 1000 : FirstWidthOfPasses(kernel, options) + c.edge;
        Convolver shape;
        ASSERT_TRUE(shape.Prepare(kernel, w, c.h, options));
        ASSERT_EQ(shape.PassLines(), c.pass) << w << " wide";

        const Pixels src = RandomFrame(rng, w, c.h);
        std::vector<uint16_t> object(src.size());
        for (size_t i = 0; i < object.size(); ++i) {
            const size_t y = i / w;
            object[i] = static_cast<uint16_t>(c.ids == kObjectBand ? (y >= 6 && y <= 8 && rng() % 2 ? 701 : 700)
                                                                   : 700 + rng() % 3);
        }
        ChannelSelection sel;
        if (c.ids != kWhole) {
            sel.matchId = 701;
            sel.requested = kObjectChannel;
            sel.object = object.data();
        }

        SeamFrame frame(src, w, c.failRead, c.stopAt);
        {
            FrameStream stream(frame, w, c.h);
            ASSERT_TRUE(stream.Valid());
            RouteMemo memo;
            static uint64_t ticks;
            const FrameRoute route =
                c.timed ? stream.TimeRoute(kernel, [] { return ++ticks; }, memo) : FrameRoute();
            if (c.timed) {
                EXPECT_EQ(route.why.find("table: the frame's first lines"), c.failRead == 0 ? 0 : std::string::npos)
                    << route.why;
            }
            EXPECT_EQ(stream.Convolve(kernel, options, sel), c.stopAt >= 0 ? 0 : 1);
            stream.WriteBack();
        }

        Pixels seen = src, want(src.size());
        if (c.failRead >= 0) std::fill_n(seen.begin() + static_cast<size_t>(c.failRead) * w, w, BMM_Color_64{});
        ASSERT_TRUE(ReferenceFrame(seen.data(), want.data(), w, c.h, kernel));
        const int filtered = c.stopAt >= 0 ? c.stopAt : c.h;
        for (size_t i = 0; i < want.size(); ++i)
            if (static_cast<int>(i / w) >= filtered || (c.ids != kWhole && object[i] != 701)) want[i] = seen[i];
        EXPECT_TRUE(FramesEqual(want, frame.px, w));

        const int h = c.k / 2;
        std::vector<int> reads(c.h, 0), written(c.h, 0), asked;
        int nextWrite = 0;
        for (const SeamFrame::Call& call : frame.calls) {
            ASSERT_TRUE(call.line >= 0 && call.line < c.h) << call.what << " " << call.line;
            if (call.what == 's') {
                asked.push_back(call.line);
                EXPECT_EQ(written[call.line], 0) << "asked about line " << call.line << " after it was written";
            } else if (call.what == 'r') {
                EXPECT_EQ(written[call.line], 0) << "line " << call.line << " read after it was written";
                ++reads[call.line];
            } else {
                EXPECT_EQ(call.line, nextWrite++) << "written out of order";
                ++written[call.line];
                for (int j = std::max(0, call.line - h); call.line < filtered && j <= std::min(c.h - 1, call.line + h); ++j)
                    EXPECT_EQ(reads[j], 1) << "line " << call.line << " written before line " << j << " was read";
            }
        }
        std::vector<int> wantAsked;
        for (int y = 0; y < c.h && (c.stopAt < 0 || y <= c.stopAt); ++y) wantAsked.push_back(y);
        EXPECT_EQ(asked, wantAsked);
        EXPECT_EQ(reads, std::vector<int>(c.h, 1));
        EXPECT_EQ(written, std::vector<int>(c.h, 1));
    }
}

// The choice from tables of timings, ticks a line: a candidate stands for
// its fastest sample, another than the table's (the first) is taken only at
// most 1 - margin of its time, ties go to the earlier, and a candidate with
// fewer samples than the rules ask is not timed.
TEST(ChooseByTiming, FromTablesOfTimings) {
    struct Case {
        const char* what;
        std::vector<std::vector<double>> samples;
        size_t index;
        bool timed;
        const char* why;
    };
    const Case cases[] = {
        {"the table's the fastest", {{10, 11, 12}, {13, 14, 15}}, 0, true,
         "timed: the table's planar, AVX512BW+VNNI was the fastest"},
        {"another faster beyond the margin", {{100, 100, 100}, {90, 91, 200}}, 1, true,
         "timed: planar, AVX2 took 0.90 of the time of the table's planar, AVX512BW+VNNI"},
        {"another faster within the margin", {{100, 100, 100}, {96, 97, 98}}, 0, true,
         "timed: the table's planar, AVX512BW+VNNI kept; planar, AVX2 took 0.96 of its time, within the margin"},
        {"just beyond the margin", {{100, 100, 100}, {94, 94, 94}}, 1, true, "took 0.94"},
        {"two others tie: the earlier", {{100, 100, 100}, {80, 80, 80}, {80, 80, 80}}, 1, true, "planar, AVX2 took 0.80"},
        {"another ties with the table", {{80, 80, 80}, {80, 80, 80}}, 0, true, "was the fastest"},
        {"noise: a slow sample does not count", {{100, 100, 100}, {500, 85, 900}}, 1, true, "took 0.85"},
        {"noise: the table's fast sample counts", {{100, 60, 100}, {70, 70, 70}}, 0, true, "was the fastest"},
        {"a level with too few samples", {{100, 100, 100}, {50, 50}}, 0, true, "was the fastest"},
        {"a level with none", {{100, 100, 100}, {}, {80, 80, 80}}, 2, true, "planar, SSE2 took 0.80"},
        {"the table's not timed", {{}, {50, 50, 50}}, 0, false,
         "table: planar, AVX512BW+VNNI could not be timed"},
        {"nothing to time", {}, 0, false, "no route to time"},
    };
    const SimdLevel levels[] = {SimdLevel::kAvx512Vnni, SimdLevel::kAvx2, SimdLevel::kSse2};
    for (const Case& c : cases) {
        std::vector<RouteTiming> timings;
        for (size_t i = 0; i < c.samples.size(); ++i)
            timings.push_back({{{ConvolvePath::kPlanar, levels[i]}, ConvolveOptions(), false}, c.samples[i]});
        const TimedChoice choice = ChooseByTiming(timings);
        EXPECT_EQ(choice.index, c.index) << c.what;
        EXPECT_EQ(choice.timed, c.timed) << c.what;
        EXPECT_NE(choice.why.find(c.why), std::string::npos) << c.what << ": " << choice.why;
    }
}

// The timing of the candidates from scripted clocks, ticks a line for each
// call in turn: every candidate takes the rules' three calls, but one other
// than the table's whose first call takes more than twice the fastest
// sample so far is called no more; a candidate that cannot run on the frame
// stays untimed; lines that cannot be read stop the timing.
TEST(ChooseByTiming, CandidatesCalledUntilHopeless) {
    struct Case {
        const char* what;
        std::vector<size_t> order;
        std::vector<std::vector<double>> ticks;  // each candidate's calls; past its end kNoSample
        std::vector<size_t> samples;             // what each one kept
        const char* why;                         // of the choice; null when the timing stops
    };
    const Case cases[] = {
        {"all timed in full", {0, 1, 2}, {{10, 10, 10}, {12, 12, 12}, {9, 9, 9}}, {3, 3, 3}, "SSE2 took 0.90"},
        {"a first call past hopeless: dropped", {0, 1, 2}, {{10, 10, 10}, {21, 1, 1}, {11, 11, 11}}, {3, 1, 3},
         "was the fastest"},
        {"a first call at hopeless: kept", {0, 1}, {{10, 10, 10}, {20, 5, 5}}, {3, 3}, "AVX2 took 0.50"},
        {"hopeless against the fastest so far", {0, 1, 2}, {{10, 10, 10}, {4, 4, 4}, {9, 1, 1}}, {3, 3, 1},
         "AVX2 took 0.40"},
        {"the table's slow first call is not dropped", {1, 0}, {{50, 5, 5}, {10, 10, 10}}, {3, 3}, "was the fastest"},
        {"one that cannot run stays untimed", {0, 1, 2}, {{10, 10, 10}, {}, {8, 8, 8}}, {3, 0, 3}, "SSE2 took 0.80"},
        {"lines that cannot be read", {0, 1}, {{10, 10, 10}, {kNoLines}}, {3, 0}, nullptr},
    };
    const SimdLevel levels[] = {SimdLevel::kAvx512Vnni, SimdLevel::kAvx2, SimdLevel::kSse2};
    for (const Case& c : cases) {
        std::vector<RouteCandidate> candidates;
        for (size_t i = 0; i < c.ticks.size(); ++i)
            candidates.push_back({{ConvolvePath::kPlanar, levels[i]}, ConvolveOptions(), false});
        const CandidateCall scripted = [&](size_t i, int call) {
            return static_cast<size_t>(call) < c.ticks[i].size() ? c.ticks[i][call] : kNoSample;
        };
        std::vector<RouteTiming> timings;
        const bool timed = TimeCandidates(candidates, c.order, scripted, TimingRules(), &timings);
        EXPECT_EQ(timed, c.why != nullptr) << c.what;
        if (!timed) continue;
        std::vector<size_t> samples;
        for (const RouteTiming& t : timings) samples.push_back(t.ticksPerLine.size());
        EXPECT_EQ(samples, c.samples) << c.what;
        const TimedChoice choice = ChooseByTiming(timings);
        EXPECT_NE(choice.why.find(c.why), std::string::npos) << c.what << ": " << choice.why;
    }
}

// The memo's answers by their whole key: kernel size, the table's path and
// the width's class each tell keys apart, and keeping an answer again
// replaces only its own key's.
TEST(ChooseByTiming, MemoKeyedByKernelPathAndWidthClass) {
    RouteMemo memo;
    const RouteKey planar{5, ConvolvePath::kPlanar, 11};
    memo.Keep(planar, {SimdLevel::kAvx2, false, "planar"});
    memo.Keep({5, ConvolvePath::kSeparable, 11}, {SimdLevel::kSse2, true, "separable"});
    memo.Keep({7, ConvolvePath::kPlanar, 11}, {SimdLevel::kAvx512Bw, false, "7x7"});
    memo.Keep({5, ConvolvePath::kPlanar, 12}, {SimdLevel::kAvxVnni, false, "wider"});
    memo.Keep(planar, {SimdLevel::kAvx512Vnni, false, "planar again"});
    const struct {
        RouteKey key;
        const char* why;  // null: none kept
    } cases[] = {
        {planar, "planar again"},
        {{5, ConvolvePath::kSeparable, 11}, "separable"},
        {{7, ConvolvePath::kPlanar, 11}, "7x7"},
        {{5, ConvolvePath::kPlanar, 12}, "wider"},
        {{3, ConvolvePath::kPlanar, 11}, nullptr},
        {{5, ConvolvePath::kSplitPlanar, 11}, nullptr},
        {{5, ConvolvePath::kPlanar, 10}, nullptr},
    };
    for (const auto& c : cases) {
        const RouteMemo::Answer* answer = memo.Find(c.key);
        const std::string what = std::to_string(c.key.k) + " " + PathName(c.key.path) + " " +
                                 std::to_string(c.key.widthClass);
        ASSERT_EQ(answer != nullptr, c.why != nullptr) << what;
        if (answer) {
            EXPECT_EQ(answer->why, c.why) << what;
        }
    }
}

// The route of a frame without a clock that measures anything: a clock that
// only counts its reads gives every candidate the same samples, so the
// table's route wins, is kept for its key and remembered for the next frame
// of that key; frames too narrow or whose lines cannot be read keep the
// table's and leave the memo alone.
TEST(ChooseByTiming, FramesTimedOnceAndRemembered) {
    static uint64_t reads;
    const TickClock counting = [] { return ++reads; };
    const std::vector<int32_t> block = Identity(5);
    const KernelArgs kernel{block.data(), 5, 1, 0, 0};
    const Pixels line(512, BMM_Color_64{1000, 2000, 3000, 4000});
    const LineSource grey = [&](int) { return line.data(); };
    RouteMemo memo;
    const FrameRoute narrow = RouteForFrame(kernel, kLeastTimedWidth - 1, 40, grey, counting, memo);
    const FrameRoute unread = RouteForFrame(kernel, 300, 40, [](int) { return nullptr; }, counting, memo);
    const FrameRoute first = RouteForFrame(kernel, 300, 40, grey, counting, memo);
    const FrameRoute again = RouteForFrame(kernel, 511, 9, grey, counting, memo);  // the same width class
    const FrameRoute wider = RouteForFrame(kernel, 512, 40, grey, counting, memo);
    Convolver table;
    ASSERT_TRUE(table.Prepare(kernel, 300, 40));
    for (const FrameRoute* r : {&narrow, &unread, &first, &again, &wider}) {
        EXPECT_EQ(r->route.path, table.path());
        EXPECT_EQ(r->route.simd, table.simd());
    }
    if (!SimdAvailable(SimdLevel::kSse2)) GTEST_SKIP() << "one route only: nothing to time";
    EXPECT_EQ(narrow.why, "table: too narrow to time");
    EXPECT_EQ(unread.why, "table: the frame's first lines could not be read");
    EXPECT_NE(first.why.find("timed: the table's"), std::string::npos) << first.why;
    EXPECT_EQ(again.why, "remembered: " + first.why);
    EXPECT_NE(wider.why.find("timed: "), std::string::npos) << wider.why;
    EXPECT_GT(first.ticks, 0u);
}

// The path and level for each kind of kernel on the processors that decide
// differently: Intel cores that lower their clock under 512-bit work take
// 512 bits only at planar 3x3 and on the split path; those that report
// AVX-VNNI, and AMD's, take the widest level they have.
TEST(ChooseRoute, EachProcessorAndKernel) {
    auto processor = [](const char* vendor, uint32_t eax, void (*change)(CpuidWords&)) {
        CpuidWords w = ModernWords();
        std::memcpy(w.vendor, vendor, 4);
        std::memcpy(w.vendor + 1, vendor + 4, 4);
        std::memcpy(w.vendor + 2, vendor + 8, 4);
        w.leaf1Eax = eax;
        change(w);
        return DecodeCpuFeatures(w);
    };
    auto noAvxVnni = [](CpuidWords& w) { w.leaf7Sub1Eax = 0; };
    const CpuFeatures iceLake = processor("GenuineIntel", 0x000606A6, noAvxVnni);
    const CpuFeatures iceLakeClient = processor("GenuineIntel", 0x000706E5, noAvxVnni);
    const CpuFeatures skylake = processor("GenuineIntel", 0x00050654, [](CpuidWords& w) {
        w.leaf7Sub1Eax = 0;
        w.leaf7Ecx = 0;  // no AVX512-VNNI
    });
    const CpuFeatures sapphire = processor("GenuineIntel", 0x000806F8, [](CpuidWords&) {});
    const CpuFeatures zen4 = processor("AuthenticAMD", 0x00A10F11, noAvxVnni);
    const CpuFeatures zen2 = processor("AuthenticAMD", 0x00830F10, [](CpuidWords& w) {
        w.leaf7Sub1Eax = 0;
        w.leaf7Ecx = 0;
        w.leaf7Ebx = 1u << 5;  // AVX2 only
    });
    const CpuFeatures sse2Only = processor("GenuineIntel", 0x000006F6, [](CpuidWords& w) { w.maxLeaf = 6; });
    const CpuFeatures none = processor("GenuineIntel", 0, [](CpuidWords& w) { w = CpuidWords(); });

    auto kernel = [](int k, bool narrow, bool splittable, bool separable, bool exact53 = true, int width = 0) {
        KernelTraits t;
        t.width = width;
        t.k = k;
        t.narrow = narrow;
        t.splittable = splittable;
        t.separable = separable;
        t.exact53 = exact53;
        return t;
    };
    const KernelTraits planar3 = kernel(3, true, false, false), planar5 = kernel(5, true, false, false),
                       planar9 = kernel(9, true, false, false), separable9 = kernel(9, true, false, true),
                       separable5 = kernel(5, true, false, true), split5 = kernel(5, false, true, false),
                       double7 = kernel(7, false, false, false), wide9 = kernel(9, false, false, false, false);
    ConvolveOptions chosen, forced512, forcedNone, noSplit;
    forced512.simd = SimdLevel::kAvx512Vnni;
    forcedNone.simd = SimdLevel::kNone;
    noSplit.allowSplit = false;
    struct Case {
        const char* what;
        const CpuFeatures& cpu;
        const KernelTraits& kernel;
        const ConvolveOptions& options;
        const char* route;
    };
    const Case cases[] = {
        {"Ice Lake 3x3", iceLake, planar3, chosen, "planar, AVX512BW+VNNI"},
        {"Ice Lake 5x5", iceLake, planar5, chosen, "planar, AVX2"},
        {"Ice Lake 9x9", iceLake, planar9, chosen, "planar, AVX2"},
        {"Ice Lake 9x9 separable", iceLake, separable9, chosen, "separable, AVX2"},
        {"Ice Lake split", iceLake, split5, chosen, "split planar, AVX512BW+VNNI"},
        {"Ice Lake doubles", iceLake, double7, chosen, "double, AVX2"},
        {"Ice Lake, 512 bits asked for", iceLake, planar9, forced512, "planar, AVX512BW+VNNI"},
        {"Ice Lake client 7x7", iceLakeClient, kernel(7, true, false, false), chosen, "planar, AVX2"},
        {"Skylake 3x3", skylake, planar3, chosen, "planar, AVX512BW"},
        {"Skylake 5x5", skylake, planar5, chosen, "planar, AVX2"},
        {"Sapphire Rapids 9x9", sapphire, planar9, chosen, "planar, AVX512BW+VNNI"},
        {"Sapphire Rapids 9x9 separable", sapphire, separable9, chosen, "separable, AVX512BW+VNNI"},
        {"Zen 4 9x9 separable, 4K", zen4, kernel(9, true, false, true, true, 3840), chosen, "separable, AVX512BW+VNNI"},
        {"Zen 4 9x9 separable, 8192 wide", zen4, kernel(9, true, false, true, true, 8192), chosen,
         "separable strips, AVX512BW+VNNI"},
        {"Ice Lake 9x9 separable, HD, caches unknown", iceLake, kernel(9, true, false, true, true, 1920), chosen,
         "separable strips, AVX2"},
        {"Zen 4 9x9", zen4, planar9, chosen, "planar, AVX512BW+VNNI"},
        {"Zen 2 9x9", zen2, planar9, chosen, "planar, AVX2"},
        {"Zen 2 split", zen2, split5, chosen, "split planar, AVX2"},
        {"Zen 2, 512 bits asked for", zen2, planar3, forced512, "planar, AVX2"},
        {"Zen 2 without splitting", zen2, split5, noSplit, "double, AVX2"},
        {"Zen 2 sums beyond doubles", zen2, wide9, chosen, "wide int64, no SIMD"},
        {"separable below 7x7 stays planar", zen2, separable5, chosen, "planar, AVX2"},
        {"separable from 7x7 on", zen2, kernel(7, true, false, true), chosen, "separable, AVX2"},
        {"SSE2 only", sse2Only, planar5, chosen, "planar, SSE2"},
        {"no SIMD asked for", zen2, planar5, forcedNone, "scalar, no SIMD"},
        {"no SIMD asked for, wide sums", zen2, split5, forcedNone, "wide int64, no SIMD"},
        {"no SIMD at all", none, planar3, chosen, "scalar, no SIMD"},
    };
    for (const Case& c : cases) {
        const ConvolveRoute r = ChooseRoute(c.cpu, c.kernel, c.options);
        EXPECT_EQ(std::string(PathName(r.path)) + ", " + SimdName(r.simd), c.route) << c.what;
    }

    // The routes a render times: the table's first, every level on its
    // path, then on the kernel's other exact path; one where a level is
    // forced or no SIMD runs.
    const struct {
        const char* what;
        const CpuFeatures& cpu;
        const KernelTraits& kernel;
        const ConvolveOptions& options;
        const char* routes;
    } candidates[] = {
        {"Ice Lake 9x9", iceLake, planar9, chosen,
         "planar AVX2; planar AVX512BW+VNNI; planar AVX512BW; planar SSE2; "},
        {"Sapphire Rapids 3x3", sapphire, planar3, chosen,
         "planar AVX512BW+VNNI; planar AVX512BW; planar AVX2+AVX-VNNI; planar AVX2; planar SSE2; "},
        {"Zen 2 separable 9x9", zen2, separable9, chosen,
         "separable AVX2; separable SSE2; planar AVX2; planar SSE2; "},
        {"Zen 2 separable 5x5", zen2, separable5, chosen,
         "planar AVX2; planar SSE2; separable AVX2; separable SSE2; "},
        {"Zen 2 split", zen2, split5, chosen, "split planar AVX2; split planar SSE2; double AVX2; double SSE2; "},
        {"Zen 2 doubles", zen2, double7, chosen, "double AVX2; double SSE2; "},
        {"Zen 2 without splitting", zen2, split5, noSplit, "double AVX2; double SSE2; "},
        {"Zen 2 sums beyond doubles", zen2, wide9, chosen, "wide int64 no SIMD; "},
        {"Ice Lake, 512 bits asked for", iceLake, planar9, forced512, "planar AVX512BW+VNNI; "},
        {"no SIMD at all", none, planar3, chosen, "scalar no SIMD; "},
    };
    for (const auto& c : candidates) {
        std::string routes;
        for (const RouteCandidate& r : CandidateRoutes(c.cpu, c.kernel, c.options)) {
            routes += std::string(PathName(r.route.path)) + " " + SimdName(r.route.simd) + "; ";
            const ConvolveRoute again = ChooseRoute(c.cpu, c.kernel, r.options);
            EXPECT_TRUE(again.path == r.route.path && again.simd == r.route.simd) << c.what << ": its options take it";
        }
        EXPECT_EQ(routes, c.routes) << c.what;
    }
}

}  // namespace
