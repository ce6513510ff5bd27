#pragma once
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "minihost/runtime/held_frame.h"

// A batch is almost all PNG: decoding and encoding a frame take many times
// its render. So while the plug-in renders frame i on the batch's own thread,
// frame i + 1 is decoded and frame i - 1 encoded, each on a thread of its
// own. The plug-in sees one thread only, the one that runs the batch, as a
// host calls it: its progress window lives there too.

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
// frames only; after a Ctrl-C the frames in flight are dropped, uncounted,
// since the commit gate refuses them. A frame that fails while others are held is tried again alone
// before it counts as failed, so that holding three frames at once never
// fails a frame that fits on its own.
BatchOutcome RunBatch(int count, const BatchStages& stages);
