// The convolution engine against its own scalar reference (ReferenceFrame):
// one frame, kernel and selection from the input, filtered through every
// level this processor runs under each route the input asks for. The first
// pixel that differs stops the run with the route and the pixel named.
//
// Input, read in order (zeros once it ends); a "number" is Pick's form:
//   shape byte: bits 0-1 k = 3, 5, 7, 9; bits 2-3 kernel kind (Kernel);
//     bits 4-5 selection: none, object, material, object with no entries;
//     bit 6 Invert = 1; bit 7 a frame up to 9000 wide instead of 300
//   width (2 bytes), height (1 byte: 1-12), the kernel, Divide, Offset (numbers)
//   selection: ID byte (0: 0, 1: the largest, 2: 16 bits, 3: a number)
//   pixels: style byte (bits 0-1 Channel's, bit 2 a sparse selection), 4-byte
//     seed (pixels and selection)
//   routes, 5 bytes each, one to four: flags (bit 0 separable, bit 1 split,
//     bits 2-3 separableMinK 3/5/7/10, bit 4 the line form with Selects as
//     the render calls it), first- and second-level cache in 24-byte units
//     (2 bytes each, v % 4096; 0: the processor's): 24 v bytes give strips
//     of v columns before rounding, and the separable sums fit up to v / k.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/channels.h"
#include "render/convolve_reference.h"
#include "render/convolver.h"

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

[[noreturn]] void Fail(const ConvolveOptions& o, const Convolver& cv, int k, int w, int h, bool lines, int x,
          int y, const BMM_Color_64& got, const BMM_Color_64& want) {
    std::fprintf(stderr,
                 "convolve_fuzz: %s %s (asked %s, separable %d, split %d, separableMinK %d, l1d %u, l2 %u, "
                 "%s form), %dx%d kernel, %d x %d frame: first wrong pixel (%d, %d): got %u %u %u %u, want %u %u %u %u\n",
                 SimdName(cv.simd()), PathName(cv.path()), SimdName(o.simd), o.allowSeparable, o.allowSplit,
                 o.separableMinK, o.cache.l1d, o.cache.l2, lines ? "line" : "frame", k, k, w, h, x, y, got.r, got.g,
                 got.b, got.a, want.r, want.g, want.b, want.a);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const uint32_t shape = in.Byte();
    const int k = 3 + 2 * (shape & 3);
    const uint32_t rawWidth = in.Bytes(2);
    const int w = 1 + static_cast<int>(shape & 0x80 ? rawWidth % 9000 : rawWidth % 300);
    const int h = 1 + static_cast<int>(in.Byte() % 12);
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

    std::vector<BMM_Color_64> reference(n);
    if (!ReferenceFrame(src.data(), reference.data(), w, h, kernel)) __builtin_trap();
    const BMM_Color_64 untouched{0x1357, 0x2468, 0x9ABC, 0xDEF0};

    // A route that gives a level the same path, level and strips as an
    // earlier one is not run again: the wide frames stay fast.
    std::vector<uint64_t> ran;
    for (int route = 0; route < 4 && (route == 0 || in.left > 0); ++route) {
        const uint32_t flags = in.Byte();
        ConvolveOptions options;
        options.allowSeparable = flags & 1;
        options.allowSplit = flags & 2;
        options.separableMinK = (flags >> 2 & 3) == 3 ? 10 : 3 + 2 * (flags >> 2 & 3);
        options.cache.l1d = 24 * (in.Bytes(2) % 4096);
        options.cache.l2 = 24 * (in.Bytes(2) % 4096);
        const bool lines = flags & 16;
        for (SimdLevel level : kSimdLevels) {
            // The scalar paths are ReferencePixel itself: on the wide frames
            // they would only double the time.
            if (!SimdAvailable(level) || (level == SimdLevel::kNone && w > 300)) continue;
            options.simd = level;
            Convolver cv;
            if (!cv.Prepare(kernel, w, h, options)) __builtin_trap();
            const bool strips = cv.path() == ConvolvePath::kSeparableStrips;
            const uint64_t key = uint64_t(cv.path()) << 60 | uint64_t(cv.simd()) << 56 | uint64_t(lines) << 55 |
                                 (strips ? options.cache.l1d : 0);
            bool seen = false;
            for (uint64_t r : ran) seen = seen || r == key;
            if (seen) continue;
            ran.push_back(key);

            std::vector<BMM_Color_64> out(n, untouched);
            for (int y = 0; y < h; ++y) {
                if (!lines) {
                    cv.FilterFromFrame(src.data(), out.data(), y, sel);
                } else if (cv.Selects(y, sel)) {
                    const BMM_Color_64* rows[kMaxK];
                    for (int r = 0; r < k; ++r) {
                        const int j = y + r - k / 2;
                        rows[r] = j >= 0 && j < h ? src.data() + static_cast<size_t>(j) * w : nullptr;
                    }
                    cv.FilterFromLines(rows, out.data() + static_cast<size_t>(y) * w, y, sel);
                }
            }
            for (size_t i = 0; i < n; ++i) {
                const BMM_Color_64& want = selected(i) ? reference[i] : untouched;
                const BMM_Color_64& got = out[i];
                if (got.r != want.r || got.g != want.g || got.b != want.b || got.a != want.a)
                    Fail(options, cv, k, w, h, lines, static_cast<int>(i % w),
                         static_cast<int>(i / w), got, want);
            }
        }
    }
    return 0;
}
