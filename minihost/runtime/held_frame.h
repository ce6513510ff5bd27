#pragma once
// One frame's way through the host: its files decoded into the host's
// storage, rendered through the filter, written. render, sheet and the
// bench all take it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/image_filter.h"
#include "hostlib/host_control.h"
#include "minihost/formats/png_io.h"
#include "minihost/formats/tiff_io.h"
#include "minihost/runtime/progress_window.h"

// One of the two ID channels a configuration can select by.
struct IdChannel {
    const char* what;  // "object" or "material"
    uint32_t channel;  // kObjectChannel or kMaterialChannel
    int bits;          // the grey sample an ID image must have
};

// An ID image one frame takes, and the option that named it.
struct IdImage {
    const IdChannel* source = nullptr;  // null: the configuration does not select by this channel
    std::string path;
    const char* option = nullptr;
    int32_t wanted = 0;  // the ID the configuration selects
};

// Where one frame comes from and goes to.
struct FrameJob {
    std::string in, out;
    IdImage ids[2];  // object, material
};

// A frame as the stages hand it on: its pixels and IDs in the host's storage.
struct HeldFrame {
    std::unique_ptr<MemoryStorage> storage;
    FrameMetadata meta;  // what the frame's file carries, which its output keeps
    TiffFormat tiff;     // a TIFF frame's layout and tags, which a TIFF output keeps
    double renderMs = 0;
    std::string filtered = "the whole frame";  // what the render selects, in words
    std::vector<std::string> warnings;         // said on the batch's thread, before the render
    int stoppedAt = -1;                        // line of a stop, -1 when rendered to its end
};

enum class RenderResult {
    kDone,     // rendered to its end
    kStopped,  // stopped part way: not to be written
    kRetry,    // left untouched for want of memory while other frames were held
};

// Decodes a frame and its IDs into the host's storage. Throws CommandError
// for anything wrong with this frame. Any thread: the plug-in is not called.
std::unique_ptr<HeldFrame> LoadFrame(const FrameJob& job);

// The filter's RenderFrame on the storage as it stands, timed; answers what
// RenderFrame answered.
int TimedRender(ImageFilter& filter, MemoryStorage& storage, HWND progress, double* ms);

// Filters a held frame with the filter as configured, on the thread that
// owns the progress window. Throws CommandError for anything wrong with this
// frame. alone: no other frame is held, so a frame the plug-in could not
// filter is a failure rather than worth another try.
RenderResult RenderHeld(ImageFilter& filter, const FrameJob& job, HeldFrame& held, ProgressWindow& progress,
                        bool alone);

// Writes the held pixels to job.out: a 16-bit TIFF when its name ends in .tif
// or .tiff, else a 16-bit RGBA PNG. Throws CommandError.
void WriteHeld(const FrameJob& job, const HeldFrame& held);

std::string Size(uint32_t width, uint32_t height);
