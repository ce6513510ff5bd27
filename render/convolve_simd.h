// The SIMD line kernels, written once over an instruction-set traits class V
// and instantiated by convolve_sse2.cpp, convolve_avx2.cpp and the VNNI and
// AVX-512 files, each compiled for its own instruction set. Everything here has internal linkage so that
// no AVX2-compiled copy of a helper can be picked by the linker for code that
// runs on an SSE2-only processor; for the same reason nothing from std is
// called here.
//
// V provides, for a vector of V::kPixels pixels (kPixels = 2 for SSE2, 4 for
// AVX2, 8 for AVX-512; 128-bit lanes act independently, like the SSE2
// unpacks):
//   LoadU/StoreU, Set1 (int32 broadcast), Zero, Add32, Sub32, And, Or, Xor,
//   Madd (pmaddwd), Mullo32, MulHi32 (signed high half), Min32, Max32,
//   Sra32 (by a count vector from ShiftCount), SignBit32, MulShiftU32
//   (floor(n * m / 2^(32+s)) of unsigned lanes; shift counts from
//   QwordShift, 32 + s for the even lanes, s for the odd),
//   Unpack{lo,hi}{16,32,64}, Packs32,
//   LoadQuad/StoreQuad: 4 vectors for a block of 4 * kPixels pixels (SSE2:
//   pixels 2i, 2i+1 in vector i; AVX2: pixels 4i..4i+3; AVX-512: pixels
//   8i..8i+7), LineOrder/QuadOrder, which move a channel vector from the
//   order the in-lane unpack network gives to pixel order and back (nothing
//   to do for SSE2), and WithAlpha (pixels with another vector's alpha);
//   with kPlaneScale 2 (tiled planes), ShiftIn<N> (a split line's vectors
//   moved N columns right, for SplitTiled).
//   DVec, a vector of kPixels doubles: LoadPd, Set1Pd, ZeroPd, MulAddPd,
//   AddPd, SubPd, DivPd, MinPd, MaxPd, TruncPd (toward zero, |x| < 2^52),
//   Truncate (4 DVecs of values in int32 range -> two int32 vectors that
//   Packs32 turns into channel values in order), ToDoubles/FromDoubles (an
//   int32 vector <-> two DVecs, lanes in order).
//   kOddPairs and kDotFromMemory choose the form of the planar loop (see
//   PairTaps); with kDotFromMemory, DotBroadcast.
//
// A block is 4 * kPixels pixels. Sums of one channel for a block come as two
// int32 vectors: "even" holds outputs x0, x0+2, ..., "odd" x0+1, x0+3, ...,
// because an unaligned 32-bit load at element x of a plane yields the pair
// (x, x+1) that pmaddwd weighs with two adjacent taps.

#pragma once

#include <type_traits>

#include "render/convolve_plan.h"

// Fixed-size loops are unrolled and helpers inlined so the sums stay in
// registers (-O2 alone kept the row loop and a call per block). VLM_KEEP pins
// each running sum after its add: otherwise GCC reassociates the chain,
// computes every product first and spills them (bench/NOTES.md).
#define VLM_UNROLL _Pragma("GCC unroll 16")
#define VLM_INLINE inline __attribute__((always_inline))
// The same for a lambda, written after its parameter list: the block
// walker's body must be inlined into the walk as a hand-written loop would be.
#define VLM_INLINE_LAMBDA __attribute__((always_inline))
#define VLM_KEEP(v) __asm__("" : "+x"(v))

namespace {

// Calls f with the kernel size as a compile-time constant, so each size gets
// its own fully unrolled loops; sizes other than 3, 5, 7 and 9 do nothing.
template <class F>
VLM_INLINE void WithKernelSize(int k, F&& f) {
    switch (k) {
        case 3: return f(std::integral_constant<int, 3>());
        case 5: return f(std::integral_constant<int, 5>());
        case 7: return f(std::integral_constant<int, 7>());
        case 9: return f(std::integral_constant<int, 9>());
        default: return;
    }
}

template <class V>
struct FinishVectors {
    using Vec = typename V::Vec;
    int32_t mode;
    bool addNumerator, subNumerator;
    Vec multiplier, shift, low, high, offset, xorMask;
    Vec packedAdd, floorMultiplier, evenShift, oddShift;

    explicit FinishVectors(const FinishPlan& f)
        : mode(f.mode),
          addNumerator(f.divider.addMask != 0),
          subNumerator(f.divider.subMask != 0),
          multiplier(V::Set1(f.divider.multiplier)),
          shift(V::ShiftCount(f.divider.shift)),
          low(V::Set1(f.low)),
          high(V::Set1(f.high)),
          offset(V::Set1(f.biasedOffset)),
          xorMask(V::Set1(static_cast<int32_t>(f.xorMask * 0x10001u))),
          packedAdd(V::Set1(f.packedAdd)),
          floorMultiplier(V::Set1(static_cast<int32_t>(f.floorDivider.multiplier))),
          evenShift(V::QwordShift(32 + f.floorDivider.shift)),
          oddShift(V::QwordShift(f.floorDivider.shift)) {}

    // Vector form of FinishLane (the masks become branches that always go
    // the same way for a frame). The sums arrive with sumBias added.
    VLM_INLINE Vec Lanes(Vec n) const {
        if (mode == FinishPlan::kPacked) return V::Add32(n, packedAdd);
        if (mode == FinishPlan::kPackedNegate) return V::Sub32(packedAdd, n);
        if (mode == FinishPlan::kPackedFloor)
            return V::Add32(V::MulShiftU32(n, floorMultiplier, evenShift, oddShift), packedAdd);
        Vec q = n;
        if (mode == FinishPlan::kNegate) {
            q = V::Sub32(V::Zero(), n);
        } else if (mode == FinishPlan::kMagic) {
            q = V::MulHi32(n, multiplier);
            if (addNumerator) q = V::Add32(q, n);
            if (subNumerator) q = V::Sub32(q, n);
            q = V::Sra32(q, shift);
            q = V::Add32(q, V::SignBit32(q));
        }
        q = V::Min32(V::Max32(q, low), high);
        return V::Add32(q, offset);
    }

    // Even and odd sums of one channel -> its 4 * kPixels channel values in order.
    VLM_INLINE Vec Channel(Vec even, Vec odd) const {
        const Vec e = Lanes(even), o = Lanes(odd);
        return V::Xor(V::Packs32(V::Unpacklo32(e, o), V::Unpackhi32(e, o)), xorMask);
    }
};

// The frames stream from memory while the planes stay in cache: fetching
// 2 KiB ahead hides most of that. The address may lie past the line, which
// is the next line, or past the frame, which a prefetch ignores; it is formed
// as an integer so no pointer leaves its array.
VLM_INLINE void PrefetchAhead(const BMM_Color_64* pixels, bool forWrite) {
    const uintptr_t ahead = reinterpret_cast<uintptr_t>(pixels) + 2048;
    if (forWrite) {
        __builtin_prefetch(reinterpret_cast<const void*>(ahead), 1);
        __builtin_prefetch(reinterpret_cast<const void*>(ahead + 64), 1);
    } else {
        __builtin_prefetch(reinterpret_cast<const void*>(ahead), 0);
        __builtin_prefetch(reinterpret_cast<const void*>(ahead + 64), 0);
    }
}

// The source line that the next line's call will split, a block's worth at
// a time: its memory traffic then overlaps this line's arithmetic instead of
// stalling the split, which would otherwise read the line from memory in
// one burst. Into the second-level cache: the line is used a line later.
// A render that streams its lines from the host has none to give.
template <class V>
VLM_INLINE void PrefetchNextSplit(const BMM_Color_64* line, int x0) {
    if (!line) return;
    constexpr int kBytes = 4 * V::kPixels * static_cast<int>(sizeof(BMM_Color_64));
    const uintptr_t at = reinterpret_cast<uintptr_t>(line + x0);
    for (int b = 0; b < kBytes; b += 64) __builtin_prefetch(reinterpret_cast<const void*>(at + b), 0, 2);
}

// Selected pixels of a block as bits, pixel x0 + i in bit i.
inline uint32_t BlockMask(const LineSelection& sel, int x0, int n) {
    if (sel.all) return n >= 32 ? ~0u : (1u << n) - 1u;
    uint32_t mask = 0;
    for (int i = 0; i < n; ++i)
        if (sel.Selected(x0 + i)) mask |= 1u << i;
    return mask;
}

// Interleaves three channel vectors with the source alpha into pixels and
// writes the selected ones of the n pixels of the block. The stores stay
// cached: stores past the caches measured slower (bench/NOTES.md).
template <class V>
VLM_INLINE void StoreBlock(const typename V::Vec rgb[3], const BMM_Color_64* src, BMM_Color_64* dst, int n, uint32_t mask) {
    using Vec = typename V::Vec;
    constexpr int kBlock = 4 * V::kPixels;
    const Vec zero = V::Zero();
    const Vec r = V::QuadOrder(rgb[0]), g = V::QuadOrder(rgb[1]), b = V::QuadOrder(rgb[2]);
    const Vec rgLo = V::Unpacklo16(r, g), rgHi = V::Unpackhi16(r, g);
    const Vec bLo = V::Unpacklo16(b, zero), bHi = V::Unpackhi16(b, zero);
    Vec quad[4] = {V::Unpacklo32(rgLo, bLo), V::Unpackhi32(rgLo, bLo), V::Unpacklo32(rgHi, bHi),
                   V::Unpackhi32(rgHi, bHi)};
    const uint32_t full = kBlock >= 32 ? ~0u : (1u << kBlock) - 1u;
    if (n == kBlock && mask == full) {
        Vec s[4];
        V::LoadQuad(src, s);
        for (int i = 0; i < 4; ++i) quad[i] = V::WithAlpha(quad[i], s[i]);
        V::StoreQuad(dst, quad);
        return;
    }
    BMM_Color_64 out[kBlock];
    V::StoreQuad(out, quad);
    for (int i = 0; i < n; ++i)
        if (mask >> i & 1u) dst[i] = BMM_Color_64{out[i].r, out[i].g, out[i].b, src[i].a};
}

// The three biased channel vectors of a block of 4 * kPixels pixels.
template <class V>
VLM_INLINE void SplitBlock(const BMM_Color_64* src, typename V::Vec out[3]) {
    using Vec = typename V::Vec;
    const Vec bias = V::Set1(static_cast<int32_t>(0x80008000u));
    Vec v[4];
    V::LoadQuad(src, v);
    const Vec a = V::Unpacklo16(v[0], v[1]), b = V::Unpackhi16(v[0], v[1]);
    const Vec c = V::Unpacklo16(v[2], v[3]), d = V::Unpackhi16(v[2], v[3]);
    const Vec rg0 = V::Unpacklo16(a, b), ba0 = V::Unpackhi16(a, b);  // r0-3 g0-3, b0-3 a0-3
    const Vec rg1 = V::Unpacklo16(c, d), ba1 = V::Unpackhi16(c, d);  // r4-7 g4-7, b4-7 a4-7
    out[0] = V::Xor(V::LineOrder(V::Unpacklo64(rg0, rg1)), bias);
    out[1] = V::Xor(V::LineOrder(V::Unpackhi64(rg0, rg1)), bias);
    out[2] = V::Xor(V::LineOrder(V::Unpacklo64(ba0, ba1)), bias);
}

template <class V>
void SplitLine(const BMM_Color_64* src, int width, uint16_t* const planes[3]) {
    using Vec = typename V::Vec;
    constexpr int kBlock = 4 * V::kPixels;
    int x = 0;
    for (; x + kBlock <= width; x += kBlock) {
        Vec v[3];
        PrefetchAhead(src + x, false);
        SplitBlock<V>(src + x, v);
        for (int c = 0; c < 3; ++c) V::StoreU(planes[c] + x, v[c]);
    }
    for (; x < width; ++x) {
        planes[0][x] = static_cast<uint16_t>(src[x].r ^ 0x8000u);
        planes[1][x] = static_cast<uint16_t>(src[x].g ^ 0x8000u);
        planes[2][x] = static_cast<uint16_t>(src[x].b ^ 0x8000u);
    }
}

// A line straight into tiles (see SimdKernels): tile m holds columns
// kBlock * m - H onwards, so its first half is the vector of columns
// kBlock * m - H .. kBlock * (m + 1) - H - 1, which is also the second half of
// tile m - 1. Each such vector is made once from two split blocks, in
// registers, and stored twice; columns outside the frame are biased zeros.
template <class V, int H>
void SplitTiledH(const BMM_Color_64* src, int width, uint16_t* const tiles[3]) {
    if constexpr (V::kPlaneScale == 2) {
        using Vec = typename V::Vec;
        constexpr int kBlock = 4 * V::kPixels;
        const Vec bias = V::Set1(static_cast<int32_t>(0x80008000u));
        const int blocks = (width + kBlock - 1) / kBlock;
        Vec prev[3] = {bias, bias, bias};
        for (int m = 0; m <= blocks; ++m) {
            const int x = m * kBlock;
            Vec cur[3] = {bias, bias, bias};
            if (x + kBlock <= width) {
                PrefetchAhead(src + x, false);
                SplitBlock<V>(src + x, cur);
            } else if (x < width) {
                BMM_Color_64 last[kBlock] = {};
                for (int i = 0; i < width - x; ++i) last[i] = src[x + i];
                SplitBlock<V>(last, cur);
            }
            for (int c = 0; c < 3; ++c) {
                const Vec shifted = V::template ShiftIn<H>(prev[c], cur[c]);
                if (m < blocks) V::StoreU(tiles[c] + 2 * kBlock * m, shifted);
                if (m > 0) V::StoreU(tiles[c] + 2 * kBlock * (m - 1) + kBlock, shifted);
                prev[c] = cur[c];
            }
        }
    }
}

template <class V>
void SplitTiled(const BMM_Color_64* src, int width, int h, uint16_t* const tiles[3]) {
    switch (h) {
        case 1: return SplitTiledH<V, 1>(src, width, tiles);
        case 2: return SplitTiledH<V, 2>(src, width, tiles);
        case 3: return SplitTiledH<V, 3>(src, width, tiles);
        case 4: return SplitTiledH<V, 4>(src, width, tiles);
        default: return;
    }
}

// Walks a line block by block. A block with no selected pixel costs only its
// mask; any other gets its prefetches, its three channel vectors from
// compute(x0, rgb), and its store of the selected pixels.
// begin: a block's first column; end: at most the width.
template <class V, class Compute>
VLM_INLINE void ForEachSelectedBlock(const ConvolvePlan& plan, const LineJob& job, int begin, int end,
                                     Compute&& compute) {
    constexpr int kBlock = 4 * V::kPixels;
    const int width = plan.width;
    for (int x0 = begin; x0 < end; x0 += kBlock) {
        const int n = width - x0 < kBlock ? width - x0 : kBlock;
        const uint32_t mask = BlockMask(job.selection, x0, n);
        if (!mask) continue;
        PrefetchAhead(job.dst + x0, true);
        PrefetchNextSplit<V>(job.ahead, x0);
        typename V::Vec rgb[3];
        compute(x0, rgb);
        StoreBlock<V>(rgb, job.src + x0, job.dst + x0, n, mask);
    }
}

template <class V, class Compute>
VLM_INLINE void ForEachSelectedBlock(const ConvolvePlan& plan, const LineJob& job, Compute&& compute) {
    ForEachSelectedBlock<V>(plan, job, job.begin, job.end, compute);
}

// Even and odd sums of one 1-D row of K taps at block x0 of a biased plane.
template <class V, int K>
VLM_INLINE void RowSums(const uint16_t* p, const typename V::Vec* pairs, typename V::Vec& even, typename V::Vec& odd) {
    VLM_UNROLL
    for (int q = 0; q < K / 2 + 1; ++q) {
        even = V::MaddAdd(even, V::LoadU(p + 2 * q), pairs[q]);
        odd = V::MaddAdd(odd, V::LoadU(p + 2 * q + 1), pairs[q]);
        VLM_KEEP(even);
        VLM_KEEP(odd);
    }
}

// acc plus the pairwise products of d with the pair of weights at w.
template <class V>
VLM_INLINE typename V::Vec DotPair(typename V::Vec acc, typename V::Vec d, const int32_t* w) {
    if constexpr (V::kDotFromMemory)
        return V::DotBroadcast(acc, d, w);
    else
        return V::MaddAdd(acc, d, V::Set1(*w));
}

// The taps of pair q of row r for the three channels of a block: six sums
// (even and odd outputs of each channel) take two taps each.
// - By default the pair weight is broadcast once and serves all three
//   channels: six sums, one weight and one product are all the registers the
//   loop needs (the 32-bit build has eight). The odd sums read the plane one
//   element later.
// - kOddPairs: both read the same 32-bit words, the odd sums with the pair
//   shifted by one tap (oddPairWeights). For 512-bit vectors, whose loads at
//   an odd element would all straddle cache lines, and without the tiles'
//   copies; the pmaddwd form still loads each word twice, once a weight.
// - kDotFromMemory: the dot product takes its weight as a broadcast memory
//   operand, so one loaded word serves both sums without a weight register.
template <class V, int K>
VLM_INLINE void PairTaps(const ConvolvePlan& plan, const LineJob& job, int x0, int r, int q, typename V::Vec even[3],
                         typename V::Vec odd[3]) {
    using Vec = typename V::Vec;
    const uint16_t* const* rows = job.planes + r;
    const int at = x0 * V::kPlaneScale + 2 * q;
    if constexpr (V::kDotFromMemory) {
        static_assert(V::kOddPairs, "the shared words need the shifted pairs");
        VLM_UNROLL
        for (int c = 0; c < 3; ++c) {
            const Vec d = V::LoadU(rows[c * K] + at);
            even[c] = DotPair<V>(even[c], d, &plan.pairWeights[r][q]);
            odd[c] = DotPair<V>(odd[c], d, &plan.oddPairWeights[r][q]);
        }
    } else if constexpr (V::kOddPairs) {
        Vec w = V::Set1(plan.pairWeights[r][q]);
        VLM_UNROLL
        for (int c = 0; c < 3; ++c) {
            even[c] = V::MaddAdd(even[c], V::LoadU(rows[c * K] + at), w);
            VLM_KEEP(even[c]);
        }
        w = V::Set1(plan.oddPairWeights[r][q]);
        VLM_UNROLL
        for (int c = 0; c < 3; ++c) {
            odd[c] = V::MaddAdd(odd[c], V::LoadU(rows[c * K] + at), w);
            VLM_KEEP(odd[c]);
        }
    } else {
        const Vec w = V::Set1(plan.pairWeights[r][q]);
        VLM_UNROLL
        for (int c = 0; c < 3; ++c) {
            const uint16_t* p = rows[c * K] + at;
            even[c] = V::MaddAdd(even[c], V::LoadU(p), w);
            odd[c] = V::MaddAdd(odd[c], V::LoadU(p + 1), w);
            VLM_KEEP(even[c]);
            VLM_KEEP(odd[c]);
        }
    }
}

template <class V, int K>
void FilterPlanarK(const ConvolvePlan& plan, const LineJob& job) {
    using Vec = typename V::Vec;
    constexpr int kPairs = K / 2 + 1;
    const Vec bias = V::Set1(static_cast<int32_t>(static_cast<uint32_t>(plan.bias) + plan.finish.sumBias));
    const FinishVectors<V> finish(plan.finish);
    ForEachSelectedBlock<V>(plan, job, [&](int x0, Vec* rgb) VLM_INLINE_LAMBDA {
        Vec even[3] = {bias, bias, bias}, odd[3] = {bias, bias, bias};
        VLM_UNROLL
        for (int r = 0; r < K; ++r) {
            VLM_UNROLL
            for (int q = 0; q < kPairs; ++q) PairTaps<V, K>(plan, job, x0, r, q, even, odd);
        }
        VLM_UNROLL
        for (int c = 0; c < 3; ++c) rgb[c] = finish.Channel(even[c], odd[c]);
    });
}

template <class V>
void FilterPlanar(const ConvolvePlan& plan, const LineJob& job) {
    WithKernelSize(plan.k, [&](auto k) { FilterPlanarK<V, decltype(k)::value>(plan, job); });
}

// Unbiased horizontal sums of a line: even vector at sums + x0, odd vector
// at sums + x0 + kBlock / 2, for every block (the last one padded).
template <class V, int K>
void HorizontalSumsK(const ConvolvePlan& plan, const uint16_t* const planes[3], int32_t* const sums[3]) {
    using Vec = typename V::Vec;
    constexpr int kBlock = 4 * V::kPixels;
    constexpr int kPairs = K / 2 + 1;
    Vec pairs[kPairs];
    for (int q = 0; q < kPairs; ++q) pairs[q] = V::Set1(plan.rowPairWeights[q]);
    const Vec bias = V::Set1(plan.rowBias);
    for (int c = 0; c < 3; ++c) {
        for (int x0 = 0; x0 < plan.width; x0 += kBlock) {
            Vec even = bias, odd = bias;
            RowSums<V, K>(planes[c] + x0, pairs, even, odd);
            V::StoreU(sums[c] + x0, even);
            V::StoreU(sums[c] + x0 + kBlock / 2, odd);
        }
    }
}

template <class V>
void HorizontalSums(const ConvolvePlan& plan, const uint16_t* const planes[3], int32_t* const sums[3]) {
    WithKernelSize(plan.k, [&](auto k) { HorizontalSumsK<V, decltype(k)::value>(plan, planes, sums); });
}

template <class V, int K>
void FilterSeparableK(const ConvolvePlan& plan, const LineJob& job) {
    using Vec = typename V::Vec;
    constexpr int kBlock = 4 * V::kPixels;
    const FinishVectors<V> finish(plan.finish);
    const Vec start = V::Set1(static_cast<int32_t>(plan.finish.sumBias));
    ForEachSelectedBlock<V>(plan, job, [&](int x0, Vec* rgb) VLM_INLINE_LAMBDA {
        Vec even[3] = {start, start, start}, odd[3] = {start, start, start};
        VLM_UNROLL
        for (int r = 0; r < K; ++r) {
            const Vec weight = V::Set1(plan.column[r]);
            VLM_UNROLL
            for (int c = 0; c < 3; ++c) {
                const int32_t* s = job.sums[c * K + r] + x0;
                even[c] = V::Add32(even[c], V::Mullo32(V::LoadU(s), weight));
                odd[c] = V::Add32(odd[c], V::Mullo32(V::LoadU(s + kBlock / 2), weight));
            }
        }
        VLM_UNROLL
        for (int c = 0; c < 3; ++c) rgb[c] = finish.Channel(even[c], odd[c]);
    });
}

template <class V>
void FilterSeparable(const ConvolvePlan& plan, const LineJob& job) {
    WithKernelSize(plan.k, [&](auto k) { FilterSeparableK<V, decltype(k)::value>(plan, job); });
}

// A rank-1 kernel over the planar planes, for lines too wide for k lines of
// horizontal sums to stay in cache: strip by strip, the columns are summed
// down (two lines a pmaddwd, on the lines' words interleaved), then those
// sums across, from the strip's scratch in the first-level cache.
//
// The column sums of one channel lie in the scratch as even and odd
// columns: even[i] is column s - h + 2i of a strip starting at column s,
// odd[i] the column after it, so that a block's even and odd outputs (see
// the top of this file) each read whole vectors at every tap. Each sum
// holds biased values; plan.bias turns the final sums into exact ones.
template <class V, int K>
void FilterSeparableStripsK(const ConvolvePlan& plan, const LineJob& job) {
    using Vec = typename V::Vec;
    constexpr int kBlock = 4 * V::kPixels;
    constexpr int kHalf = kBlock / 2;
    const int width = plan.width;
    const int tiles = (width + kBlock - 1) / kBlock;
    const FinishVectors<V> finish(plan.finish);
    const Vec start = V::Set1(static_cast<int32_t>(static_cast<uint32_t>(plan.bias) + plan.finish.sumBias));
    for (int s = job.begin; s < job.end; s += plan.stripColumns) {
        const int end = job.end - s < plan.stripColumns ? job.end : s + plan.stripColumns;
        // A block's outputs reach h columns past it: one vector more.
        const int vectors = (end - s + kBlock - 1) / kBlock + 1;
        const int length = vectors * kHalf;  // sums of one parity and channel
        for (int c = 0; c < 3; ++c) {
            int32_t* even = job.strip + 2 * c * length;
            int32_t* odd = even + length;
            for (int j = 0; j < vectors; ++j) {
                // Columns s - h + kBlock * j onwards: the first half of a
                // tile, or, past the last tile, the second half of that one.
                const int m = s / kBlock + j;
                const int at = V::kPlaneScale == 2 ? (m < tiles ? 2 * kBlock * m : 2 * kBlock * (tiles - 1) + kBlock)
                                                   : kBlock * m;
                Vec lo = V::Zero(), hi = V::Zero();
                VLM_UNROLL
                for (int q = 0; q < K / 2 + 1; ++q) {
                    const Vec a = V::LoadU(job.planes[c * K + 2 * q] + at);
                    const Vec b = 2 * q + 1 < K ? V::LoadU(job.planes[c * K + 2 * q + 1] + at) : a;
                    const Vec w = V::Set1(plan.columnPairWeights[q]);
                    lo = V::MaddAdd(lo, V::Unpacklo16(a, b), w);
                    hi = V::MaddAdd(hi, V::Unpackhi16(a, b), w);
                    VLM_KEEP(lo);
                    VLM_KEEP(hi);
                }
                V::StoreU(even + kHalf * j, V::Even32(lo, hi));
                V::StoreU(odd + kHalf * j, V::Odd32(lo, hi));
            }
        }
        ForEachSelectedBlock<V>(plan, job, s, end, [&](int x0, Vec* rgb) VLM_INLINE_LAMBDA {
            const int at = (x0 - s) / 2;
            for (int c = 0; c < 3; ++c) {
                const int32_t* even = job.strip + 2 * c * length + at;
                const int32_t* odd = even + length;
                Vec sumEven = start, sumOdd = start;
                VLM_UNROLL
                for (int t = 0; t < K; ++t) {
                    const Vec w = V::Set1(plan.row[t]);
                    // Output x0 + 2i + p reads column x0 + 2i + p - h + t.
                    const int32_t* forEven = t % 2 ? odd + t / 2 : even + t / 2;
                    const int32_t* forOdd = t % 2 ? even + (t + 1) / 2 : odd + t / 2;
                    sumEven = V::Add32(sumEven, V::Mullo32(V::LoadU(forEven), w));
                    sumOdd = V::Add32(sumOdd, V::Mullo32(V::LoadU(forOdd), w));
                }
                rgb[c] = finish.Channel(sumEven, sumOdd);
            }
        });
    }
}

template <class V>
void FilterSeparableStrips(const ConvolvePlan& plan, const LineJob& job) {
    WithKernelSize(plan.k, [&](auto k) { FilterSeparableStripsK<V, decltype(k)::value>(plan, job); });
}

// Division, Offset, clamp and Invert of exact sums beyond int32, in doubles
// (exact below 2^53, see ConvolvePlan), once per pixel and channel.
template <class V>
struct WideFinish {
    using Vec = typename V::Vec;
    using DVec = typename V::DVec;
    int32_t mode;
    DVec scale, bias, divisor, low, high, offset;
    Vec laneBias, xorMask;

    explicit WideFinish(const ConvolvePlan& plan)
        : mode(plan.finish.mode),
          scale(V::Set1Pd(plan.splitScale)),
          bias(V::Set1Pd(plan.splitBias)),
          divisor(V::Set1Pd(plan.divisor)),
          low(V::Set1Pd(plan.low)),
          high(V::Set1Pd(plan.high)),
          offset(V::Set1Pd(plan.offset)),
          laneBias(V::Set1(-32768)),
          xorMask(V::Set1(static_cast<int32_t>(plan.finish.xorMask * 0x10001u))) {}

    VLM_INLINE DVec Value(DVec v) const {
        if (mode == FinishPlan::kMagic) v = V::DivPd(v, divisor);
        if (mode == FinishPlan::kNegate) v = V::SubPd(V::ZeroPd(), v);
        // Clamping to integer bounds commutes with truncation, and leaves
        // values that truncate exactly and add Offset exactly.
        return V::AddPd(V::TruncPd(V::MinPd(V::MaxPd(v, low), high)), offset);
    }

    // The two int32 sums of a split (high and low parts) -> channel values - 32768.
    VLM_INLINE Vec Lanes(Vec sumHigh, Vec sumLow) const {
        DVec h[2], l[2];
        V::ToDoubles(sumHigh, h[0], h[1]);
        V::ToDoubles(sumLow, l[0], l[1]);
        const DVec a = Value(V::MulAddPd(h[0], scale, V::AddPd(l[0], bias)));
        const DVec b = Value(V::MulAddPd(h[1], scale, V::AddPd(l[1], bias)));
        return V::Add32(V::FromDoubles(a, b), laneBias);
    }

    VLM_INLINE Vec Channel(Vec evenHigh, Vec evenLow, Vec oddHigh, Vec oddLow) const {
        const Vec e = Lanes(evenHigh, evenLow), o = Lanes(oddHigh, oddLow);
        return V::Xor(V::Packs32(V::Unpacklo32(e, o), V::Unpackhi32(e, o)), xorMask);
    }
};

// Sums beyond int32 from the planar planes: four int32 sums a channel (even
// and odd outputs, high and low parts of the weights), one channel a pass,
// so that the sums, the loaded words and a weight fit eight registers.
template <class V, int K>
void FilterSplitK(const ConvolvePlan& plan, const LineJob& job) {
    using Vec = typename V::Vec;
    constexpr int kPairs = K / 2 + 1;
    const WideFinish<V> finish(plan);
    ForEachSelectedBlock<V>(plan, job, [&](int x0, Vec* rgb) VLM_INLINE_LAMBDA {
        for (int c = 0; c < 3; ++c) {
            Vec evenHigh = V::Zero(), evenLow = V::Zero(), oddHigh = V::Zero(), oddLow = V::Zero();
            VLM_UNROLL
            for (int r = 0; r < K; ++r) {
                VLM_UNROLL
                for (int q = 0; q < kPairs; ++q) {
                    const uint16_t* p = job.planes[c * K + r] + x0 * V::kPlaneScale + 2 * q;
                    const Vec even = V::LoadU(p);
                    const Vec odd = V::kOddPairs ? even : V::LoadU(p + 1);
                    const int32_t* oddPairs = V::kOddPairs ? &plan.oddPairWeights[r][q] : &plan.pairWeights[r][q];
                    const int32_t* oddHighPairs =
                        V::kOddPairs ? &plan.oddHighPairWeights[r][q] : &plan.highPairWeights[r][q];
                    evenHigh = DotPair<V>(evenHigh, even, &plan.highPairWeights[r][q]);
                    oddHigh = DotPair<V>(oddHigh, odd, oddHighPairs);
                    evenLow = DotPair<V>(evenLow, even, &plan.pairWeights[r][q]);
                    oddLow = DotPair<V>(oddLow, odd, oddPairs);
                    VLM_KEEP(evenHigh);
                    VLM_KEEP(oddHigh);
                    VLM_KEEP(evenLow);
                    VLM_KEEP(oddLow);
                }
            }
            rgb[c] = finish.Channel(evenHigh, evenLow, oddHigh, oddLow);
        }
    });
}

template <class V>
void FilterSplit(const ConvolvePlan& plan, const LineJob& job) {
    WithKernelSize(plan.k, [&](auto k) { FilterSplitK<V, decltype(k)::value>(plan, job); });
}

template <class V>
void SplitLineDouble(const BMM_Color_64* src, int width, double* const planes[3]) {
    for (int x = 0; x < width; ++x) {
        planes[0][x] = src[x].r;
        planes[1][x] = src[x].g;
        planes[2][x] = src[x].b;
    }
}

// Kernels beyond 32-bit sums that the split path cannot hold (see
// WeightSplit), exact below 2^53. A block of a channel is four double vectors
// (4 * kPixels values). 64-bit code keeps all three channels' twelve
// accumulators in registers; 32-bit code has eight registers and takes one
// channel per pass, as spilling accumulators cost more than reloading weights.
// The loop is bound by its loads, not by the chains of multiply-adds, so
// int64 lanes were no faster (bench/NOTES.md).
template <class V, int K>
void FilterDoubleK(const ConvolvePlan& plan, const LineJob& job) {
    using Vec = typename V::Vec;
    using DVec = typename V::DVec;
    constexpr int kLanes = V::kPixels;  // doubles per vector
    constexpr int kChannelsPerPass = sizeof(void*) == 4 ? 1 : 3;
    const int32_t mode = plan.finish.mode;
    const DVec divisor = V::Set1Pd(plan.divisor);
    const DVec low = V::Set1Pd(plan.low), high = V::Set1Pd(plan.high), offset = V::Set1Pd(plan.offset);
    const Vec bias = V::Set1(-32768);
    const Vec xorMask = V::Set1(static_cast<int32_t>(plan.finish.xorMask * 0x10001u));
    ForEachSelectedBlock<V>(plan, job, [&](int x0, Vec* rgb) VLM_INLINE_LAMBDA {
        for (int c0 = 0; c0 < 3; c0 += kChannelsPerPass) {
            DVec acc[kChannelsPerPass][4];
            for (int c = 0; c < kChannelsPerPass; ++c)
                for (int i = 0; i < 4; ++i) acc[c][i] = V::ZeroPd();
            VLM_UNROLL
            for (int r = 0; r < K; ++r) {
                VLM_UNROLL
                for (int t = 0; t < K; ++t) {
                    const DVec w = V::Set1Pd(plan.weights[r * K + t]);
                    VLM_UNROLL
                    for (int c = 0; c < kChannelsPerPass; ++c) {
                        const double* p = job.values[(c0 + c) * K + r] + x0 + t;
                        VLM_UNROLL
                        for (int i = 0; i < 4; ++i) acc[c][i] = V::MulAddPd(V::LoadPd(p + i * kLanes), w, acc[c][i]);
                    }
                }
            }
            for (int c = 0; c < kChannelsPerPass; ++c) {
                DVec q[4];
                VLM_UNROLL
                for (int i = 0; i < 4; ++i) {
                    DVec v = acc[c][i];
                    if (mode == FinishPlan::kMagic) v = V::DivPd(v, divisor);
                    if (mode == FinishPlan::kNegate) v = V::SubPd(V::ZeroPd(), v);
                    // Clamping to integer bounds commutes with truncation, and
                    // leaves values that truncate exactly and add Offset exactly.
                    q[i] = V::AddPd(V::TruncPd(V::MinPd(V::MaxPd(v, low), high)), offset);
                }
                Vec a, b;
                V::Truncate(q, a, b);  // 0..65535, exact
                rgb[c0 + c] = V::Xor(V::Packs32(V::Add32(a, bias), V::Add32(b, bias)), xorMask);
            }
        }
    });
}

template <class V>
void FilterDouble(const ConvolvePlan& plan, const LineJob& job) {
    WithKernelSize(plan.k, [&](auto k) { FilterDoubleK<V, decltype(k)::value>(plan, job); });
}

template <class V>
const SimdKernels* KernelTable() {
    static const SimdKernels table = {4 * V::kPixels,    V::kPlaneScale,      &SplitLine<V>,
                                      V::kPlaneScale == 2 ? &SplitTiled<V> : nullptr,      &HorizontalSums<V>,  &FilterPlanar<V>,
                                      &FilterSeparable<V>, &FilterSeparableStrips<V>, &FilterSplit<V>,  &SplitLineDouble<V>,
                                      &FilterDouble<V>};
    return &table;
}

}  // namespace

#undef VLM_UNROLL
#undef VLM_INLINE
#undef VLM_INLINE_LAMBDA
#undef VLM_KEEP
