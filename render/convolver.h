#pragma once
#include <cstdint>
#include <vector>

#include "host/channels.h"
#include "host/color64.h"
#include "render/convolve_plan.h"
#include "render/cache_sizes.h"
#include "render/convolve_budget.h"
#include "render/convolve_reference.h"

struct KernelTraits;

// Which pixels a render filters.
struct ChannelSelection {
    int32_t matchId = -1;                // -1: every pixel
    const uint8_t* material = nullptr;   // channel 2 entries, one unsigned byte per pixel
    const uint16_t* object = nullptr;    // channel 4 entries, one unsigned 16-bit value per pixel
    uint32_t requested = 0;              // channel bits requested; an entry is 0 when its address is null
};

// Instruction sets of the line kernels, lowest first: a level the processor
// lacks falls to the one before it. AVX-VNNI is AVX2 with the dot product
// vpdpwssd; the AVX-512 levels have 512-bit vectors, with pmaddwd or with
// vpdpwssd. kAuto, in ConvolveOptions only, lets ChooseRoute
// (convolve_route.h) pick.
enum class SimdLevel { kNone, kSse2, kAvx2, kAvxVnni, kAvx512Bw, kAvx512Vnni, kAuto };
constexpr SimdLevel kSimdLevels[] = {SimdLevel::kNone,    SimdLevel::kSse2,     SimdLevel::kAvx2,
                                     SimdLevel::kAvxVnni, SimdLevel::kAvx512Bw, SimdLevel::kAvx512Vnni};

// Whether the level is compiled in and this processor runs it.
bool SimdAvailable(SimdLevel level);
// The widest level this processor runs.
SimdLevel BestSimdLevel();

enum class ConvolvePath {
    kReference,    // scalar, int32 sums (no SIMD available)
    kWide,         // scalar, int64 sums: sums could reach 2^53 (or no SIMD)
    kDouble,       // SIMD, double sums: sums could leave int32 but stay below 2^53
    kPlanar,       // SIMD, 16-bit multiply-add over biased planar lines
    kSeparable,    // SIMD, exact integer rank-1 kernel: two 1-D passes
    kSplitPlanar,  // SIMD, planar with weights split in two 16-bit parts: sums beyond int32
    kSeparableStrips,  // SIMD, rank-1 over planar lines too wide for the separable sums: down, then across
};

// Short names of a path and an instruction set, for reports and timings.
const char* PathName(ConvolvePath path);
const char* SimdName(SimdLevel level);

// What a render runs: a path and an instruction set.
struct ConvolveRoute {
    ConvolvePath path = ConvolvePath::kReference;
    SimdLevel simd = SimdLevel::kNone;
};

struct ConvolveOptions {
    SimdLevel simd = SimdLevel::kAuto;  // any other: that level, or the next lower one the processor runs
    bool allowSeparable = true;
    bool allowSplit = true;  // false: sums beyond int32 go to doubles (below 2^53)
    int separableMinK = 7;  // below this the 2-D pass is as fast
    CacheSizes cache;  // sizes other than 0 stand for the processor's (convolve_budget.h)
};

// The 16-bit convolution of one frame, line by line, so the caller can report
// progress and stop between lines.
//
// Usage: Prepare once, then FilterFromLines or FilterFromFrame for the lines
// wanted. Results are bit-identical to ReferencePixel for every path. Only
// selected pixels of the output line are written, each from the source
// neighbours, alpha from the source pixel.
//
// The Convolver keeps O(width x k) scratch: the source lines it has already
// split into planes are reused by the next output lines, by line number. A
// source line must therefore keep its contents from one call to the next,
// until Prepare starts afresh. Single thread.
class Convolver {
public:
    // The ring points into the Convolver's own vectors, so it is never copied.
    Convolver() = default;
    Convolver(const Convolver&) = delete;
    Convolver& operator=(const Convolver&) = delete;

    // False for k not in {3, 5, 7, 9}, a null block or a negative size: then
    // the Filter calls write nothing and the caller leaves the frame unchanged.
    // The block is copied.
    bool Prepare(const KernelArgs& kernel, int width, int height, const ConvolveOptions& options = ConvolveOptions());
    // The same with the kernel's settings given one by one.
    bool Prepare(const int32_t* block, int k, int32_t divide, int32_t offset, int32_t invert, int width,
                 int height, const ConvolveOptions& options = ConvolveOptions()) {
        return Prepare(KernelArgs{block, k, divide, offset, invert}, width, height, options);
    }

    // Output line y into out (width pixels) from its k source lines: lines[r]
    // is frame line y - k/2 + r, null outside the frame. Does nothing when not
    // prepared, for y outside 0..height-1, or null buffers.
    void FilterFromLines(const BMM_Color_64* const* lines, BMM_Color_64* out, int y, const ChannelSelection& sel);
    // Output lines y .. y + count - 1 into outs[0 .. count - 1] from their
    // count + k - 1 source lines, lines[r] being frame line y - k/2 + r: a
    // strip of columns of every such line in turn, so that their source
    // lines stay in cache (PassLines). Lines outside the frame, or with a
    // null output or centre line, are left alone.
    void FilterFromLines(const BMM_Color_64* const* lines, BMM_Color_64* const* outs, int y, int count,
                         const ChannelSelection& sel);
    // The same over whole frames: src the untouched source frame, dst the
    // result frame. A different src pointer starts the line cache afresh; do
    // not mix the two forms without a Prepare between them.
    void FilterFromFrame(const BMM_Color_64* src, BMM_Color_64* dst, int y, const ChannelSelection& sel);
    // Lines y .. y + count - 1 of whole frames, as the line form above.
    void FilterFrameLines(const BMM_Color_64* src, BMM_Color_64* dst, int y, int count, const ChannelSelection& sel);

    // Output lines a call should be given at once for the source lines to
    // stay in the second-level cache: 1 while the ring of k whole lines fits
    // it (convolve_budget.h). Calls with more are taken this many at a time.
    int PassLines() const { return pass_.lines; }

    // Whether output line y has a pixel to write: false when not prepared or
    // y is outside the frame.
    bool Selects(int y, const ChannelSelection& sel) const;

    // Bytes of scratch the prepared Convolver holds.
    size_t ScratchBytes() const;

    // What the choice of path knows of the prepared kernel (convolve_route.h).
    KernelTraits Traits() const;

    ConvolvePath path() const { return path_; }
    SimdLevel simd() const { return simd_; }

private:
    // A kernel's rank-1 factors and 16-bit split, where its weights have them.
    struct KernelFactors {
        int32_t column[kMaxK] = {}, row[kMaxK] = {};
        WeightSplit split;
    };
    KernelTraits Examine(KernelFactors* factors) const;
    void BuildPlan(const KernelFactors& factors);
    void AllocateScratch();
    bool FactorSeparable(int32_t* column, int32_t* row) const;
    void FilterRows(const BMM_Color_64* const* lines, BMM_Color_64* const* outs, int y, int count,
                    const ChannelSelection& sel, const BMM_Color_64* ahead);
    void RunJob(const LineJob& job) const;
    LineSelection SelectionOf(int y, const ChannelSelection& sel) const;
    void FilterScalar(const BMM_Color_64* const* lines, BMM_Color_64* out, const LineSelection& sel) const;
    template <class T, class Fill>
    const T* RingLine(T* ring, size_t stride, const T* outside, const BMM_Color_64* line, int j, int channel,
                      Fill fill);
    const uint16_t* PlanarLine(const BMM_Color_64* line, int j, int channel);
    const int32_t* SumLine(const BMM_Color_64* line, int j, int channel);
    const double* ValueLine(const BMM_Color_64* line, int j, int channel);

    bool prepared_ = false;
    ConvolvePath path_ = ConvolvePath::kReference;
    SimdLevel simd_ = SimdLevel::kNone;
    const SimdKernels* kernels_ = nullptr;
    int k_ = 0, width_ = 0, height_ = 0;
    int32_t block_[kMaxK * kMaxK] = {};
    KernelArgs kernel_{block_, 0, 0, 0, 0};  // its block is block_
    ConvolvePlan plan_;
    CacheSizes cache_;
    PassShape pass_;

    // Scratch: k + PassLines() - 1 cached lines, slot j % slots_ holds source line j.
    const BMM_Color_64* cachedSrc_ = nullptr;  // the frame the frame form last read
    int slots_ = 0;
    std::vector<int> slotLine_;
    size_t planeStride_ = 0;           // elements per flat biased plane line
    size_t ringStride_ = 0;            // planar: elements per line of a ring slot (flat or tiled)
    size_t sumStride_ = 0;             // elements per line of horizontal sums
    std::vector<uint16_t> planes_;     // planar: slots x 3 channels; separable: 3 channels (one line)
    std::vector<uint16_t> blankPlane_; // biased zeros: lines above and below the frame
    uint16_t* ring_ = nullptr;         // planes_ and blankPlane_ from a 64-byte boundary
    uint16_t* blank_ = nullptr;
    std::vector<int32_t> sums_;        // separable: slots x 3 channels
    std::vector<int32_t> zeroSums_;
    std::vector<double> values_;       // double path: slots x 3 channels
    std::vector<double> zeroValues_;
    std::vector<int32_t> stripSums_;   // separable strips: one strip's column sums
    int32_t* strip_ = nullptr;         // stripSums_ from a 64-byte boundary
};
