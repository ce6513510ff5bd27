#pragma once
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "hostlib/host_control.h"

// A batch is almost all PNG: decoding and encoding a frame take many times
// its render. So while the plug-in renders frame i on the batch's own thread,
// frame i + 1 is decoded and frame i - 1 encoded, each on a thread of its
// own. The plug-in sees one thread only, the one that runs the batch, as a
// host calls it: its progress window lives there too.

// A frame as the stages hand it on: its pixels and IDs in the host's storage.
struct HeldFrame {
    std::unique_ptr<MemoryStorage> storage;
    double renderMs = 0;
    std::string filtered = "the whole frame";  // what the render selects, in words
    std::string warning;                       // said on the batch's thread, before the render
    int stoppedAt = -1;                        // line of a stop, -1 when rendered to its end
};

enum class RenderResult {
    kDone,     // rendered to its end
    kStopped,  // stopped part way: not to be written
    kRetry,    // left untouched for want of memory while other frames were held
};

// What a batch does to each frame. decode and encode run on other threads and
// report a failure by throwing; everything else runs on the batch's thread.
struct BatchStages {
    std::function<std::unique_ptr<HeldFrame>(int frame)> decode;
    // alone: no other frame is held, so a frame left untouched is a failure
    // (thrown), not a kRetry.
    std::function<RenderResult(int frame, HeldFrame& held, bool alone)> render;
    std::function<void(int frame, const HeldFrame& held)> encode;
    // In frame order: a frame written whole, or the failure of any stage.
    std::function<void(int frame, const HeldFrame& held)> written;
    std::function<void(int frame, std::exception_ptr why)> failed;
};

struct BatchOutcome {
    int failed = 0;
    int stoppedFrame = -1;  // the frame a stop fell in, not written; -1: none
};

// Runs frames 0 .. count - 1 through the stages. A stop ends the batch once
// the encode of the frame before it has finished, so the outputs are whole
// frames only. A frame that fails while others are held is tried again alone
// before it counts as failed, so that holding three frames at once never
// fails a frame that fits on its own.
BatchOutcome RunBatch(int count, const BatchStages& stages);
