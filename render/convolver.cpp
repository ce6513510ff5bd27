// The 16-bit convolution engine: chooses a path per kernel, keeps the split
// source lines between calls, and hands each line to the SIMD kernels.
//
// Figures behind the design (bench/run.sh: one thread of a 2-core AVX2
// Xeon, pseudo-random RGBA16, median ms; the machine was shared, so +-10%):
// - Planar 16-bit multiply-add. Each source line is split once into three
//   biased planes (v ^ 0x8000, so pmaddwd's signed halves hold it); an
//   unaligned 32-bit load at column x then holds columns x and x+1, which one
//   pmaddwd weighs with two adjacent taps: no shuffles in the inner loop and
//   no work on alpha. Borders cost nothing: the planes carry biased zeros
//   around the frame, so the bias correction is one constant everywhere.
//   4K: 3x3 21.8, 5x5 30.4, 9x9 52.1 ms, against the scalar reference 158,
//   294, 808 ms and the memory floor (three frame copies) 30.1 ms.
// - AVX2 over SSE2, chosen at run time: 1.5-1.8x (4K 3x3 21.8 vs 34.3 ms,
//   9x9 52.1 vs 79.7 ms).
// - Exact rank-1 kernels as two 1-D passes (pmaddwd across, pmulld down):
//   at 4K 9x9 34.2 vs 53.0 ms planar, 7x7 32.6 vs 38.4; but 5x5 29.4 vs 29.5
//   and 3x3 25.0 vs 21.0, so only k >= 7 takes them.
// - Divide as a multiply-high and shift rather than vdivpd on converted
//   lanes: 1080p 3x3 4.5 vs 5.0 ms, 4K 5x5 31.2 vs 33.8 ms; it also serves
//   SSE2, whose double vectors hold two lanes.
// - Sums that could leave int32 (sum |w| * 65535 >= 2^31) went to doubles,
//   exact below 2^53: 5x5 of weights near 10^5 at 4K 55.4 ms against 268 ms
//   for the int64 scalar path, which remains beyond 2^53. Most such kernels
//   now take the split path (below); doubles keep the ones whose weights
//   cannot be split into two bounded 16-bit parts (see WeightSplit).
// - Software prefetch of the source and result lines 2 KiB ahead: 1080p 5x5
//   11.8 -> 8.7 ms; the frames come from memory, the planes stay in cache.
// The engine that ships is the i686 one inside VLM.FLT, with eight vector
// registers (bench_i686 under Wine, same flags and dispatch; 1080p, medians):
// - Tiled planes for AVX2, so that no load of a block straddles two cache
//   lines (see SimdKernels): 9x9 12.3-12.7 -> 10.3-10.7 ms, 7x7 9.3 ->
//   7.7-8.1, 5x5 6.8 -> 5.9-6.1; 3x3 stays at 4.5-5.2, bound by the frames'
//   memory traffic (source read, result read and written).
// - The source line the next call splits is fetched during this line's
//   blocks (PrefetchNextSplit): 3x3 4.7 -> 4.0 ms, 9x9 10.5 -> 9.6.
// - The planar loop already holds six sums, one broadcast weight and one
//   product: all eight registers, with no spills (checked in the assembly).
//   Addressing the three channels of a row from one pointer and a stride
//   (one pointer load a row instead of three) made GCC spill address
//   registers in the loop, and 9x9 went from 9.7-10.5 to 11.0-11.4 ms.
//   The VNNI forms free the product's register but chain the sums: see
//   BestSimdLevel.
// On an Intel Xeon with AVX512BW and AVX512-VNNI (bench_i686, 1080p, fastest
// of 11-15 interleaved frames; the two cores were shared, so compare within
// a column):
// - 512-bit vectors as AVX2's loop stands (loads at every column, each of
//   the 64 bytes but at a multiple of 32 columns across two cache lines):
//   9x9 14.8 against AVX2's 14.0 ms; with vpdpwssd 12.8. Odd outputs from the
//   words of the even ones (PairTaps) with the dot product's weights as
//   broadcast memory operands, so one load serves two sums: 10.5; rows on
//   64 bytes (see Prepare): 9.3, and 3x3 3.4 against AVX2's 5.2. Without
//   VNNI the shifted pairs gain less: 9x9 0.92 of AVX2's time, against 0.97
//   for the loop as it stands.
// - 9.3 ms at 9x9 is about 370 cycles a 32-pixel block at 2.6 GHz for 270
//   dot products; splitting, finishing and storing take about 100 (3x3 is
//   3.4 ms with 36 dot products a block).
// - Sums beyond int32 as two bounded 16-bit weight parts (split planar),
//   four int32 sums a channel and one double finish a pixel, instead of a
//   double multiply-add per tap: 5x5 of weights near 10^5 13.9 against 18.5
//   ms (AVX2), 10.1 against 14.9 (AVX512BW+VNNI); 9x9 31.0 against 91.2 and
//   24.5 against 61.0; 3x3 9.3 against 10.1. Its division in doubles costs
//   a fifth of it with VNNI (a multiply in its place, for timing only: 10.3
//   -> 8.1 ms); the exact reciprocal and its correction were not needed.
#include "render/convolver.h"

#include <climits>

#include "render/kernel_size.h"
#include "render/convolve_reference.h"
#include "render/cpu_features.h"

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

FinishPlan MakeFinishPlan(int32_t divide, int32_t offset, int32_t invert) {
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

namespace {
const SimdKernels* KernelsFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::kNone: return nullptr;
        case SimdLevel::kSse2: return Sse2Kernels();
        case SimdLevel::kAvx2: return Avx2Kernels();
        case SimdLevel::kAvx512Vnni: return Avx512VnniKernels();
        case SimdLevel::kAvxVnni: return AvxVnniKernels();
        case SimdLevel::kAvx512Bw: return Avx512BwKernels();
    }
    return nullptr;
}
}  // namespace

bool SimdAvailable(SimdLevel level) {
    const CpuFeatures& cpu = HostCpuFeatures();
    const bool compiled = KernelsFor(level) != nullptr;
    switch (level) {
        case SimdLevel::kNone: return true;
        case SimdLevel::kSse2: return compiled && cpu.sse2;
        case SimdLevel::kAvx2: return compiled && cpu.avx2;
        case SimdLevel::kAvx512Vnni: return compiled && cpu.avx512Vnni;
        case SimdLevel::kAvxVnni: return compiled && cpu.avxVnni;
        case SimdLevel::kAvx512Bw: return compiled && cpu.avx512Bw;
    }
    return false;
}

// The 512-bit levels first, then AVX2. Measured on an Intel Xeon with
// AVX512BW, AVX512-VNNI and AVX-VNNI (2 shared cores), i686 engine under
// Wine, 1080p, fastest of 15 interleaved frames, ms:
//                   AVX2   AVX-VNNI  AVX512BW  AVX512BW+VNNI
//   3x3             5.02   5.08      3.80      3.45
//   5x5             7.24   6.98      5.98      4.69
//   7x7             10.3   9.79      8.81      6.94
//   9x9             14.0   13.5      12.6      9.76
//   9x9 separable   9.97   9.79      8.09      7.79
//   5x5 weights near 10^5 (split planar)  13.9  13.7  11.2  10.1
//   9x9 weights near 10^5 (split planar)  31.0  31.6  25.4  24.5
// vpdpwssd gains most on 512-bit vectors, where it takes the weights as a
// broadcast memory operand (see PairTaps). On ymm it saves the vpaddd but
// chains each of the six running sums through dependent dot products; here
// it was 0-5% ahead of AVX2 and behind on the split path, and on the Zen 4
// of an earlier measurement its EVEX form was 10% behind (9x9 11.8 against
// 10.3-10.7 ms), so AVX2 stays before it. The 512-bit levels could not be
// measured on an AMD processor here. Every level stays available through
// ConvolveOptions and is tested.
SimdLevel BestSimdLevel() {
    for (SimdLevel level : {SimdLevel::kAvx512Vnni, SimdLevel::kAvx512Bw, SimdLevel::kAvx2, SimdLevel::kSse2})
        if (SimdAvailable(level)) return level;
    return SimdLevel::kNone;
}

const char* PathName(ConvolvePath path) {
    switch (path) {
        case ConvolvePath::kReference: return "scalar";
        case ConvolvePath::kWide: return "wide int64";
        case ConvolvePath::kDouble: return "double";
        case ConvolvePath::kPlanar: return "planar";
        case ConvolvePath::kSeparable: return "separable";
        case ConvolvePath::kSplitPlanar: return "split planar";
    }
    return "?";
}

const char* SimdName(SimdLevel level) {
    switch (level) {
        case SimdLevel::kNone: return "no SIMD";
        case SimdLevel::kSse2: return "SSE2";
        case SimdLevel::kAvx2: return "AVX2";
        case SimdLevel::kAvx512Vnni: return "AVX512BW+VNNI";
        case SimdLevel::kAvxVnni: return "AVX2+AVX-VNNI";
        case SimdLevel::kAvx512Bw: return "AVX512BW";
    }
    return "?";
}

namespace {

int64_t Gcd(int64_t a, int64_t b) {
    while (b != 0) {
        const int64_t t = a % b;
        a = b;
        b = t;
    }
    return a < 0 ? -a : a;
}

bool FitsInt16(int64_t v) { return v >= -32768 && v <= 32767; }

int32_t PairWeight(const int32_t* row, int k, int q) {
    const uint32_t left = static_cast<uint16_t>(row[2 * q]);
    const uint32_t right = 2 * q + 1 < k ? static_cast<uint16_t>(row[2 * q + 1]) : 0u;
    return static_cast<int32_t>(left | right << 16);
}

int32_t OddPairWeight(const int32_t* row, int k, int q) {
    const uint32_t left = q > 0 ? static_cast<uint16_t>(row[2 * q - 1]) : 0u;
    const uint32_t right = 2 * q < k ? static_cast<uint16_t>(row[2 * q]) : 0u;
    return static_cast<int32_t>(left | right << 16);
}

}  // namespace

bool Convolver::FactorSeparable(int32_t* column, int32_t* row) const {
    const int k = k_;
    int first = -1;
    for (int i = 0; i < k * k && first < 0; ++i)
        if (block_[i] != 0) first = i / k;
    if (first < 0) return false;
    int64_t g = 0;
    for (int c = 0; c < k; ++c) g = Gcd(g, block_[first * k + c]);
    int pivot = -1;
    for (int c = 0; c < k; ++c) {
        row[c] = static_cast<int32_t>(block_[first * k + c] / g);
        if (pivot < 0 && row[c] != 0) pivot = c;
    }
    // With row primitive (gcd 1), a rank-1 integer kernel has integer column factors.
    for (int r = 0; r < k; ++r) {
        const int64_t w = block_[r * k + pivot];
        if (w % row[pivot] != 0) return false;
        const int64_t f = w / row[pivot];
        for (int c = 0; c < k; ++c)
            if (f * row[c] != block_[r * k + c]) return false;
        column[r] = static_cast<int32_t>(f);
    }
    return true;
}

bool Convolver::Prepare(const int32_t* block, int k, int32_t divide, int32_t offset, int32_t invert, int width,
                        int height, const ConvolveOptions& options) {
    prepared_ = false;
    cachedSrc_ = nullptr;
    if (!block || !IsKernelSize(k) || width < 0 || height < 0) return false;
    k_ = k;
    width_ = width;
    height_ = height;
    divide_ = divide;
    offset_ = offset;
    invert_ = invert;
    for (int i = 0; i < k * k; ++i) block_[i] = block[i];

    bool fits16 = true;
    int64_t sumAbs = 0;  // at most 81 * 2^31, so sumAbs * 65535 < 2^63
    for (int i = 0; i < k * k; ++i) {
        fits16 = fits16 && FitsInt16(block_[i]);
        sumAbs += block_[i] < 0 ? -static_cast<int64_t>(block_[i]) : block_[i];
    }
    const bool exact32 = sumAbs * 65535 < (int64_t{1} << 31);
    const bool exact53 = sumAbs * 65535 < (int64_t{1} << 53);

    // A level the processor lacks falls to the next lower one it has.
    simd_ = options.simd;
    while (simd_ != SimdLevel::kNone && !SimdAvailable(simd_))
        simd_ = static_cast<SimdLevel>(static_cast<int>(simd_) - 1);
    kernels_ = KernelsFor(simd_);

    int32_t column[kMaxK], row[kMaxK];
    WeightSplit split;
    if (!exact32 || !fits16) {
        if (kernels_ && options.allowSplit && SplitWeights(block_, k * k, &split))
            path_ = ConvolvePath::kSplitPlanar;
        else
            path_ = kernels_ && exact53 ? ConvolvePath::kDouble : ConvolvePath::kWide;
    } else if (!kernels_) {
        path_ = ConvolvePath::kReference;
    } else if (options.allowSeparable && k >= options.separableMinK && FactorSeparable(column, row)) {
        path_ = ConvolvePath::kSeparable;
    } else {
        path_ = ConvolvePath::kPlanar;
    }
    planes_.clear();
    flat_.clear();
    blankPlane_.clear();
    sums_.clear();
    zeroSums_.clear();
    values_.clear();
    zeroValues_.clear();
    if (path_ == ConvolvePath::kWide || path_ == ConvolvePath::kReference) {
        kernels_ = nullptr;
        simd_ = SimdLevel::kNone;
        prepared_ = true;
        return true;
    }

    plan_ = ConvolvePlan();
    plan_.k = k;
    plan_.width = width;
    plan_.finish = MakeFinishPlan(divide, offset, invert);
    uint32_t total = 0;
    for (int i = 0; i < k * k; ++i) total += static_cast<uint32_t>(block_[i]);
    plan_.bias = static_cast<int32_t>(total * 32768u);  // wraps; only the exact final sum must fit
    // The split path's pairs are its low parts'; the high parts' go beside them.
    const int32_t* pairs = path_ == ConvolvePath::kSplitPlanar ? split.low : block_;
    for (int r = 0; r < k; ++r)
        for (int q = 0; q < k / 2 + 1; ++q) {
            plan_.pairWeights[r][q] = PairWeight(pairs + r * k, k, q);
            plan_.oddPairWeights[r][q] = OddPairWeight(pairs + r * k, k, q);
            plan_.highPairWeights[r][q] = PairWeight(split.high + r * k, k, q);
            plan_.oddHighPairWeights[r][q] = OddPairWeight(split.high + r * k, k, q);
        }
    int64_t sum = 0;
    for (int i = 0; i < k * k; ++i) sum += block_[i];
    plan_.splitScale = static_cast<double>(int64_t{1} << split.shift);
    plan_.splitBias = 32768.0 * static_cast<double>(sum);  // below 2^53: exact
    for (int i = 0; i < k * k; ++i) plan_.weights[i] = block_[i];
    plan_.divisor = divide;
    plan_.low = -static_cast<double>(offset);
    plan_.high = 65535.0 - offset;
    plan_.offset = offset;

    const int blockPixels = kernels_->blockPixels;
    planeStride_ = static_cast<size_t>(width) + k + 4 * blockPixels;
    slotLine_.assign(k, -1);
    if (path_ == ConvolvePath::kSeparable) {
        uint32_t rowTotal = 0;
        for (int c = 0; c < k; ++c) rowTotal += static_cast<uint32_t>(row[c]);
        plan_.rowBias = static_cast<int32_t>(rowTotal * 32768u);
        for (int q = 0; q < k / 2 + 1; ++q) plan_.rowPairWeights[q] = PairWeight(row, k, q);
        for (int r = 0; r < k; ++r) plan_.column[r] = column[r];
        sumStride_ = (static_cast<size_t>(width) + blockPixels - 1) / blockPixels * blockPixels;
        planes_.assign(3 * planeStride_, 0x8000);
        sums_.assign(static_cast<size_t>(k) * 3 * sumStride_, 0);
        zeroSums_.assign(sumStride_, 0);
    } else if (path_ == ConvolvePath::kDouble) {
        values_.assign(static_cast<size_t>(k) * 3 * planeStride_, 0.0);
        zeroValues_.assign(planeStride_, 0.0);
    } else {
        const size_t tiles = (static_cast<size_t>(width) + blockPixels - 1) / blockPixels;
        // Flat rows start on a whole vector of elements (the ring starts on
        // 64 bytes), so the loads at even columns of the 512-bit kernels
        // split no cache line: 1080p 9x9 10.5 -> 9.3 ms, 3x3 4.1 -> 3.4. On
        // 64 bytes the SSE2 rows went from 16.3 to 17.6 ms at 7x7.
        ringStride_ = kernels_->planeScale == 2 ? tiles * 2 * blockPixels
                                                : (planeStride_ + blockPixels - 1) / blockPixels * blockPixels;
        const size_t slack = 32;  // elements: room to start on a 64-byte boundary
        planes_.assign(static_cast<size_t>(k) * 3 * ringStride_ + slack, 0x8000);
        blankPlane_.assign(ringStride_ + slack, 0x8000);
        if (kernels_->planeScale == 2) flat_.assign(3 * planeStride_, 0x8000);
        auto aligned = [](uint16_t* p) {
            const uintptr_t a = reinterpret_cast<uintptr_t>(p);
            return p + ((64 - a % 64) % 64) / sizeof(uint16_t);
        };
        ring_ = aligned(planes_.data());
        blank_ = aligned(blankPlane_.data());
    }
    prepared_ = true;
    return true;
}

// Line j of the source in its three channel planes, held in ring slot j % k:
// filled once, it serves the next k - 1 output lines too. Lines outside the
// frame are the given blank line.
template <class T, class Fill>
const T* Convolver::RingLine(T* ring, size_t stride, const T* outside, const BMM_Color_64* src, int j, int channel,
                             Fill fill) {
    if (j < 0 || j >= height_) return outside;
    const int slot = j % k_;
    T* base = ring + static_cast<size_t>(slot) * 3 * stride;
    if (slotLine_[slot] != j) {
        fill(src + static_cast<ptrdiff_t>(j) * width_, base);
        slotLine_[slot] = j;
    }
    return base + channel * stride;
}

const uint16_t* Convolver::PlanarLine(const BMM_Color_64* src, int j, int channel) {
    return RingLine(ring_, ringStride_, blank_, src, j, channel, [&](const BMM_Color_64* line, uint16_t* base) {
        const int h = k_ / 2;
        const bool tiled = kernels_->planeScale == 2;
        uint16_t* flat = tiled ? flat_.data() : base;
        const size_t stride = tiled ? planeStride_ : ringStride_;
        uint16_t* const columns[3] = {flat + h, flat + stride + h, flat + 2 * stride + h};
        kernels_->splitLine(line, width_, columns);
        if (tiled)
            for (int c = 0; c < 3; ++c) kernels_->tileLine(flat + c * planeStride_, width_, base + c * ringStride_);
    });
}

const int32_t* Convolver::SumLine(const BMM_Color_64* src, int j, int channel) {
    return RingLine(sums_.data(), sumStride_, zeroSums_.data(), src, j, channel, [&](const BMM_Color_64* line, int32_t* base) {
        // The planes are one line of scratch here: split, then summed across.
        const int h = k_ / 2;
        uint16_t* p = planes_.data();
        uint16_t* const columns[3] = {p + h, p + planeStride_ + h, p + 2 * planeStride_ + h};
        kernels_->splitLine(line, width_, columns);
        const uint16_t* const planes[3] = {p, p + planeStride_, p + 2 * planeStride_};
        int32_t* const sums[3] = {base, base + sumStride_, base + 2 * sumStride_};
        kernels_->horizontalSums(plan_, planes, sums);
    });
}

const double* Convolver::ValueLine(const BMM_Color_64* src, int j, int channel) {
    return RingLine(values_.data(), planeStride_, zeroValues_.data(), src, j, channel, [&](const BMM_Color_64* line, double* base) {
        const int h = k_ / 2;
        double* const columns[3] = {base + h, base + planeStride_ + h, base + 2 * planeStride_ + h};
        kernels_->splitLineDouble(line, width_, columns);
    });
}

void Convolver::FilterScalar(const BMM_Color_64* src, BMM_Color_64* dst, int y, const LineSelection& sel) const {
    const KernelArgs ks{block_, k_, divide_, offset_, invert_};
    for (int x = 0; x < width_; ++x) {
        if (!sel.Selected(x)) continue;
        dst[x] = path_ == ConvolvePath::kWide ? ReferencePixel<int64_t>(src, width_, height_, x, y, ks)
                                              : ReferencePixel<int32_t>(src, width_, height_, x, y, ks);
    }
}

void Convolver::FilterLine(const BMM_Color_64* src, BMM_Color_64* dst, int y, const ChannelSelection& sel) {
    if (!prepared_ || !src || !dst || y < 0 || y >= height_ || width_ == 0) return;
    const size_t base = static_cast<size_t>(y) * width_;
    LineSelection line;
    line.all = sel.matchId == -1;
    line.matchId = sel.matchId;
    if (!line.all) {
        if (sel.requested & 2u)
            line.entries8 = sel.material ? sel.material + base : nullptr;
        else if (sel.requested & 4u)
            line.entries16 = sel.object ? sel.object + base : nullptr;
        // Lines without a selected pixel need no source lines prepared.
        int x = 0;
        while (x < width_ && !line.Selected(x)) ++x;
        if (x == width_) return;
    }
    BMM_Color_64* out = dst + base;
    if (path_ == ConvolvePath::kWide || path_ == ConvolvePath::kReference) {
        FilterScalar(src, out, y, line);
        return;
    }
    if (src != cachedSrc_) {
        cachedSrc_ = src;
        slotLine_.assign(k_, -1);
    }
    LineJob job;
    job.src = src + base;
    const int next = y + k_ / 2 + 1;
    if (next < height_) job.ahead = src + static_cast<ptrdiff_t>(next) * width_;
    job.dst = out;
    job.selection = line;
    const int h = k_ / 2;
    if (path_ == ConvolvePath::kPlanar || path_ == ConvolvePath::kSplitPlanar) {
        const uint16_t* planes[3 * kMaxK];
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < k_; ++r) planes[c * k_ + r] = PlanarLine(src, y + r - h, c);
        job.planes = planes;
        if (path_ == ConvolvePath::kPlanar)
            kernels_->filterPlanar(plan_, job);
        else
            kernels_->filterSplit(plan_, job);
    } else if (path_ == ConvolvePath::kDouble) {
        const double* values[3 * kMaxK];
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < k_; ++r) values[c * k_ + r] = ValueLine(src, y + r - h, c);
        job.values = values;
        kernels_->filterDouble(plan_, job);
    } else {
        const int32_t* sums[3 * kMaxK];
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < k_; ++r) sums[c * k_ + r] = SumLine(src, y + r - h, c);
        job.sums = sums;
        kernels_->filterSeparable(plan_, job);
    }
}
