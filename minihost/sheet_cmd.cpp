// minihost sheet FRAME.png OUT.png: every kernel of the library applied to
// one frame through the plug-in, as render applies it, drawn as a grid of
// labelled thumbnails, so that a person can choose by looking.
//
// Layout: the frame is shrunk by the smallest whole factor that brings it
// within kMaxTile (each thumbnail pixel the mean of a factor x factor block),
// kSheetColumns thumbnails a row in file order, each under a label strip of
// kLabelHeight pixels, with kGap pixels around and between the cells.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hostlib/host_control.h"
#include "minihost/bitmap_font.h"
#include "minihost/commands.h"
#include "minihost/kernel_library.h"
#include "minihost/kernel_text.h"
#include "minihost/paths.h"
#include "minihost/png_io.h"
#include "minihost/progress.h"
#include "params/kernel_params.h"

namespace {

constexpr int kMaxTileWidth = 320, kMaxTileHeight = 240;
constexpr int kSheetColumns = 4;
constexpr int kLabelHeight = 12;
constexpr int kGap = 8;
constexpr uint8_t kBackground[3] = {48, 48, 48};
constexpr uint8_t kInk[3] = {235, 235, 235};

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

uint8_t To8(uint32_t v16) { return uint8_t((v16 * 255 + 32767) / 65535); }

}  // namespace

int RunSheet(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a.size() > 1 && a[0] == '-') throw CommandError{"sheet: unknown option " + a};
        files.push_back(a);
    }
    if (files.size() != 2) throw CommandError{"sheet needs FRAME.png and OUT.png"};
    const std::string &in = files[0], &out = files[1];
    if (IsFolder(out) || out.back() == '/' || out.back() == '\\')
        throw CommandError{"sheet: " + out + " names a folder; give OUT.png a file name"};
    FileId inId, outId, libraryId;
    if (IdentifyFile(out, &outId) == Identity::kFound) {
        if (IdentifyFile(in, &inId) == Identity::kFound && inId == outId)
            throw CommandError{"sheet: writing " + out + " would replace the frame " + in + "; choose another output"};
        if (IdentifyFile(KernelLibraryPath(), &libraryId) == Identity::kFound && libraryId == outId)
            throw CommandError{"sheet: writing " + out + " would replace the kernel library " + KernelLibraryPath() +
                               "; choose another output"};
    }

    const std::vector<NamedKernel> kernels = ReadKernelLibrary();
    if (kernels.empty()) throw CommandError{KernelLibraryPath() + " holds no kernels to draw"};
    for (size_t i = 0; i < kernels.size(); ++i) {
        const std::string warning = EntryWarning(kernels[i], i);
        if (!warning.empty()) std::fprintf(stderr, "minihost: warning: %s\n", warning.c_str());
    }

    PngImage frame;
    std::string error;
    if (!ReadPng(in, &frame, &error)) throw CommandError{error};
    if (!IsFrameImage(frame))
        throw CommandError{in + ": the frame must be an 8- or 16-bit RGB or RGBA PNG"};
    const int width = int(frame.width), height = int(frame.height);
    std::vector<BMM_Color_64> original(size_t(width) * height);
    ToHostPixels(frame, original.data());
    std::vector<uint16_t>().swap(frame.samples);

    const int factor = std::max({1, CeilDiv(width, kMaxTileWidth), CeilDiv(height, kMaxTileHeight)});
    const int tileW = width / factor, tileH = height / factor;
    const int count = int(kernels.size());
    const int columns = std::min(count, kSheetColumns), rows = CeilDiv(count, columns);
    const int cellW = tileW + kGap, cellH = kLabelHeight + tileH + kGap;
    const int sheetW = kGap + columns * cellW, sheetH = kGap + rows * cellH;
    std::vector<uint8_t> sheet(size_t(sheetW) * sheetH * 3);
    for (size_t i = 0; i < sheet.size(); ++i) sheet[i] = kBackground[i % 3];

    std::string failure;
    ImageFilterPtr filter(plugin.CreateFilter(&failure));
    if (!filter) throw CommandError{failure};
    ProgressWindow progress(-1, false);
    if (!progress.Ok()) throw CommandError{"cannot create the progress window"};
    MemoryStorage storage(static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    if (!storage.Ok()) throw CommandError{"not enough memory to hold " + in};
    Bitmap bitmap(&storage);

    for (int n = 0; n < count; ++n) {
        // The configuration the dialog would make on picking the kernel,
        // for the whole frame.
        KernelParams p = DefaultParams();
        TakeKernel(kernels[n], &p);
        const std::string& name = kernels[n].name;
        if (!filter->LoadConfigure(&p)) throw CommandError{"the plug-in refused the configuration of " + name};
        std::copy(original.begin(), original.end(), storage.Pixels());
        storage.linesWritten = 0;
        filter->SetSource(&bitmap);
        const int rendered = filter->RenderFrame(progress.Handle());
        filter->SetSource(nullptr);
        if (!rendered || storage.linesWritten < height)
            throw CommandError{"not enough memory to filter " + in + " with '" + Printable(name) + "'"};

        const int x0 = kGap + (n % columns) * cellW, y0 = kGap + (n / columns) * cellH;
        const BMM_Color_64* px = storage.Pixels();
        for (int ty = 0; ty < tileH; ++ty)
            for (int tx = 0; tx < tileW; ++tx) {
                uint32_t sum[3] = {0, 0, 0};
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx) {
                        const BMM_Color_64& c = px[size_t(ty * factor + dy) * width + tx * factor + dx];
                        sum[0] += c.r;
                        sum[1] += c.g;
                        sum[2] += c.b;
                    }
                const uint32_t area = uint32_t(factor) * factor;
                uint8_t* dst = &sheet[(size_t(y0 + kLabelHeight + ty) * sheetW + x0 + tx) * 3];
                for (int c = 0; c < 3; ++c) dst[c] = To8((sum[c] + area / 2) / area);
            }
        // The label is cut to the tile's width; ".." says that it was.
        std::string label = Printable(name);
        const size_t fits = size_t(std::max(1, (tileW + 1) / kGlyphAdvance));
        if (label.size() > fits) label = label.substr(0, fits > 2 ? fits - 2 : 0) + "..";
        DrawLabel(&sheet, sheetW, sheetH, x0, y0 + (kLabelHeight - kGlyphHeight) / 2 + 1, label, kInk);
    }

    if (!WritePng8(out, uint32_t(sheetW), uint32_t(sheetH), 3, sheet, &error)) throw CommandError{error};
    std::printf("wrote %s, %llu bytes: %d kernels on %s, %d x %d thumbnails of %d x %d\n", out.c_str(),
                (unsigned long long)FileSize(out), count, FileName(in).c_str(), columns, rows, tileW,
                tileH);
    return kExitDone;
}
