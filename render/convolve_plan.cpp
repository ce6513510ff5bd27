// The dividers, the finishing plan and the weight split that the SIMD
// kernels are given, made once per render.
#include "render/convolve_plan.h"

SignedDivider MakeSignedDivider(int32_t d) {
    // Hacker's Delight, figure 10-1: the smallest p with 2^p > nc * (d - 2^p mod d),
    // nc the largest numerator with nc mod d == d - 1.
    const uint32_t two31 = 0x80000000u;
    const uint32_t ad = d < 0 ? 0u - static_cast<uint32_t>(d) : static_cast<uint32_t>(d);
    const uint32_t t = two31 + (static_cast<uint32_t>(d) >> 31);
    const uint32_t anc = t - 1 - t % ad;
    int p = 31;
    uint32_t q1 = two31 / anc, r1 = two31 - q1 * anc;
    uint32_t q2 = two31 / ad, r2 = two31 - q2 * ad;
    uint32_t delta;
    do {
        ++p;
        q1 *= 2;
        r1 *= 2;
        if (r1 >= anc) {
            ++q1;
            r1 -= anc;
        }
        q2 *= 2;
        r2 *= 2;
        if (r2 >= ad) {
            ++q2;
            r2 -= ad;
        }
        delta = ad - r2;
    } while (q1 < delta || (q1 == delta && r1 == 0));
    const uint32_t magic = q2 + 1;
    SignedDivider m;
    m.multiplier = static_cast<int32_t>(d < 0 ? 0u - magic : magic);
    m.shift = p - 32;
    m.addMask = (d > 0 && m.multiplier < 0) ? -1 : 0;
    m.subMask = (d < 0 && m.multiplier > 0) ? -1 : 0;
    return m;
}

bool MakeUnsignedDivider(uint32_t divisor, uint32_t limit, UnsignedDivider* out) {
    if (divisor < 2) return false;
    // multiplier = ceil(2^(32+s) / d) exceeds n / d by n * e / (d * 2^(32+s)),
    // e = multiplier * d - 2^(32+s) < d; the floor holds while n * e < 2^(32+s).
    for (int s = 0; s < 32; ++s) {
        const uint64_t unit = uint64_t{1} << (32 + s);
        const uint64_t multiplier = (unit + divisor - 1) / divisor;
        if (multiplier > UINT32_MAX) return false;
        const uint64_t excess = multiplier * divisor - unit;
        if (excess == 0 || uint64_t{limit} < (unit + excess - 1) / excess) {
            out->multiplier = static_cast<uint32_t>(multiplier);
            out->shift = s;
            return true;
        }
    }
    return false;
}

FinishPlan MakeFinishPlan(int32_t divide, int32_t offset, int32_t invert, int64_t minSum, int64_t maxSum) {
    FinishPlan f;
    if (divide == 0 || divide == 1) {
        f.mode = FinishPlan::kNone;
    } else if (divide == -1) {
        f.mode = FinishPlan::kNegate;
    } else {
        f.mode = FinishPlan::kMagic;
        f.divider = MakeSignedDivider(divide);
    }
    // Any quotient plus INT32_MIN is negative, as it is plus INT32_MIN + 1:
    // both clamp to 0, and the latter keeps -offset representable.
    const int32_t off = offset == INT32_MIN ? INT32_MIN + 1 : offset;
    f.low = -off;
    const int64_t high = int64_t{65535} - off;
    f.high = high > INT32_MAX ? INT32_MAX : static_cast<int32_t>(high);
    f.biasedOffset = static_cast<int32_t>(static_cast<uint32_t>(off) - 32768u);
    f.xorMask = invert == 1 ? 0x7FFF : 0x8000;

    const int64_t packedOffset = int64_t{off} - 32768;
    auto fits = [](int64_t lo, int64_t hi) { return lo >= INT32_MIN && hi <= INT32_MAX; };
    if (f.mode == FinishPlan::kNone && fits(minSum + packedOffset, maxSum + packedOffset)) {
        f.mode = FinishPlan::kPacked;
        f.packedAdd = static_cast<int32_t>(packedOffset);
    } else if (f.mode == FinishPlan::kNegate && fits(packedOffset - maxSum, packedOffset - minSum)) {
        f.mode = FinishPlan::kPackedNegate;
        f.packedAdd = static_cast<int32_t>(packedOffset);
    } else if (f.mode == FinishPlan::kMagic && divide >= 2 && off <= 0) {
        const int64_t raise = minSum < 0 ? (-minSum + divide - 1) / divide : 0;
        const int64_t limit = maxSum + raise * divide;
        UnsignedDivider m;
        const int64_t add = packedOffset - raise;
        if (limit <= UINT32_MAX && MakeUnsignedDivider(static_cast<uint32_t>(divide), static_cast<uint32_t>(limit), &m) &&
            fits(add, limit / divide + add)) {
            f.mode = FinishPlan::kPackedFloor;
            f.floorDivider = m;
            f.sumBias = static_cast<uint32_t>(raise * divide);
            f.packedAdd = static_cast<int32_t>(add);
        }
    }
    return f;
}

bool SplitWeights(const int32_t* weights, int count, WeightSplit* split) {
    if (count < 0 || count > kMaxK * kMaxK) return false;
    for (int shift = 1; shift <= 16; ++shift) {
        const int64_t half = int64_t{1} << (shift - 1), unit = int64_t{1} << shift;
        int64_t sumHigh = 0, sumLow = 0;
        bool fits = true;
        for (int i = 0; i < count && fits; ++i) {
            const int64_t w = weights[i];
            const int64_t low = ((w + half) & (unit - 1)) - half;  // w - low is a multiple of 2^shift
            const int64_t high = (w - low) / unit;
            fits = high >= -32768 && high <= 32767;
            sumHigh += high < 0 ? -high : high;
            sumLow += low < 0 ? -low : low;
            split->high[i] = static_cast<int32_t>(high);
            split->low[i] = static_cast<int32_t>(low);
        }
        if (fits && sumHigh <= 65535 && sumLow <= 65535) {
            split->shift = shift;
            return true;
        }
    }
    return false;
}
