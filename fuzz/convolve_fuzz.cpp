// The convolution engine against its own scalar reference (ReferenceFrame):
// one frame, kernel and selection from the input, filtered under each route
// the input asks for, at the level it names, a line at a time or through
// the render's pass loop (FrameStream). The first pixel that differs stops
// the run with the route and the pixel named.
//
// Input, read in order (zeros once it ends); a "number" is Pick's form:
//   shape byte: bits 0-1 k = 3, 5, 7, 9; bits 2-3 kernel kind (Kernel);
//     bits 4-5 selection: none, object, material, object with no entries;
//     bit 6 Invert = 1; bit 7 a frame up to 300 wide instead of 64, and
//     with the width's top three bits set, up to 9000 wide, one high and
//     under its first route only
//   width (2 bytes), height (1 byte: 1-12, 1-4 beyond 64 wide, 1 for the
//     widest), the kernel, Divide, Offset (numbers)
//   selection: ID byte (0: 0, 1: the largest, 2: 16 bits, 3: a number)
//   pixels: style byte (bits 0-1 Channel's, bit 2 a sparse selection), 4-byte
//     seed (pixels, selection, and the pass loop's stop and failed read)
//   routes, 5 bytes each, one to four: flags (bit 0 separable, bit 1 split,
//     bits 2-3 separableMinK 3/5/7/10, bit 4 the render's pass loop, bit 5
//     its route timed first on early lines), first- and second-level cache
//     in 24-byte units (2 bytes each, v % 4096; 0: the processor's; the
//     first one's top four bits l: the level l % 6 of kSimdLevels, or the
//     nearest below it that this processor runs): 24 v bytes give strips
//     of v columns before rounding, the separable sums fit up to v / k, and
//     the pass loop takes eight lines a pass beyond v / 2 / k bytes a column.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/channels.h"
#include "render/convolve_reference.h"
#include "render/convolver.h"
#include "render/frame_stream.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t left;
    uint32_t Byte() { return left ? (--left, *p++) : 0; }
    uint32_t Bytes(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v |= Byte() << (8 * i);
        return v;
    }
    // Small, an edge, 16 or 32 bits: the edges are where the paths part.
    int32_t Pick() {
        static const int32_t kEdges[] = {0, 1, -1, 2, -2, 32767, -32768, 32768, -32769, 65535, 65536, 46341,
                                         INT32_MAX, INT32_MIN, INT32_MIN + 1, 1 << 30, -(1 << 30), 16777216};
        switch (Byte() % 4) {
        case 0: return static_cast<int8_t>(Byte());
        case 1: return kEdges[Byte() % (sizeof kEdges / sizeof *kEdges)];
        case 2: return static_cast<int16_t>(Bytes(2));
        default: return static_cast<int32_t>(Bytes(4));
        }
    }
};

uint32_t Next(uint32_t& s) {  // xorshift32; the seed is never left 0
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}

// Kinds: small general weights (planar); rank-1 from two factor vectors
// of -32..31, mostly narrow enough for the separable paths; a background
// with up to seven single weights over it (extremes; rank-1 when alone); any
// 32-bit weights (split, double, wide).
std::vector<int32_t> Kernel(Reader& in, int k, int kind) {
    std::vector<int32_t> w(k * k);
    if (kind == 0) {
        for (auto& v : w) v = static_cast<int8_t>(in.Byte());
    } else if (kind == 1) {
        int32_t column[9], row[9];
        for (int i = 0; i < k; ++i) column[i] = static_cast<int8_t>(in.Byte()) / 4;
        for (int i = 0; i < k; ++i) row[i] = static_cast<int8_t>(in.Byte()) / 4;
        for (int r = 0; r < k; ++r)
            for (int c = 0; c < k; ++c) w[r * k + c] = column[r] * row[c];
    } else if (kind == 2) {
        const int32_t background = in.Pick();
        for (auto& v : w) v = background;
        for (uint32_t n = in.Byte() % 8; n > 0; --n) {
            const uint32_t at = in.Byte() % (k * k);
            w[at] = in.Pick();
        }
    } else {
        for (auto& v : w) v = in.Pick();
    }
    return w;
}

uint16_t Channel(uint32_t& s, int style) {
    const uint32_t r = Next(s);
    switch (style) {
    case 0: return static_cast<uint16_t>(r >> 8);
    case 1: return r & 0x100 ? 65535 : 0;
    case 2: return r % 16 ? 65535 : static_cast<uint16_t>(r >> 8);
    default: return r % 4 == 0 ? 0 : r % 4 == 1 ? 65535 : r % 4 == 2 ? (r >> 8) % 64 : static_cast<uint16_t>(r >> 8);
    }
}

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

[[noreturn]] void Fail(const ConvolveOptions& o, const Convolver& cv, int k, int w, int h, const char* form,
                       size_t i, const BMM_Color_64& got, const BMM_Color_64& want) {
    std::fprintf(stderr,
                 "convolve_fuzz: %s %s (asked %s, separable %d, split %d, separableMinK %d, l1d %u, l2 %u, "
                 "%s form, %d lines a pass), %dx%d kernel, %d x %d frame: first wrong pixel (%d, %d): "
                 "got %u %u %u %u, want %u %u %u %u\n",
                 SimdName(cv.simd()), PathName(cv.path()), SimdName(o.simd), o.allowSeparable, o.allowSplit,
                 o.separableMinK, o.cache.l1d, o.cache.l2, form, cv.PassLines(), k, k, w, h,
                 static_cast<int>(i % w), static_cast<int>(i / w), got.r, got.g, got.b, got.a, want.r, want.g,
                 want.b, want.a);
    std::abort();
}

uint64_t CountingClock() {
    static uint64_t ticks;
    return ++ticks;
}

// The host's side of the pass loop over a frame in memory: a stop before
// one line, a failed read of another. Every line is read once, in order;
// asked about once, in order, before it is written and never past the
// frame; written once, in order, and a filtered line only once the lines
// it draws on were read.
class MemoryLines final : public FrameLines {
public:
    MemoryLines(const std::vector<BMM_Color_64>& src, int w, int h, int reach, int stopAt, int failRead)
        : out(src.size()), src_(src), w_(w), h_(h), reach_(reach), stopAt_(stopAt), failRead_(failRead) {}
    bool Read(int32_t y, BMM_Color_64* line) override {
        if (y != nextRead_++ || y >= h_) Broken("read", y);
        if (y == failRead_) return false;
        std::copy_n(src_.begin() + static_cast<size_t>(y) * w_, w_, line);
        return true;
    }
    int Write(int32_t y, const BMM_Color_64* line) override {
        const int drawn = y < stopAt_ ? std::min(h_ - 1, y + reach_) : y;
        if (y != nextWrite_++ || y >= h_ || nextRead_ <= drawn) Broken("write", y);
        std::copy_n(line, w_, out.begin() + static_cast<size_t>(y) * w_);
        return 1;
    }
    bool Stop(int32_t y) override {
        if (y != nextAsk_++ || y >= h_ || y < nextWrite_ || y > stopAt_) Broken("question", y);
        return y == stopAt_;
    }
    void Finished() const {
        if (nextRead_ != h_ || nextWrite_ != h_ || nextAsk_ != std::min(stopAt_ + 1, h_)) Broken("end", h_);
    }
    [[noreturn]] void Broken(const char* what, int y) const {
        std::fprintf(stderr, "convolve_fuzz: pass loop, %d x %d frame, stop at %d, read %d fails: %s of line %d "
                     "out of order (read %d, asked %d, written %d)\n", w_, h_, stopAt_, failRead_, what, y,
                     nextRead_, nextAsk_, nextWrite_);
        std::abort();
    }
    std::vector<BMM_Color_64> out;

private:
    const std::vector<BMM_Color_64>& src_;
    int w_, h_, reach_, stopAt_, failRead_;
    int nextRead_ = 0, nextAsk_ = 0, nextWrite_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const uint32_t shape = in.Byte();
    const int k = 3 + 2 * (shape & 3);
    // Most frames small, for thousands of shapes a second; the wide ones,
    // which reach the processor's own cache edges, rarely and short.
    const uint32_t rawWidth = in.Bytes(2);
    const bool wide = shape & 0x80 && rawWidth >> 13 == 7;
    const int w = 1 + static_cast<int>(rawWidth % (wide ? 9000 : shape & 0x80 ? 300 : 64));
    const uint32_t rawHeight = in.Byte();
    const int h = wide ? 1 : 1 + static_cast<int>(rawHeight % (w > 64 ? 4 : 12));
    const std::vector<int32_t> block = Kernel(in, k, shape >> 2 & 3);
    const int32_t divide = in.Pick(), offset = in.Pick();
    const KernelArgs kernel{block.data(), k, divide, offset, shape & 0x40 ? 1 : 0};

    const int selection = shape >> 4 & 3;
    const int32_t largest = selection == 2 ? 255 : 65535;
    const uint32_t idKind = in.Byte() % 4;
    const int32_t id = idKind == 0 ? 0 : idKind == 1 ? largest : idKind == 2 ? static_cast<int32_t>(in.Bytes(2)) & largest : in.Pick();
    const uint32_t style = in.Byte();
    const bool sparse = style & 4;
    uint32_t seed = in.Bytes(4) | 1;

    const size_t n = static_cast<size_t>(w) * h;
    std::vector<BMM_Color_64> src(n);
    for (auto& p : src) p = {Channel(seed, style % 4), Channel(seed, style % 4), Channel(seed, style % 4), static_cast<uint16_t>(Next(seed))};
    // Runs of 1 to 48 pixels, in and out of the selection, cross every block
    // edge; the sparse form selects at most two pixels a line, each at a
    // multiple of 8 or just before one, the only ones a block or line holds.
    std::vector<uint16_t> entries(n);
    bool match = Next(seed) & 1;
    for (size_t i = 0; i < n;) {
        const uint32_t run = 1 + Next(seed) % 48;
        for (uint32_t j = 0; j < run && i < n; ++j, ++i)
            entries[i] = static_cast<uint16_t>(match && !sparse ? id : id ^ (1 << Next(seed) % (selection == 2 ? 8 : 16)));
        match = !match;
    }
    for (int y = 0; sparse && y < h; ++y)
        for (uint32_t c = Next(seed) % 3; c > 0; --c) {
            const uint32_t r = Next(seed);
            const int x = 8 * static_cast<int>(r % (w / 8 + 1)) - static_cast<int>(r >> 16 & 1);
            if (x >= 0 && x < w) entries[static_cast<size_t>(y) * w + x] = static_cast<uint16_t>(id);
        }
    std::vector<uint8_t> material(entries.begin(), entries.end());
    ChannelSelection sel;
    if (selection != 0) {
        sel.matchId = id;
        sel.requested = selection == 2 ? kMaterialChannel : kObjectChannel;
        if (selection == 1) sel.object = entries.data();
        if (selection == 2) sel.material = material.data();
    }
    auto selected = [&](size_t i) {
        return sel.matchId == -1 || (selection == 3 ? 0 : selection == 2 ? material[i] : entries[i]) == sel.matchId;
    };

    // The pass loop stops before one line and fails the read of another,
    // or of none (a line past the frame's end).
    const int stopAt = static_cast<int>(Next(seed) % (2 * h));
    const int failRead = static_cast<int>(Next(seed) % (2 * h));
    // The reference of the frame and of the frame as the pass loop reads it
    // (a failed read gives zeros), each made when first wanted.
    std::vector<BMM_Color_64> read = src;
    if (failRead < h) std::fill_n(read.begin() + static_cast<size_t>(failRead) * w, w, BMM_Color_64{});
    std::vector<BMM_Color_64> references[2];
    auto reference = [&](bool ofRead) -> const std::vector<BMM_Color_64>& {
        std::vector<BMM_Color_64>& r = references[ofRead && failRead < h];
        if (r.empty()) {
            r.resize(n);
            if (!ReferenceFrame(ofRead ? read.data() : src.data(), r.data(), w, h, kernel)) __builtin_trap();
        }
        return r;
    };
    const BMM_Color_64 untouched{0x1357, 0x2468, 0x9ABC, 0xDEF0};

    // A route that gives the same path, level, passes and strips as an
    // earlier one is not run again.
    std::vector<uint64_t> ran;
    for (int route = 0; route < (wide ? 1 : 4) && (route == 0 || in.left > 0); ++route) {
        const uint32_t flags = in.Byte();
        ConvolveOptions options;
        options.allowSeparable = flags & 1;
        options.allowSplit = flags & 2;
        options.separableMinK = (flags >> 2 & 3) == 3 ? 10 : 3 + 2 * (flags >> 2 & 3);
        const uint32_t l1d = in.Bytes(2);
        options.cache.l1d = 24 * (l1d % 4096);
        options.cache.l2 = 24 * (in.Bytes(2) % 4096);
        // One level a route: the input's, or the nearest below it that runs.
        SimdLevel only = SimdLevel::kNone;
        for (uint32_t i = 0; i <= (l1d >> 12) % 6; ++i)
            if (SimdAvailable(kSimdLevels[i])) only = kSimdLevels[i];
        const bool passes = flags & 16, timed = flags & 32;
        // The scalar paths are ReferencePixel itself: on the wide frames
        // they would only double the time.
        if (only == SimdLevel::kNone && w > 300) continue;
        options.simd = only;
        Convolver cv;
        if (!cv.Prepare(kernel, w, h, options)) __builtin_trap();
        const bool strips = cv.path() == ConvolvePath::kSeparableStrips;
        const uint64_t key = uint64_t(cv.path()) << 60 | uint64_t(cv.simd()) << 56 | uint64_t(passes) << 55 |
                             uint64_t(cv.PassLines()) << 48 | (strips ? options.cache.l1d : 0);
        bool seen = false;
        for (uint64_t r : ran) seen = seen || r == key;
        if (seen) continue;
        ran.push_back(key);

        if (!passes) {
            std::vector<BMM_Color_64> out(n, untouched);
            for (int y = 0; y < h; ++y) cv.FilterFromFrame(src.data(), out.data(), y, sel);
            const std::vector<BMM_Color_64>& want = reference(false);
            for (size_t i = 0; i < n; ++i)
                if (!Same(out[i], selected(i) ? want[i] : untouched))
                    Fail(options, cv, k, w, h, "frame", i, out[i], selected(i) ? want[i] : untouched);
            continue;
        }
        MemoryLines frame(src, w, h, k / 2, stopAt, failRead);
        {
            FrameStream stream(frame, w, h);
            if (!stream.Valid()) __builtin_trap();
            RouteMemo memo;
            if (timed) stream.TimeRoute(kernel, &CountingClock, memo);
            if (stream.Convolve(kernel, options, sel) != (stopAt < h ? 0 : 1)) frame.Broken("answer", stopAt);
            stream.WriteBack();
        }
        frame.Finished();
        const std::vector<BMM_Color_64>& want = reference(true);
        for (size_t i = 0; i < n; ++i) {
            const bool filtered = static_cast<int>(i / w) < stopAt && selected(i);
            if (!Same(frame.out[i], filtered ? want[i] : read[i]))
                Fail(options, cv, k, w, h, "pass loop", i, frame.out[i], filtered ? want[i] : read[i]);
        }
    }
    return 0;
}
