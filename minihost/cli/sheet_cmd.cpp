// minihost sheet FRAME.png OUT.png [--crop X,Y,W,H | --detail]: every kernel
// of the library applied to one frame through the plug-in, as render applies
// it, drawn beside the frame itself as a grid of labelled tiles, so that a
// person can choose by looking.
//
// Layout: the region drawn (the whole frame, or the one --crop or --detail
// names) is shrunk by the smallest whole factor that brings it within
// kMaxTile (each tile pixel the mean of a factor x factor block). The
// original comes first, then the kernels in file order, kSheetColumns tiles a
// row, each under a label of up to kLabelLines lines, with kGap pixels around
// and between the cells. A cell is at least kMinLabelChars glyphs wide, so
// that a small frame's labels still read.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/files/paths.h"
#include "minihost/formats/bitmap_font.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/formats/kernel_text.h"
#include "minihost/formats/png_io.h"
#include "minihost/runtime/held_frame.h"
#include "minihost/runtime/progress_window.h"
#include "minihost/runtime/stop.h"
#include "params/kernel_params.h"

namespace {

constexpr int kMaxTileWidth = 320, kMaxTileHeight = 240;
constexpr int kMinTileSide = 4;  // a tile narrower or lower shows nothing to compare
constexpr int kSheetColumns = 4;
constexpr int kLabelLines = 2;
constexpr int kLineHeight = kGlyphHeight + 2;
constexpr int kLabelTop = 3;  // from the cell's top to the first line's glyphs
constexpr int kMinLabelChars = 22;
constexpr int kGap = 8;
// A sheet of a library of any size stays a picture that viewers open.
constexpr int kMaxSheetHeight = 8192;
constexpr int kDetailBlock = 8;  // --detail weighs the frame's detail in blocks of this side
constexpr uint8_t kBackground[3] = {48, 48, 48};
constexpr uint8_t kInk[3] = {235, 235, 235};

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

uint8_t To8(uint64_t v16) { return uint8_t((v16 * 255 + 32767) / 65535); }

struct Region {
    int x = 0, y = 0, w = 0, h = 0;
};

struct SheetArgs {
    std::string in, out;
    bool detail = false;
    bool crop = false;
    Region region;  // of --crop
};

Region ParseCrop(const std::string& text) {
    int v[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 3) != (comma != std::string::npos))
            throw CommandError{"--crop: give X,Y,W,H (four numbers: the region's left, top, width and height), not '" +
                               text + "'"};
        v[i] = ParseInt32(text.substr(start, comma - start), "--crop");
        start = comma + 1;
    }
    if (v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1)
        throw CommandError{"--crop: " + text + ": X and Y start at 0, W and H at 1"};
    return {v[0], v[1], v[2], v[3]};
}

SheetArgs ParseSheetArgs(const std::vector<std::string>& args) {
    SheetArgs s;
    const ParsedArgs parsed(args, {{"--crop", "X,Y,W,H"}, {"--detail", nullptr}}, "sheet");
    const std::vector<std::string>& files = parsed.Words();
    s.detail = parsed.Has("--detail");
    s.crop = parsed.Has("--crop");
    if (s.crop) s.region = ParseCrop(parsed.Value("--crop"));
    if (files.size() != 2) throw CommandError{"sheet needs FRAME.png and OUT.png"};
    if (s.crop && s.detail) throw CommandError{"sheet: give --crop X,Y,W,H or --detail, not both"};
    s.in = files[0];
    s.out = files[1];
    if (IsFolder(s.out) || (!s.out.empty() && (s.out.back() == '/' || s.out.back() == '\\')))
        throw CommandError{"sheet: " + s.out + " names a folder; give OUT.png a file name"};
    return s;
}

// Where the frame changes most from pixel to pixel: the region of w x h
// (on the grid of kDetailBlock) whose sum of steps between neighbours is
// largest; the first of equals, from the top left.
Region MostDetailedRegion(const BMM_Color_64* px, int width, int height, int w, int h) {
    const int bw = CeilDiv(width, kDetailBlock), bh = CeilDiv(height, kDetailBlock);
    auto grey = [&](int x, int y) {
        const BMM_Color_64& c = px[size_t(y) * width + x];
        return int(c.r + 2 * c.g + c.b) >> 6;
    };
    // Summed over blocks, then over the rectangles of blocks from the top left.
    std::vector<uint64_t> sums(size_t(bw + 1) * (bh + 1), 0);
    for (int y = 0; y + 1 < height; ++y)
        for (int x = 0; x + 1 < width; ++x) {
            const int g = grey(x, y);
            sums[size_t(y / kDetailBlock + 1) * (bw + 1) + x / kDetailBlock + 1] +=
                uint64_t(std::abs(grey(x + 1, y) - g) + std::abs(grey(x, y + 1) - g));
        }
    for (int by = 1; by <= bh; ++by)
        for (int bx = 1; bx <= bw; ++bx)
            sums[size_t(by) * (bw + 1) + bx] += sums[size_t(by - 1) * (bw + 1) + bx] +
                                               sums[size_t(by) * (bw + 1) + bx - 1] -
                                               sums[size_t(by - 1) * (bw + 1) + bx - 1];
    auto at = [&](int bx, int by) { return sums[size_t(by) * (bw + 1) + bx]; };
    const int spanX = std::max(1, w / kDetailBlock), spanY = std::max(1, h / kDetailBlock);
    Region best{0, 0, w, h};
    uint64_t most = 0;
    for (int by = 0; by + spanY <= bh; ++by)
        for (int bx = 0; bx + spanX <= bw; ++bx) {
            const uint64_t detail = at(bx + spanX, by + spanY) - at(bx, by + spanY) - at(bx + spanX, by) + at(bx, by);
            if (detail <= most) continue;
            most = detail;
            best.x = std::min(bx * kDetailBlock, width - w);
            best.y = std::min(by * kDetailBlock, height - h);
        }
    return best;
}

Region RegionToDraw(const SheetArgs& s, const BMM_Color_64* px, int width, int height) {
    if (s.detail)
        return MostDetailedRegion(px, width, height, std::min(width, kMaxTileWidth), std::min(height, kMaxTileHeight));
    if (!s.crop) return {0, 0, width, height};
    const Region& r = s.region;
    if (int64_t(r.x) + r.w > width || int64_t(r.y) + r.h > height)
        throw CommandError{"--crop: the region " + Size(r.w, r.h) + " at " + std::to_string(r.x) + "," +
                           std::to_string(r.y) + " reaches beyond " + s.in + " (" + Size(width, height) + ")"};
    return r;
}

struct Layout {
    int factor, tileW, tileH;
    int tiles, columns, rows, cellW, cellH, labelH;
    int sheetW, sheetH;
    size_t perLine;  // glyphs a label line holds
};

// Each kernel's label, as many lines as it needs up to kLabelLines; labels
// that would still read alike (a name saved twice, or long names that differ
// only in the middle) get the entry's place in the library before the name.
std::vector<std::vector<std::string>> Labels(const std::vector<NamedKernel>& kernels, size_t count,
                                             size_t perLine) {
    std::vector<std::vector<std::string>> labels(count);
    for (size_t n = 0; n < count; ++n) labels[n] = WrapLabel(Printable(kernels[n].name), perLine, kLabelLines);
    std::vector<bool> alike(count, false);
    for (size_t n = 0; n < count; ++n)
        for (size_t m = n + 1; m < count; ++m)
            if (labels[m] == labels[n]) alike[n] = alike[m] = true;
    for (size_t n = 0; n < count; ++n)
        if (alike[n])
            labels[n] = WrapLabel(std::to_string(n + 1) + ": " + Printable(kernels[n].name), perLine, kLabelLines);
    return labels;
}

// The tiles' size, and the cells' width, for the region drawn.
Layout TileLayout(const SheetArgs& s, const Region& region) {
    Layout l;
    l.factor = std::max({1, CeilDiv(region.w, kMaxTileWidth), CeilDiv(region.h, kMaxTileHeight)});
    l.tileW = region.w / l.factor;
    l.tileH = region.h / l.factor;
    const std::string what = "sheet: " + s.in + " (" + (s.crop ? "the region " : "") + Size(region.w, region.h) + ")";
    const std::string least = " pixels, and each side needs at least " + std::to_string(kMinTileSide);
    // A long, thin frame is not small: shrunk to fit, its short side vanishes.
    if ((l.tileW < kMinTileSide || l.tileH < kMinTileSide) && l.factor > 1)
        throw CommandError{what + " is too long and thin to draw: shrunk " + std::to_string(l.factor) +
                           " times to fit a tile of " + Size(kMaxTileWidth, kMaxTileHeight) + ", it would be " +
                           Size(l.tileW, l.tileH) + least + "; draw a region of it with --crop X,Y,W,H"};
    if (l.tileW < kMinTileSide || l.tileH < kMinTileSide)
        throw CommandError{what + " is too small to draw: its tiles would be " + Size(l.tileW, l.tileH) + least};
    const int contentW = std::max(l.tileW, kMinLabelChars * kGlyphAdvance - 1);
    l.perLine = size_t((contentW + 1) / kGlyphAdvance);
    l.cellW = contentW + kGap;
    return l;
}

// How many of the library's kernels the sheet draws: beside the original, as
// many as kMaxSheetHeight holds, with a note when that is not all.
size_t KernelsThatFit(const Layout& l, size_t kernels) {
    const int tallest = kLabelTop + kLabelLines * kLineHeight + l.tileH + kGap;
    const size_t room = size_t((kMaxSheetHeight - kGap) / tallest) * kSheetColumns - 1;
    if (kernels <= room) return kernels;
    std::fprintf(stderr,
                 "minihost: note: %s holds %zu kernels; the sheet draws the first %zu, as many as a sheet of %d "
                 "pixels' height holds at this size (--crop a smaller region for more)\n",
                 KernelLibraryPath().c_str(), kernels, room, kMaxSheetHeight);
    return room;
}

// The cells' height, from the labels' lines, and the sheet's size.
void SheetLayout(const std::vector<std::vector<std::string>>& labels, Layout* l) {
    size_t lines = 1;
    for (const auto& label : labels) lines = std::max(lines, label.size());
    l->labelH = kLabelTop + int(lines) * kLineHeight;
    l->cellH = l->labelH + l->tileH + kGap;
    l->tiles = int(labels.size()) + 1;
    l->columns = std::min(l->tiles, kSheetColumns);
    l->rows = CeilDiv(l->tiles, l->columns);
    l->sheetW = kGap + l->columns * l->cellW;
    l->sheetH = kGap + l->rows * l->cellH;
}

void DrawTile(const BMM_Color_64* px, int width, const Region& r, const Layout& l, int x0, int y0,
              std::vector<uint8_t>* sheet) {
    // A tall frame shrinks by up to 274 a side: 75,076 samples of 65535
    // overflow 32 bits.
    const uint64_t area = uint64_t(l.factor) * l.factor;
    for (int ty = 0; ty < l.tileH; ++ty)
        for (int tx = 0; tx < l.tileW; ++tx) {
            uint64_t sum[3] = {0, 0, 0};
            for (int dy = 0; dy < l.factor; ++dy)
                for (int dx = 0; dx < l.factor; ++dx) {
                    const BMM_Color_64& c = px[size_t(r.y + ty * l.factor + dy) * width + r.x + tx * l.factor + dx];
                    sum[0] += c.r;
                    sum[1] += c.g;
                    sum[2] += c.b;
                }
            uint8_t* dst = &(*sheet)[(size_t(y0 + ty) * l.sheetW + x0 + tx) * 3];
            for (int c = 0; c < 3; ++c) dst[c] = To8((sum[c] + area / 2) / area);
        }
}

void DrawCaption(const std::vector<std::string>& lines, const Layout& l, int x0, int y0, std::vector<uint8_t>* sheet) {
    for (size_t i = 0; i < lines.size(); ++i)
        DrawLabel(sheet, l.sheetW, l.sheetH, x0, y0 + kLabelTop + int(i) * kLineHeight, lines[i], kInk);
}

}  // namespace

int RunSheet(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    const SheetArgs s = ParseSheetArgs(args);
    OutputGuard guard = HostGuard("sheet");
    guard.Keep(s.in, "frame");
    guard.Check(s.out, kPngOutput);
    if (!IsPngName(s.out))
        throw CommandError{"sheet: " + s.out + ": a sheet is an 8-bit PNG; give the output a name ending in .png"};

    const std::vector<NamedKernel> kernels = ReadKernelLibrary();
    if (kernels.empty()) throw CommandError{KernelLibraryPath() + " holds no kernels to draw"};

    FrameJob job;
    job.in = s.in;
    const std::unique_ptr<HeldFrame> held = LoadFrame(job);
    MemoryStorage& storage = *held->storage;
    const int width = storage.Width(), height = storage.Height();
    const std::vector<BMM_Color_64> original(storage.Pixels(), storage.Pixels() + size_t(width) * height);
    const Region region = RegionToDraw(s, original.data(), width, height);

    Layout l = TileLayout(s, region);
    const size_t count = KernelsThatFit(l, kernels.size());
    EntryWarnings warnings;
    for (size_t n = 0; n < count; ++n) warnings.Check(kernels[n], n);
    warnings.Finish();
    const std::vector<std::vector<std::string>> labels = Labels(kernels, count, l.perLine);
    SheetLayout(labels, &l);

    std::vector<uint8_t> sheet;
    try {
        sheet.resize(size_t(l.sheetW) * l.sheetH * 3);
    } catch (const std::bad_alloc&) {
        throw CommandError{"not enough memory for a sheet of " + Size(l.sheetW, l.sheetH) + " pixels"};
    }
    for (size_t i = 0; i < sheet.size(); ++i) sheet[i] = kBackground[i % 3];

    std::string failure;
    ImageFilterPtr filter(plugin.CreateFilter(&failure));
    if (!filter) throw CommandError{failure};
    ProgressWindow progress(-1, false);
    if (!progress.Ok()) throw CommandError{"cannot create the progress window"};

    const std::string at = " at " + std::to_string(region.x) + "," + std::to_string(region.y);
    const std::string what = s.crop || s.detail ? "Original" + at : "Original";
    for (int n = 0; n < l.tiles; ++n) {
        const int x0 = kGap + (n % l.columns) * l.cellW, y0 = kGap + (n / l.columns) * l.cellH;
        if (n == 0) {
            DrawTile(original.data(), width, region, l, x0, y0 + l.labelH, &sheet);
            DrawCaption(WrapLabel(what, l.perLine, kLabelLines), l, x0, y0, &sheet);
            continue;
        }
        // The configuration the dialog would make on picking the kernel, for
        // the whole frame: a tile of a region is that region of the render.
        KernelParams p = DefaultParams();
        TakeKernel(kernels[n - 1], &p);
        if (!filter->LoadConfigure(&p))
            throw CommandError{"the plug-in refused the configuration of " + Printable(kernels[n - 1].name)};
        std::copy(original.begin(), original.end(), storage.Pixels());
        if (RenderHeld(*filter, job, *held, progress, true) == RenderResult::kStopped) throw Stopped{};
        DrawTile(storage.Pixels(), width, region, l, x0, y0 + l.labelH, &sheet);
        DrawCaption(labels[n - 1], l, x0, y0, &sheet);
    }

    std::string error;
    StopPoint();
    if (!WritePng8(s.out, uint32_t(l.sheetW), uint32_t(l.sheetH), 3, sheet, &error)) throw CommandError{error};
    const std::string drawn = s.crop || s.detail ? ", each of the region " + Size(region.w, region.h) + at : "";
    std::printf("wrote %s, %llu bytes: the original and %zu kernels on %s%s, %d x %d tiles of %s\n", s.out.c_str(),
                (unsigned long long)FileSize(s.out), count, FileName(s.in).c_str(), drawn.c_str(), l.columns,
                l.rows, Size(l.tileW, l.tileH).c_str());
    return kExitDone;
}
