#include <io.h>
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <exception>
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
    std::vector<std::string> inputs;     // frames, or folders of frames
    std::string out, outDir, config;
    std::string objectIds, materialIds;  // one ID image for every frame
    std::string objectIdsDir, materialIdsDir;  // or one per frame, by the frame's file name
    int abortAtLine = -1;
    bool time = false;
    bool Batch() const { return !outDir.empty(); }
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
        else if (a == "--object-ids-dir") r.objectIdsDir = reader.Value(a);
        else if (a == "--material-ids-dir") r.materialIdsDir = reader.Value(a);
        else if (a == "--out-dir") r.outDir = reader.Value(a);
        else if (a == "--abort-at-line") r.abortAtLine = ParseInt32(reader.Value(a), a);
        else if (a == "--time") r.time = true;
        else if (a.size() > 1 && a[0] == '-') throw CommandError{"render: unknown option " + a};
        else files.push_back(a);
    }
    if (!r.objectIds.empty() && !r.objectIdsDir.empty())
        throw CommandError{"render: give --object-ids or --object-ids-dir, not both"};
    if (!r.materialIds.empty() && !r.materialIdsDir.empty())
        throw CommandError{"render: give --material-ids or --material-ids-dir, not both"};
    if (r.Batch()) {
        if (files.empty()) throw CommandError{"render --out-dir needs at least one frame or folder of frames"};
        r.inputs = files;
        return r;
    }
    if (files.size() != 2) throw CommandError{"render needs IN.png and OUT.png, or frames and --out-dir DIR"};
    r.inputs = {files[0]};
    r.out = files[1];
    return r;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
    return dir + "\\" + name;
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsPngName(const std::string& name) {
    return name.size() > 4 && lstrcmpiA(name.c_str() + name.size() - 4, ".png") == 0;
}

// The frames of a batch: files as given, and the PNG files of each folder in
// name order. Two frames of one name would write one output: refused.
std::vector<std::string> ListFrames(const std::vector<std::string>& inputs) {
    std::vector<std::string> frames;
    for (const std::string& input : inputs) {
        if (!IsFolder(input)) {
            frames.push_back(input);
            continue;
        }
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(Join(input, "*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsPngName(found.cFileName))
                    names.push_back(found.cFileName);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        if (names.empty()) throw CommandError{input + ": no PNG frames in this folder"};
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) frames.push_back(Join(input, name));
    }
    for (size_t i = 0; i < frames.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (lstrcmpiA(FileName(frames[i]).c_str(), FileName(frames[j]).c_str()) == 0)
                throw CommandError{frames[j] + " and " + frames[i] + " would both be written as " + FileName(frames[i])};
    return frames;
}

PngImage Load(const std::string& path, PngSize frameSize = {}) {
    PngImage image;
    std::string error;
    if (!ReadPng(path, &image, &error, frameSize)) throw CommandError{error};
    return image;
}

// An ID image must match the frame, which is checked before it is decoded,
// and carry exactly the channel's sample.
PngImage LoadIds(const std::string& path, int bits, const PngImage& frame) {
    PngImage ids = Load(path, {frame.width, frame.height});
    if (ids.channels != 1 || ids.bitDepth != bits)
        throw CommandError{path + ": IDs must be a " + std::to_string(bits) + "-bit grayscale PNG"};
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

// Where one frame comes from and goes to.
struct FrameJob {
    std::string in, out, objectIds, materialIds;
};

// Filters one frame with the filter as configured. Throws CommandError for
// anything wrong with this frame; answers whether the render ran to its end.
// A stopped frame is written alone (what it has), but not in a batch, whose
// output folder holds only whole frames.
bool RenderOne(ImageFilter& filter, const FrameJob& job, ProgressWindow& progress, bool time, bool batch) {
    PngImage frame = Load(job.in);
    if ((frame.channels != 3 && frame.channels != 4) || (frame.bitDepth != 8 && frame.bitDepth != 16))
        throw CommandError{job.in + ": the frame must be an 8- or 16-bit RGB or RGBA PNG"};

    PngImage objectIds, materialIds;
    if (!job.objectIds.empty()) objectIds = LoadIds(job.objectIds, 16, frame);
    if (!job.materialIds.empty()) materialIds = LoadIds(job.materialIds, 8, frame);
    const uint32_t wanted = filter.ChannelsRequired();

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
    if (wanted & kObjectChannel) {
        if (job.objectIds.empty())
            std::fprintf(stderr, "minihost: warning: the filter selects by object ID but no object IDs were given "
                                 "for %s; the frame passes unchanged\n", job.in.c_str());
        else std::copy(objectIds.samples.begin(), objectIds.samples.end(), storage.AddObjectChannel());
        std::vector<uint16_t>().swap(objectIds.samples);
    }
    if (wanted & kMaterialChannel) {
        if (job.materialIds.empty())
            std::fprintf(stderr, "minihost: warning: the filter selects by material ID but no material IDs were "
                                 "given for %s; the frame passes unchanged\n", job.in.c_str());
        else {
            uint8_t* dst = storage.AddMaterialChannel();
            for (size_t i = 0; i < materialIds.samples.size(); ++i) dst[i] = uint8_t(materialIds.samples[i]);
            std::vector<uint16_t>().swap(materialIds.samples);
        }
    }

    Bitmap bitmap(&storage);
    filter.SetSource(&bitmap);
    LARGE_INTEGER t0, t1, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    const int rendered = filter.RenderFrame(progress.Handle());
    QueryPerformanceCounter(&t1);
    filter.SetSource(nullptr);
    if (!rendered) throw CommandError{job.in + ": the filter did not render the frame"};
    const bool complete = progress.StoppedAt() < 0;
    if (!complete && batch) return false;

    // BMM_Color_64 is red, green, blue, alpha in memory: RGBA samples as they stand.
    static_assert(sizeof(BMM_Color_64) == 4 * sizeof(uint16_t), "pixels are four samples");
    std::string error;
    if (!WritePng16(job.out, frame.width, frame.height, 4, reinterpret_cast<const uint16_t*>(storage.Pixels()),
                    &error))
        throw CommandError{error};
    if (time) {
        const double ms = 1000.0 * double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
        if (batch) std::printf("render-ms %.3f %s\n", ms, FileName(job.in).c_str());
        else std::printf("render-ms %.3f\n", ms);
        std::printf("render-path %s\n",
                    EnginePath(filter, frame, !job.objectIds.empty(), !job.materialIds.empty()).c_str());
    }
    return complete;
}

}  // namespace

int RunRender(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    const RenderArgs r = Parse(args);
    const std::vector<std::string> frames = r.Batch() ? ListFrames(r.inputs) : r.inputs;
    if (r.Batch() && !IsFolder(r.outDir) && !CreateDirectoryA(r.outDir.c_str(), nullptr))
        throw CommandError{r.outDir + ": cannot create the output folder"};

    // One filter, configured once, for every frame of the run.
    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    if (!r.config.empty()) LoadConfigFile(*filter, r.config);

    ProgressWindow progress(r.abortAtLine, _isatty(_fileno(stderr)) != 0);
    if (!progress.Ok()) throw CommandError{"cannot create the progress window"};

    if (!r.Batch()) {
        const FrameJob job{r.inputs[0], r.out, r.objectIds, r.materialIds};
        progress.BeginFrame(0, 1);
        if (RenderOne(*filter, job, progress, r.time, false)) return kExitDone;
        std::fprintf(stderr, "minihost: render stopped at line %d; %s holds lines 0 to %d filtered\n",
                     progress.StoppedAt(), r.out.c_str(), progress.StoppedAt() - 1);
        return kExitStopped;
    }

    // A batch: a frame that fails is reported by name and the others still
    // go through; a stop leaves no partial frame, only whole ones.
    // Per-frame ID images are looked for only where the filter selects by them.
    const uint32_t wanted = filter->ChannelsRequired();
    int failed = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string name = FileName(frames[i]);
        FrameJob job{frames[i], Join(r.outDir, name), r.objectIds, r.materialIds};
        if (!r.objectIdsDir.empty() && (wanted & kObjectChannel)) job.objectIds = Join(r.objectIdsDir, name);
        if (!r.materialIdsDir.empty() && (wanted & kMaterialChannel)) job.materialIds = Join(r.materialIdsDir, name);
        progress.BeginFrame(static_cast<int>(i), static_cast<int>(frames.size()));
        auto fail = [&](const char* why) {
            ++failed;
            progress.EndBar();
            std::fprintf(stderr, "minihost: %s: %s\n", name.c_str(), why);
        };
        try {
            if (!RenderOne(*filter, job, progress, r.time, true)) {
                progress.EndBar();
                std::fprintf(stderr,
                             "minihost: render stopped at line %d of %s, which was not written; %d of %d frames "
                             "written\n",
                             progress.StoppedAt(), frames[i].c_str(), static_cast<int>(i) - failed,
                             static_cast<int>(frames.size()));
                return kExitStopped;
            }
        } catch (const CommandError& e) {
            fail(e.message.c_str());
        } catch (const std::exception& e) {
            fail(e.what());
        }
    }
    progress.EndBar();
    if (failed) {
        std::fprintf(stderr, "minihost: %d of %d frames failed\n", failed, static_cast<int>(frames.size()));
        return kExitError;
    }
    return kExitDone;
}
