#include "minihost/runtime/held_frame.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "minihost/files/error.h"
#include "minihost/formats/frame_tags.h"
#include "minihost/formats/png_io.h"
#include "minihost/runtime/fault.h"
#include "minihost/runtime/stop.h"
#include "minihost/runtime/stop_moments.h"

namespace {

// PNG or TIFF, by what the file holds rather than its name.
bool ReadImage(const std::string& path, FrameImage* image, TiffFormat* tiff, std::string* error, FrameSize size = {}) {
    TiffFormat unused;
    return IsTiffFile(path) ? ReadTiff(path, image, tiff ? tiff : &unused, error, size)
                            : ReadPng(path, image, error, size);
}

FrameImage Load(const std::string& path, TiffFormat* tiff) {
    FrameImage image;
    std::string error;
    if (!ReadImage(path, &image, tiff, &error)) throw CommandError{error};
    return image;
}

// An ID image must match the frame, which is checked before it is decoded,
// and carry exactly the channel's sample.
FrameImage LoadIds(const IdImage& image, uint32_t width, uint32_t height) {
    const std::string& path = image.path;
    const std::string option = image.option;
    const int bits = image.source->bits;
    FrameImage ids;
    std::string error;
    if (!ReadImage(path, &ids, nullptr, &error, {width, height})) throw CommandError{option + " " + error};
    if (ids.channels != 1 || ids.bitDepth != bits)
        throw CommandError{option + " " + path + ": " + image.source->what + " IDs must be " +
                           (bits == 8 ? "an 8" : "a 16") + "-bit grey " + (IsTiffFile(path) ? "TIFF" : "PNG") +
                           "; this one is " + ImageKind(ids)};
    return ids;
}

// Gives the storage the channel, filled from the decoded IDs (each sample
// already within the channel's width); false when its memory cannot be had.
bool CopyIds(const FrameImage& ids, uint32_t channel, MemoryStorage* storage) {
    if (channel == kObjectChannel) {
        uint16_t* dst = storage->AddObjectChannel();
        if (dst) std::copy(ids.samples.begin(), ids.samples.end(), dst);
        return dst != nullptr;
    }
    uint8_t* dst = storage->AddMaterialChannel();
    if (dst) std::transform(ids.samples.begin(), ids.samples.end(), dst, [](uint16_t v) { return uint8_t(v); });
    return dst != nullptr;
}

}  // namespace

std::string Size(uint32_t width, uint32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

std::unique_ptr<HeldFrame> LoadFrame(const FrameJob& job) {
    auto held = std::make_unique<HeldFrame>();
    FrameImage frame = Load(job.in, &held->tiff);
    if (!IsFrameImage(frame))
        throw CommandError{job.in + ": the frame must be an 8- or 16-bit RGB or RGBA " +
                           (held->tiff.read ? "TIFF" : "PNG") + "; this one is " + ImageKind(frame)};
    const uint32_t width = frame.width, height = frame.height;
    const std::string size = Size(width, height);

    // Memory is what a large frame runs out of in a 32-bit host, so the frame
    // and its IDs are held once each: decoded samples go as soon as they are
    // copied, and an ID image is read only when the filter selects by it.
    held->storage.reset(new MemoryStorage(static_cast<uint16_t>(width), static_cast<uint16_t>(height)));
    MemoryStorage& storage = *held->storage;
    if (!storage.Ok()) throw CommandError{"not enough memory to hold " + job.in + " (" + size + ")"};
    ToHostPixels(frame, storage.Pixels());
    held->meta = std::move(frame.meta);
    const bool tiffOutput = IsTiffName(job.out);
    const std::string refused = job.out.empty() ? "" : AlphaRefusal(held->tiff, job.in, tiffOutput);
    if (!refused.empty()) throw CommandError{refused};
    const std::string unkept = CarryToOutput(held->meta, tiffOutput, &held->tiff);
    if (!unkept.empty()) held->warnings.push_back(job.in + ": " + unkept);
    std::vector<uint16_t>().swap(frame.samples);
    for (const IdImage& image : job.ids) {
        if (!image.source) continue;
        const FrameImage ids = LoadIds(image, width, height);
        const size_t carried = size_t(std::count(ids.samples.begin(), ids.samples.end(), image.wanted));
        const std::string id = std::string(image.source->what) + " ID " + std::to_string(image.wanted);
        held->filtered = std::to_string(carried) + " pixels of " + id;
        // Not an error: in a sequence an object may leave the shot.
        if (carried == 0)
            held->warnings.push_back("no pixel of " + job.in + " carries " + id + " (" + image.option + " " + image.path +
                            "); it is written unfiltered");
        if (!CopyIds(ids, image.source->channel, &storage))
            throw CommandError{std::string("not enough memory for the ") + image.source->what + " IDs of " + job.in +
                               " (" + size + ")"};
    }
    return held;
}

int TimedRender(ImageFilter& filter, MemoryStorage& storage, HWND progress, double* ms) {
    Bitmap bitmap(&storage);
    filter.SetSource(&bitmap);
    storage.linesWritten = 0;
    LARGE_INTEGER t0, t1, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    const int rendered = filter.RenderFrame(progress);
    QueryPerformanceCounter(&t1);
    filter.SetSource(nullptr);
    *ms = 1000.0 * double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
    return rendered;
}

RenderResult RenderHeld(ImageFilter& filter, const FrameJob& job, HeldFrame& held, ProgressWindow& progress,
                        bool alone) {
    MemoryStorage& storage = *held.storage;
    const uint32_t width = storage.Width(), height = storage.Height();
    const std::string size = Size(width, height);
    for (const std::string& warning : held.warnings) {
        progress.EndBar();
        std::fprintf(stderr, "minihost: warning: %s\n", warning.c_str());
    }
    const int linesBefore = progress.LinesSeen();
    const FaultScope scope("the render of " + job.in);
    const int rendered = TimedRender(filter, storage, progress.Handle(), &held.renderMs);
    if (!rendered) throw CommandError{job.in + ": the filter did not render the frame"};
    // The filter gives the frame back line by line, stopped or not; a render
    // that wrote nothing back could not have its working copies, and left the
    // frame as it was.
    if (!alone && storage.linesWritten == 0 && progress.LinesSeen() == linesBefore) return RenderResult::kRetry;
    if (storage.linesWritten < int(height))
        throw CommandError{"not enough memory to filter " + job.in + " (" + size + "); the plug-in left it unfiltered"};
    held.stoppedAt = progress.StoppedAt();
    return held.stoppedAt < 0 ? RenderResult::kDone : RenderResult::kStopped;
}

void WriteHeld(const FrameJob& job, const HeldFrame& held) {
    MemoryStorage& storage = *held.storage;
    // BMM_Color_64 is red, green, blue, alpha in memory: RGBA samples as they stand.
    static_assert(sizeof(BMM_Color_64) == 4 * sizeof(uint16_t), "pixels are four samples");
    const uint16_t* rgba = reinterpret_cast<const uint16_t*>(storage.Pixels());
    AtEncodeStart();
    std::string error;
    const bool written = IsTiffName(job.out)
                             ? WriteTiff16(job.out, storage.Width(), storage.Height(), rgba, held.tiff, &error)
                             : WritePng16(job.out, storage.Width(), storage.Height(), 4, rgba, &error, held.meta);
    if (!written) throw CommandError{error};
}
