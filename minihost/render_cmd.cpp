#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "hostlib/host_control.h"
#include "minihost/args.h"
#include "minihost/config_file.h"
#include "minihost/png_io.h"
#include "minihost/progress.h"
#include "plugin/kernel_params.h"
#include "render/convolver.h"

namespace {

struct RenderArgs {
    std::string in, out, config, objectIds, materialIds;
    int abortAtLine = -1;
    bool time = false;
};

RenderArgs Parse(const std::vector<std::string>& args) {
    RenderArgs r;
    std::vector<std::string> files;
    ArgReader reader(args);
    while (!reader.Done()) {
        const std::string a = reader.Next();
        if (a == "--config") r.config = reader.Value(a);
        else if (a == "--object-ids") r.objectIds = reader.Value(a);
        else if (a == "--material-ids") r.materialIds = reader.Value(a);
        else if (a == "--abort-at-line") r.abortAtLine = ParseInt32(reader.Value(a), a);
        else if (a == "--time") r.time = true;
        else if (a.size() > 1 && a[0] == '-') throw CommandError{"render: unknown option " + a};
        else files.push_back(a);
    }
    if (files.size() != 2) throw CommandError{"render needs IN.png and OUT.png"};
    r.in = files[0];
    r.out = files[1];
    return r;
}

PngImage Load(const std::string& path) {
    PngImage image;
    std::string error;
    if (!ReadPng(path, &image, &error)) throw CommandError{error};
    return image;
}

// An ID image must match the frame and carry exactly the channel's sample.
PngImage LoadIds(const std::string& path, int bits, const PngImage& frame) {
    PngImage ids = Load(path);
    if (ids.channels != 1 || ids.bitDepth != bits)
        throw CommandError{path + ": IDs must be a " + std::to_string(bits) + "-bit grayscale PNG"};
    if (ids.width != frame.width || ids.height != frame.height)
        throw CommandError{path + ": " + std::to_string(ids.width) + "x" + std::to_string(ids.height) +
                           " does not match the frame's " + std::to_string(frame.width) + "x" +
                           std::to_string(frame.height)};
    return ids;
}

// Which path and instruction set VLM.FLT's engine takes for the filter's
// configuration on this processor. minihost holds the same engine, compiled
// from the same sources with the same flags, so its detection and choice are
// the plug-in's; the plug-in itself keeps no record of a render.
std::string EnginePath(ImageFilter& filter, const PngImage& frame, bool hasObjectIds, bool hasMaterialIds) {
    KernelParams p;
    if (filter.EvaluateConfigure() != sizeof p || !filter.SaveConfigure(&p)) return "unknown";
    const bool convolves = p.source == kSourceWhole || (p.source == kSourceObject && hasObjectIds) ||
                           (p.source == kSourceMaterial && hasMaterialIds);
    if (!convolves || !IsKernelSize(p.kernel.kernelSize)) return "none (nothing to convolve)";
    int32_t block[kGridCells];
    ExtractKernel(p.kernel.weights, p.kernel.kernelSize, block);
    Convolver engine;
    if (!engine.Prepare(block, p.kernel.kernelSize, p.kernel.divide, p.kernel.offset, p.kernel.invert, frame.width,
                        frame.height))
        return "none (nothing to convolve)";
    return std::string(PathName(engine.path())) + ", " + SimdName(engine.simd());
}

}  // namespace

int RunRender(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    const RenderArgs r = Parse(args);
    PngImage frame = Load(r.in);
    if ((frame.channels != 3 && frame.channels != 4) || (frame.bitDepth != 8 && frame.bitDepth != 16))
        throw CommandError{r.in + ": the frame must be an 8- or 16-bit RGB or RGBA PNG"};

    std::string error;
    std::unique_ptr<ImageFilter> filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    if (!r.config.empty()) LoadConfigFile(*filter, r.config);

    PngImage objectIds, materialIds;
    if (!r.objectIds.empty()) objectIds = LoadIds(r.objectIds, 16, frame);
    if (!r.materialIds.empty()) materialIds = LoadIds(r.materialIds, 8, frame);

    MemoryStorage storage(static_cast<uint16_t>(frame.width), static_cast<uint16_t>(frame.height));
    // 8-bit samples scale by 257 so that 255 becomes 65535; a missing alpha is opaque.
    const int scale = frame.bitDepth == 8 ? 257 : 1;
    BMM_Color_64* px = storage.Pixels();
    for (size_t i = 0; i < size_t(frame.width) * frame.height; ++i) {
        const uint16_t* s = &frame.samples[i * frame.channels];
        px[i] = {uint16_t(s[0] * scale), uint16_t(s[1] * scale), uint16_t(s[2] * scale),
                 uint16_t(frame.channels == 4 ? s[3] * scale : 65535)};
    }
    // The decoded samples are not needed again; the render wants the room.
    std::vector<uint16_t>().swap(frame.samples);
    const uint32_t wanted = filter->ChannelsRequired();
    if (wanted & BMM_CHAN_NODE_ID) {
        if (r.objectIds.empty())
            std::fprintf(stderr, "minihost: warning: the filter selects by object ID but no --object-ids was given; "
                                 "the frame passes unchanged\n");
        else std::copy(objectIds.samples.begin(), objectIds.samples.end(), storage.AddObjectChannel());
        std::vector<uint16_t>().swap(objectIds.samples);
    }
    if (wanted & BMM_CHAN_MTL_ID) {
        if (r.materialIds.empty())
            std::fprintf(stderr, "minihost: warning: the filter selects by material ID but no --material-ids was "
                                 "given; the frame passes unchanged\n");
        else {
            uint8_t* dst = storage.AddMaterialChannel();
            for (size_t i = 0; i < materialIds.samples.size(); ++i) dst[i] = uint8_t(materialIds.samples[i]);
            std::vector<uint16_t>().swap(materialIds.samples);
        }
    }

    Bitmap bitmap(&storage);
    filter->SetSource(&bitmap);
    ProgressWindow progress(r.abortAtLine, _isatty(_fileno(stderr)) != 0);
    if (!progress.Ok()) throw CommandError{"cannot create the progress window"};
    LARGE_INTEGER t0, t1, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    const int rendered = filter->RenderFrame(progress.Handle());
    QueryPerformanceCounter(&t1);
    filter->SetSource(nullptr);
    if (!rendered) throw CommandError{"the filter did not render the frame"};

    // BMM_Color_64 is red, green, blue, alpha in memory: RGBA samples as they stand.
    static_assert(sizeof(BMM_Color_64) == 4 * sizeof(uint16_t), "pixels are four samples");
    if (!WritePng16(r.out, frame.width, frame.height, 4, reinterpret_cast<const uint16_t*>(storage.Pixels()), &error))
        throw CommandError{error};
    if (r.time) {
        std::printf("render-ms %.3f\n", 1000.0 * double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart));
        std::printf("render-path %s\n", EnginePath(*filter, frame, !r.objectIds.empty(), !r.materialIds.empty()).c_str());
    }
    if (progress.StoppedAt() >= 0) {
        std::fprintf(stderr, "minihost: render stopped at line %d; %s holds lines 0 to %d filtered\n",
                     progress.StoppedAt(), r.out.c_str(), progress.StoppedAt() - 1);
        return kExitStopped;
    }
    return 0;
}
