// The 16-bit convolution engine: chooses a path and instruction set per
// kernel, keeps the split source lines between calls, and hands each line to
// the SIMD kernels. The measurements behind its choices: bench/NOTES.md.
#include "render/convolver.h"
#include "render/convolve_route.h"

#include <climits>

#include "render/kernel_size.h"
#include "render/convolve_reference.h"
#include "render/convolve_budget.h"
#include "render/cpu_features.h"
#include "render/row_stride.h"

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

// Whether line has a selected pixel among its width entries. Blocks of 64
// without a branch each, so that a frame whose object lies elsewhere costs
// little more than reading its entries.
template <class Entry>
bool AnyEqual(const Entry* entries, int width, Entry id) {
    for (int x0 = 0; x0 < width; x0 += 64) {
        const int end = width - x0 < 64 ? width : x0 + 64;
        unsigned found = 0;
        for (int x = x0; x < end; ++x) found |= entries[x] == id;
        if (found) return true;
    }
    return false;
}

bool AnySelected(const LineSelection& line, int width) {
    if (line.all) return true;
    if (line.entries8)
        return line.matchId >= 0 && line.matchId <= 255 &&
               AnyEqual(line.entries8, width, static_cast<uint8_t>(line.matchId));
    if (line.entries16)
        return line.matchId >= 0 && line.matchId <= 65535 &&
               AnyEqual(line.entries16, width, static_cast<uint16_t>(line.matchId));
    return line.matchId == 0;
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

// What a kernel's weights allow, and the factors the paths that use them need.
KernelTraits Convolver::Examine(KernelFactors* factors) const {
    KernelTraits traits;
    traits.k = k_;
    traits.width = width_;
    int64_t sumAbs = 0;  // at most 81 * 2^31, so sumAbs * 65535 < 2^63
    for (int i = 0; i < k_ * k_; ++i) {
        traits.narrow = traits.narrow && FitsInt16(block_[i]);
        sumAbs += block_[i] < 0 ? -static_cast<int64_t>(block_[i]) : block_[i];
    }
    traits.narrow = traits.narrow && sumAbs * 65535 < (int64_t{1} << 31);
    traits.exact53 = sumAbs * 65535 < (int64_t{1} << 53);
    traits.splittable = !traits.narrow && SplitWeights(block_, k_ * k_, &factors->split);
    traits.separable = traits.narrow && FactorSeparable(factors->column, factors->row);
    return traits;
}

KernelTraits Convolver::Traits() const {
    KernelFactors factors;
    return prepared_ ? Examine(&factors) : KernelTraits();
}

bool Convolver::Prepare(const KernelArgs& kernel, int width, int height, const ConvolveOptions& options) {
    prepared_ = false;
    cachedSrc_ = nullptr;
    if (!kernel.block || !IsKernelSize(kernel.k) || width < 0 || height < 0) return false;
    k_ = kernel.k;
    width_ = width;
    height_ = height;
    for (int i = 0; i < k_ * k_; ++i) block_[i] = kernel.block[i];
    kernel_ = kernel;
    kernel_.block = block_;

    KernelFactors factors;
    const KernelTraits traits = Examine(&factors);
    const CpuFeatures cpu = EngineCpu(options);
    cache_ = cpu.cache;
    const ConvolveRoute route = ChooseRoute(cpu, traits, options);
    path_ = route.path;
    simd_ = route.simd;
    kernels_ = KernelsFor(simd_);
    if (!kernels_) {
        path_ = traits.narrow ? ConvolvePath::kReference : ConvolvePath::kWide;
        simd_ = SimdLevel::kNone;
    } else {
        BuildPlan(factors);
    }
    AllocateScratch();
    prepared_ = true;
    return true;
}

void Convolver::BuildPlan(const KernelFactors& factors) {
    const int k = k_;
    plan_ = ConvolvePlan();
    plan_.k = k;
    plan_.width = width_;
    // Sums of 32-bit paths stay within what the weights allow, which can let
    // the pack's saturation do the clamp; the wider paths clamp themselves.
    int64_t minSum = 0, maxSum = 0;
    for (int i = 0; i < k * k; ++i) (block_[i] < 0 ? minSum : maxSum) += int64_t{block_[i]} * 65535;
    const bool int32Sums = path_ == ConvolvePath::kPlanar || path_ == ConvolvePath::kSeparable ||
                           path_ == ConvolvePath::kSeparableStrips;
    const KernelArgs& ks = kernel_;
    plan_.finish = int32Sums ? MakeFinishPlan(ks.divide, ks.offset, ks.invert, minSum, maxSum)
                             : MakeFinishPlan(ks.divide, ks.offset, ks.invert);
    uint32_t total = 0;
    for (int i = 0; i < k * k; ++i) total += static_cast<uint32_t>(block_[i]);
    plan_.bias = static_cast<int32_t>(total * 32768u);  // wraps; only the exact final sum must fit
    // The split path's pairs are its low parts'; the high parts' go beside them.
    const WeightSplit& split = factors.split;
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
    plan_.divisor = ks.divide;
    plan_.low = -static_cast<double>(ks.offset);
    plan_.high = 65535.0 - ks.offset;
    plan_.offset = ks.offset;
    if (path_ == ConvolvePath::kSeparable) {
        uint32_t rowTotal = 0;
        for (int c = 0; c < k; ++c) rowTotal += static_cast<uint32_t>(factors.row[c]);
        plan_.rowBias = static_cast<int32_t>(rowTotal * 32768u);
        for (int q = 0; q < k / 2 + 1; ++q) plan_.rowPairWeights[q] = PairWeight(factors.row, k, q);
        for (int r = 0; r < k; ++r) plan_.column[r] = factors.column[r];
    } else if (path_ == ConvolvePath::kSeparableStrips) {
        // A column factor of 32768 (a weight of -32768 over a row factor of
        // -1) leaves 16 bits; both factors negated, it fits.
        int32_t column[kMaxK] = {}, sign = 1;
        for (int r = 0; r < k; ++r) sign = factors.column[r] == 32768 ? -1 : sign;
        for (int r = 0; r < k; ++r) column[r] = sign * factors.column[r];
        for (int q = 0; q < k / 2 + 1; ++q) plan_.columnPairWeights[q] = PairWeight(column, k, q);
        for (int c = 0; c < k; ++c) plan_.row[c] = sign * factors.row[c];
        plan_.stripColumns = StripColumns(cache_, kernels_->blockPixels);
    }
}

// The ring of k lines the chosen path keeps, in its own form; the scalar
// paths keep none.
void Convolver::AllocateScratch() {
    const int k = k_;
    planes_.clear();
    blankPlane_.clear();
    sums_.clear();
    zeroSums_.clear();
    values_.clear();
    zeroValues_.clear();
    stripSums_.clear();
    pass_ = PassShape();
    pass_.columns = width_;
    slots_ = k;
    slotLine_.assign(slots_, -1);
    if (!kernels_) return;
    const int blockPixels = kernels_->blockPixels;
    // What a column of one source line takes in the ring decides how many
    // lines a pass takes.
    const int columnBytes = path_ == ConvolvePath::kSeparable ? 3 * sizeof(int32_t)
                            : path_ == ConvolvePath::kDouble  ? 3 * sizeof(double)
                                                              : 3 * sizeof(uint16_t) * kernels_->planeScale;
    pass_ = RingPassShape(cache_, width_, k, columnBytes, blockPixels);
    slots_ = k + pass_.lines - 1;
    slotLine_.assign(slots_, -1);
    // Every ring's rows are spread over the caches' sets (row_stride.h), in
    // steps that keep each row's start on the boundary it had.
    const size_t planeElements = static_cast<size_t>(width_) + k + 4 * blockPixels;
    planeStride_ = planeElements;
    if (path_ == ConvolvePath::kSeparable) {
        const size_t sumElements = (static_cast<size_t>(width_) + blockPixels - 1) / blockPixels * blockPixels;
        sumStride_ = SpreadRowElements(sumElements, sizeof(int32_t), 64 / sizeof(int32_t));
        planes_.assign(3 * planeStride_, 0x8000);
        sums_.assign(static_cast<size_t>(slots_) * 3 * sumStride_, 0);
        zeroSums_.assign(sumStride_, 0);
    } else if (path_ == ConvolvePath::kDouble) {
        planeStride_ = SpreadRowElements(planeElements, sizeof(double), 64 / sizeof(double));
        values_.assign(static_cast<size_t>(slots_) * 3 * planeStride_, 0.0);
        zeroValues_.assign(planeStride_, 0.0);
    } else {
        const size_t tiles = (static_cast<size_t>(width_) + blockPixels - 1) / blockPixels;
        // Flat rows start on a whole vector of elements (the ring starts on
        // 64 bytes), so the loads at even columns of the 512-bit kernels
        // split no cache line; SSE2's rows measured slower so (bench/NOTES.md).
        ringStride_ = kernels_->planeScale == 2
                          ? SpreadRowElements(tiles * 2 * blockPixels, sizeof(uint16_t), 2 * blockPixels)
                          : SpreadRowElements(planeElements, sizeof(uint16_t), blockPixels);
        const size_t slack = 32;  // elements: room to start on a 64-byte boundary
        planes_.assign(static_cast<size_t>(slots_) * 3 * ringStride_ + slack, 0x8000);
        blankPlane_.assign(ringStride_ + slack, 0x8000);
        auto aligned = [](auto* p) {
            const uintptr_t a = reinterpret_cast<uintptr_t>(p);
            return p + ((64 - a % 64) % 64) / sizeof(*p);
        };
        ring_ = aligned(planes_.data());
        blank_ = aligned(blankPlane_.data());
        if (path_ == ConvolvePath::kSeparableStrips) {
            stripSums_.assign(3 * static_cast<size_t>(plan_.stripColumns + blockPixels) + 16, 0);
            strip_ = aligned(stripSums_.data());
        }
    }
}

// Line j of the source in its three channel planes, held in ring slot
// j % slots_: filled once, it serves the next k - 1 output lines too. Lines
// outside the frame are the given blank line.
template <class T, class Fill>
const T* Convolver::RingLine(T* ring, size_t stride, const T* outside, const BMM_Color_64* line, int j, int channel,
                             Fill fill) {
    if (!line || j < 0 || j >= height_) return outside;
    const int slot = j % slots_;
    T* base = ring + static_cast<size_t>(slot) * 3 * stride;
    if (slotLine_[slot] != j) {
        fill(line, base);
        slotLine_[slot] = j;
    }
    return base + channel * stride;
}

const uint16_t* Convolver::PlanarLine(const BMM_Color_64* source, int j, int channel) {
    return RingLine(ring_, ringStride_, blank_, source, j, channel, [&](const BMM_Color_64* line, uint16_t* base) {
        const int h = k_ / 2;
        if (kernels_->planeScale == 2) {
            uint16_t* const tiles[3] = {base, base + ringStride_, base + 2 * ringStride_};
            kernels_->splitTiled(line, width_, h, tiles);
        } else {
            uint16_t* const columns[3] = {base + h, base + ringStride_ + h, base + 2 * ringStride_ + h};
            kernels_->splitLine(line, width_, columns);
        }
    });
}

const int32_t* Convolver::SumLine(const BMM_Color_64* source, int j, int channel) {
    return RingLine(sums_.data(), sumStride_, zeroSums_.data(), source, j, channel, [&](const BMM_Color_64* line, int32_t* base) {
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

const double* Convolver::ValueLine(const BMM_Color_64* source, int j, int channel) {
    return RingLine(values_.data(), planeStride_, zeroValues_.data(), source, j, channel, [&](const BMM_Color_64* line, double* base) {
        const int h = k_ / 2;
        double* const columns[3] = {base + h, base + planeStride_ + h, base + 2 * planeStride_ + h};
        kernels_->splitLineDouble(line, width_, columns);
    });
}

// The paths without SIMD are the reference itself, pixel by pixel.
void Convolver::FilterScalar(const BMM_Color_64* const* lines, BMM_Color_64* out, const LineSelection& sel) const {
    for (int x = 0; x < width_; ++x) {
        if (!sel.Selected(x)) continue;
        out[x] = path_ == ConvolvePath::kWide ? ReferencePixel<int64_t>(lines, width_, x, kernel_)
                                              : ReferencePixel<int32_t>(lines, width_, x, kernel_);
    }
}

size_t Convolver::ScratchBytes() const {
    return sizeof(*this) + slotLine_.capacity() * sizeof(int) +
           (planes_.capacity() + blankPlane_.capacity()) * sizeof(uint16_t) +
           (sums_.capacity() + zeroSums_.capacity()) * sizeof(int32_t) +
           (values_.capacity() + zeroValues_.capacity()) * sizeof(double) + stripSums_.capacity() * sizeof(int32_t);
}

void Convolver::FilterFromFrame(const BMM_Color_64* src, BMM_Color_64* dst, int y, const ChannelSelection& sel) {
    FilterFrameLines(src, dst, y, 1, sel);
}

void Convolver::FilterFrameLines(const BMM_Color_64* src, BMM_Color_64* dst, int y, int count,
                                 const ChannelSelection& sel) {
    if (!prepared_ || !src || !dst || y < 0 || y >= height_ || count < 1) return;
    if (src != cachedSrc_) {
        cachedSrc_ = src;
        slotLine_.assign(slots_, -1);
    }
    count = count < height_ - y ? count : height_ - y;
    const int h = k_ / 2;
    for (int first = y; first < y + count; first += pass_.lines) {
        const int n = y + count - first < pass_.lines ? y + count - first : pass_.lines;
        const BMM_Color_64* lines[kMaxK + kMaxPassLines - 1];
        BMM_Color_64* outs[kMaxPassLines];
        for (int r = 0; r < n + k_ - 1; ++r) {
            const int j = first + r - h;
            lines[r] = j >= 0 && j < height_ ? src + static_cast<ptrdiff_t>(j) * width_ : nullptr;
        }
        for (int i = 0; i < n; ++i) outs[i] = dst + static_cast<ptrdiff_t>(first + i) * width_;
        const int next = first + n + h;
        FilterRows(lines, outs, first, n, sel, next < height_ ? src + static_cast<ptrdiff_t>(next) * width_ : nullptr);
    }
}

void Convolver::FilterFromLines(const BMM_Color_64* const* lines, BMM_Color_64* out, int y, const ChannelSelection& sel) {
    BMM_Color_64* const outs[1] = {out};
    FilterFromLines(lines, outs, y, 1, sel);
}

void Convolver::FilterFromLines(const BMM_Color_64* const* lines, BMM_Color_64* const* outs, int y, int count,
                                const ChannelSelection& sel) {
    cachedSrc_ = nullptr;
    if (!lines || !outs) return;
    for (int first = 0; first < count; first += pass_.lines) {
        const int n = count - first < pass_.lines ? count - first : pass_.lines;
        FilterRows(lines + first, outs + first, y + first, n, sel, nullptr);
    }
}

LineSelection Convolver::SelectionOf(int y, const ChannelSelection& sel) const {
    const size_t base = static_cast<size_t>(y) * width_;
    LineSelection line;
    line.all = sel.matchId == -1;
    line.matchId = sel.matchId;
    if (!line.all) {
        if (sel.requested & kMaterialChannel)
            line.entries8 = sel.material ? sel.material + base : nullptr;
        else if (sel.requested & kObjectChannel)
            line.entries16 = sel.object ? sel.object + base : nullptr;
    }
    return line;
}

bool Convolver::Selects(int y, const ChannelSelection& sel) const {
    return prepared_ && y >= 0 && y < height_ && width_ > 0 && AnySelected(SelectionOf(y, sel), width_);
}

void Convolver::RunJob(const LineJob& job) const {
    switch (path_) {
        case ConvolvePath::kPlanar: return kernels_->filterPlanar(plan_, job);
        case ConvolvePath::kSplitPlanar: return kernels_->filterSplit(plan_, job);
        case ConvolvePath::kSeparableStrips: return kernels_->filterSeparableStrips(plan_, job);
        case ConvolvePath::kSeparable: return kernels_->filterSeparable(plan_, job);
        case ConvolvePath::kDouble: return kernels_->filterDouble(plan_, job);
        case ConvolvePath::kReference:
        case ConvolvePath::kWide: return;
    }
}

// count is at most PassLines(), so the count + k - 1 source lines have slots
// of their own in the ring.
void Convolver::FilterRows(const BMM_Color_64* const* lines, BMM_Color_64* const* outs, int y, int count,
                           const ChannelSelection& sel, const BMM_Color_64* ahead) {
    const int h = k_ / 2;
    if (!prepared_ || width_ == 0) return;
    const bool scalar = path_ == ConvolvePath::kWide || path_ == ConvolvePath::kReference;
    LineJob jobs[kMaxPassLines];
    const uint16_t* planes[kMaxPassLines][3 * kMaxK];
    const int32_t* sums[kMaxPassLines][3 * kMaxK];
    const double* values[kMaxPassLines][3 * kMaxK];
    int active = 0;
    for (int i = 0; i < count; ++i) {
        const int line = y + i;
        const BMM_Color_64* const* window = lines + i;
        if (line < 0 || line >= height_ || !outs[i] || !window[h]) continue;
        const LineSelection selection = SelectionOf(line, sel);
        // Lines without a selected pixel need no source lines prepared.
        if (!selection.all && !AnySelected(selection, width_)) continue;
        if (scalar) {
            FilterScalar(window, outs[i], selection);
            continue;
        }
        LineJob& job = jobs[active];
        job.src = window[h];
        job.ahead = count == 1 ? ahead : nullptr;
        job.dst = outs[i];
        job.selection = selection;
        job.strip = strip_;
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < k_; ++r) {
                const int j = line + r - h;
                if (path_ == ConvolvePath::kDouble)
                    values[active][c * k_ + r] = ValueLine(window[r], j, c);
                else if (path_ == ConvolvePath::kSeparable)
                    sums[active][c * k_ + r] = SumLine(window[r], j, c);
                else
                    planes[active][c * k_ + r] = PlanarLine(window[r], j, c);
            }
        job.planes = planes[active];
        job.sums = sums[active];
        job.values = values[active];
        ++active;
    }
    for (int begin = 0; begin < width_; begin += pass_.columns)
        for (int i = 0; i < active; ++i) {
            jobs[i].begin = begin;
            jobs[i].end = width_ - begin < pass_.columns ? width_ : begin + pass_.columns;
            RunJob(jobs[i]);
        }
}
