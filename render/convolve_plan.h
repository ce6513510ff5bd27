#pragma once
#include <cstddef>
#include <cstdint>

#include "host/color64.h"

// What the fast paths share: plain data prepared once per render by the
// Convolver, and the plain scalar form of every step the SIMD code performs,
// kept here so the tests can hold the two against each other.

// Signed division by a divisor fixed for the whole frame, as a multiply-high
// and a shift, because SIMD units have no integer divide (the method
// compilers use for constant divisors). Valid for |divisor| >= 2 and every
// int32 numerator.
struct SignedDivider {
    int32_t multiplier = 0;
    int32_t shift = 0;
    int32_t addMask = 0;  // all ones: the numerator is added to the high product
    int32_t subMask = 0;  // all ones: it is subtracted
};

SignedDivider MakeSignedDivider(int32_t divisor);

inline int32_t ApplyDivider(const SignedDivider& m, int32_t n) {
    const int64_t product = static_cast<int64_t>(n) * m.multiplier;
    uint32_t q = static_cast<uint32_t>(static_cast<uint64_t>(product) >> 32);
    q += static_cast<uint32_t>(n) & static_cast<uint32_t>(m.addMask);
    q -= static_cast<uint32_t>(n) & static_cast<uint32_t>(m.subMask);
    int32_t s = static_cast<int32_t>(q) >> m.shift;
    return s + static_cast<int32_t>(static_cast<uint32_t>(s) >> 31);
}

// Unsigned division of numerators 0..limit by a divisor fixed for the frame:
// floor(n * multiplier / 2^(32 + shift)), one unsigned multiply a lane.
struct UnsignedDivider {
    uint32_t multiplier = 0;
    int32_t shift = 0;
};

// False when no 32-bit multiplier divides every numerator up to limit
// exactly (divisor below 2, or limits near 2^32).
bool MakeUnsignedDivider(uint32_t divisor, uint32_t limit, UnsignedDivider* out);

inline uint32_t ApplyDivider(const UnsignedDivider& m, uint32_t n) {
    return static_cast<uint32_t>((uint64_t{n} * m.multiplier) >> (32 + m.shift));
}

// Division, Offset, clamp and Invert for an int32 sum, arranged for 16-bit
// SIMD lanes: the result leaves as (value - 32768) so a signed saturating pack
// keeps it, and Invert becomes part of the XOR that undoes the bias.
//
// The packed modes serve kernels whose sums are known to stay in a range
// where adding Offset cannot wrap: the pack's saturation is then the clamp.
// kPackedFloor divides with a floor, which differs from truncation only for
// negative quotients; with Divide positive and Offset at most 0 those clamp
// to the same low end either way. Its sums are first raised by sumBias (a
// multiple of Divide) to be non-negative, so no sign needs fixing.
struct FinishPlan {
    enum Mode : int32_t { kNone, kNegate, kMagic, kPacked, kPackedNegate, kPackedFloor };
    int32_t mode = kNone;
    SignedDivider divider;
    int32_t low = 0;    // the quotient is clamped to low..high first, so adding
    int32_t high = 0;   // Offset cannot wrap and lands in 0..65535
    int32_t biasedOffset = 0;  // Offset - 32768, wrapped
    uint16_t xorMask = 0x8000;  // 0x8000, or 0x7FFF when inverting
    // Packed modes: lane = quotient + packedAdd, saturated by the pack.
    int32_t packedAdd = 0;
    UnsignedDivider floorDivider;  // kPackedFloor
    uint32_t sumBias = 0;          // kPackedFloor: the SIMD sums start with it added
};

// minSum..maxSum: the range of the exact sums the finish will see; the
// default, sums of any size, keeps the clamping modes.
FinishPlan MakeFinishPlan(int32_t divide, int32_t offset, int32_t invert, int64_t minSum = INT64_MIN / 4,
                          int64_t maxSum = INT64_MAX / 4);

// Scalar form of the SIMD finishing of one exact sum (lane value before the
// pack; sumBias is added here, where the SIMD sums start with it).
inline int32_t FinishLane(const FinishPlan& f, int32_t sum) {
    switch (f.mode) {
    case FinishPlan::kPacked: return static_cast<int32_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(f.packedAdd));
    case FinishPlan::kPackedNegate:
        return static_cast<int32_t>(static_cast<uint32_t>(f.packedAdd) - static_cast<uint32_t>(sum));
    case FinishPlan::kPackedFloor:
        return static_cast<int32_t>(ApplyDivider(f.floorDivider, static_cast<uint32_t>(sum) + f.sumBias) +
                                    static_cast<uint32_t>(f.packedAdd));
    default: break;
    }
    int32_t q = sum;
    if (f.mode == FinishPlan::kNegate)
        q = static_cast<int32_t>(0u - static_cast<uint32_t>(sum));
    else if (f.mode == FinishPlan::kMagic)
        q = ApplyDivider(f.divider, sum);
    q = q < f.low ? f.low : q > f.high ? f.high : q;
    return static_cast<int32_t>(static_cast<uint32_t>(q) + static_cast<uint32_t>(f.biasedOffset));
}

// The 16-bit channel a lane value becomes after the saturating pack and the XOR.
inline uint16_t LaneToChannel(const FinishPlan& f, int32_t lane) {
    const int32_t packed = lane < -32768 ? -32768 : lane > 32767 ? 32767 : lane;
    return static_cast<uint16_t>(static_cast<uint16_t>(packed) ^ f.xorMask);
}

constexpr int kMaxK = 9;
constexpr int kMaxPairs = kMaxK / 2 + 1;

// Weights whose sums can leave 32 bits, split as w = high * 2^shift + low
// with both parts 16-bit, so that two pmaddwd sums over biased channels
// (-32768..32767) give the exact sum in 64 bits:
//   sum w * v = 2^shift * sum high * b + sum low * b + 32768 * sum w.
// Each of the two sums stays inside int32 when its parts' magnitudes add up
// to at most 65535 (65535 * 32768 < 2^31), however the window is clipped.
// low is the signed remainder (|low| <= 2^(shift - 1)); the smallest shift
// that meets both bounds is taken. False when none does (sum |w| beyond about
// 2^16 * 2^shift, and shift is bounded by sum |low| <= 65535).
struct WeightSplit {
    int shift = 0;
    int32_t high[kMaxK * kMaxK] = {};
    int32_t low[kMaxK * kMaxK] = {};
};
bool SplitWeights(const int32_t* weights, int count, WeightSplit* split);

// A kernel prepared for 16-bit multiply-add: two horizontally adjacent taps
// per 32-bit word (low half the left tap), the odd last tap paired with 0.
// Source channels are stored biased (v - 32768, i.e. v ^ 0x8000) so they fit
// signed 16 bits; bias adds back 32768 * (sum of all weights). Columns and
// lines outside the frame are stored as biased 0, so they add nothing and the
// same correction holds at every pixel.
struct ConvolvePlan {
    int k = 0;
    int width = 0;
    int32_t pairWeights[kMaxK][kMaxPairs] = {};
    // The pairs one tap later, (w[2q - 1], w[2q]), for odd outputs read from
    // the words of the even ones (see PairTaps).
    int32_t oddPairWeights[kMaxK][kMaxPairs] = {};
    // Split path: the high parts' pairs (the low parts' are the pairs above),
    // and what turns the two sums of biased values into the exact sum:
    // sum = high sum * splitScale + low sum + splitBias (see WeightSplit).
    int32_t highPairWeights[kMaxK][kMaxPairs] = {};
    int32_t oddHighPairWeights[kMaxK][kMaxPairs] = {};
    double splitScale = 1, splitBias = 0;
    int32_t bias = 0;
    // Separable kernels: w[r][c] == column[r] * row[c].
    int32_t rowPairWeights[kMaxPairs] = {};
    int32_t rowBias = 0;  // makes the stored horizontal sums unbiased
    int32_t column[kMaxK] = {};
    // Separable strips: the column factors paired for the sums down two
    // lines at a time, the row factors, and the columns a strip takes.
    int32_t columnPairWeights[kMaxPairs] = {};
    int32_t row[kMaxK] = {};
    int stripColumns = 0;
    FinishPlan finish;
    // Double-precision path: weights as doubles, row by row, and Divide.
    // Products w * v (< 2^47) and all partial sums are exact while
    // sum |w| * 65535 < 2^53, and then so is the truncated quotient: a
    // non-integer S / d lies at least 1 / |d| from an integer, farther than
    // the rounding error |S / d| * 2^-53.
    double weights[kMaxK * kMaxK] = {};
    double divisor = 1;
    // Quotients are clamped to -Offset .. 65535 - Offset, truncated, and
    // Offset added, all exact in doubles, for quotients far beyond int32.
    double low = 0, high = 65535, offset = 0;
};

// Which pixels of one line are written: all of them, or those whose channel
// entry equals matchId. entries8 / entries16 point at the line's entries
// (at most one is set); with neither set every entry counts as 0.
struct LineSelection {
    bool all = true;
    int64_t matchId = -1;
    const uint8_t* entries8 = nullptr;
    const uint16_t* entries16 = nullptr;

    bool Selected(int x) const {
        if (all) return true;
        const int64_t entry = entries8 ? entries8[x] : entries16 ? entries16[x] : 0;
        return entry == matchId;
    }
};

struct LineJob {
    const BMM_Color_64* src = nullptr;  // line y of the source copy
    const BMM_Color_64* ahead = nullptr;  // line y + k / 2 + 1, which line y + 1 splits; null past the frame
    BMM_Color_64* dst = nullptr;        // line y of the result buffer
    LineSelection selection;
    // Planar path: [channel * k + r] is line y + r - h of that channel,
    // biased 16-bit values, element 0 = column -h.
    const uint16_t* const* planes = nullptr;
    // Separable path: [channel * k + r] holds the horizontal sums of line
    // y + r - h in block order (see convolve_simd.h).
    const int32_t* const* sums = nullptr;
    // Double path: like planes, unbiased channel values as doubles.
    const double* const* values = nullptr;
    // Separable strips: room for three channels of stripColumns +
    // blockPixels 32-bit sums, on 64 bytes.
    int32_t* strip = nullptr;
    // The columns to write: begin a block's first column, end at most the width.
    int begin = 0;
    int end = 0;
};

// The entry points of one instruction set. Rows of planes have room for
// width + k + 4 * blockPixels elements; rows of sums for width rounded up to
// blockPixels.
//
// planeScale 2: filterPlanar and filterSplit read tiled planes. Tile m (64-byte aligned,
// 2 * blockPixels elements) holds columns blockPixels * m - h onwards, so
// every load of a block lies in one cache line: a load that straddles two
// costs about as much as two, and with flat planes half of the AVX2 loads
// did. Writing each element twice costs far less than that.
struct SimdKernels {
    int blockPixels;
    int planeScale;  // 1: flat planes, rows on a vector's boundary; 2: tiled planes (splitTiled) for filterPlanar and filterSplit
    // Writes columns 0..width-1 of the three biased planes (planes point at column 0).
    void (*splitLine)(const BMM_Color_64* src, int width, uint16_t* const planes[3]);
    // planeScale 2: the three biased planes of a line as tiles for a kernel of radius h.
    void (*splitTiled)(const BMM_Color_64* src, int width, int h, uint16_t* const tiles[3]);
    // Horizontal pass of a separable kernel over planes (element 0 = column -h).
    void (*horizontalSums)(const ConvolvePlan& plan, const uint16_t* const planes[3], int32_t* const sums[3]);
    void (*filterPlanar)(const ConvolvePlan& plan, const LineJob& job);
    void (*filterSeparable)(const ConvolvePlan& plan, const LineJob& job);
    // The planar planes of a rank-1 kernel, a strip at a time, down then across.
    void (*filterSeparableStrips)(const ConvolvePlan& plan, const LineJob& job);
    // The planar planes with split weights (WeightSplit): sums beyond int32.
    void (*filterSplit)(const ConvolvePlan& plan, const LineJob& job);
    // Writes columns 0..width-1 of three planes of doubles.
    void (*splitLineDouble)(const BMM_Color_64* src, int width, double* const planes[3]);
    void (*filterDouble)(const ConvolvePlan& plan, const LineJob& job);
};

// Null when the instruction set is not compiled in for this target.
const SimdKernels* Sse2Kernels();
const SimdKernels* Avx2Kernels();
const SimdKernels* AvxVnniKernels();     // AVX2 with the VEX vpdpwssd
const SimdKernels* Avx512BwKernels();    // 512-bit vectors
const SimdKernels* Avx512VnniKernels();  // 512-bit vectors with vpdpwssd
