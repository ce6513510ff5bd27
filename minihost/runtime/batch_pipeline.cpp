#include "minihost/runtime/batch_pipeline.h"

#include <thread>
#include <utility>

#include "minihost/files/commit_gate.h"
#include "minihost/runtime/stop.h"

namespace {

// One piece of work on a thread of its own; Wait gives back what it threw.
class Job {
public:
    template <class Work>
    void Start(Work work) {
        Wait();
        thread_ = std::thread([this, work] {
            try {
                work();
            } catch (...) {
                thrown_ = std::current_exception();
            }
        });
    }
    std::exception_ptr Wait() {
        if (thread_.joinable()) thread_.join();
        return std::exchange(thrown_, nullptr);
    }
    ~Job() { Wait(); }

private:
    std::thread thread_;
    std::exception_ptr thrown_;
};

}  // namespace

BatchOutcome RunBatch(int count, const BatchStages& stages) {
    BatchOutcome outcome;
    CountToldFiles();
    // Declared before the jobs, so that they outlive the threads using them.
    std::unique_ptr<HeldFrame> ahead, encoding;
    int aheadFrame = -1, encodingFrame = -1;
    Job decoder, encoder;

    auto decodeAhead = [&](int frame) {
        if (frame >= count) return;
        aheadFrame = frame;
        decoder.Start([&stages, &ahead, frame] { ahead = stages.decode(frame); });
    };
    auto dropAhead = [&] {
        decoder.Wait();
        ahead.reset();
        aheadFrame = -1;
    };
    // After a stop, a frame that did not make it is one the stop dropped
    // (its commit refused), not a failure of its own.
    auto fail = [&](int frame, std::exception_ptr why) {
        if (StopRequested()) return;
        ++outcome.failed;
        stages.failed(frame, why);
    };
    // Each frame's outcome is told after the one before it.
    auto finishEncode = [&] {
        if (encodingFrame < 0) return;
        if (std::exception_ptr why = encoder.Wait()) fail(encodingFrame, why);
        else {
            stages.written(encodingFrame, *encoding);
            ToldCommitted();
        }
        encoding.reset();
        encodingFrame = -1;
    };

    decodeAhead(0);
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<HeldFrame> frame;
        std::exception_ptr why;
        const bool decoded = aheadFrame == i;
        if (decoded) {
            why = decoder.Wait();
            frame = std::move(ahead);
            aheadFrame = -1;
        }
        // Not decoded ahead, or failed while the frames before it were held.
        if (!decoded || (why && i > 0)) {
            finishEncode();
            why = nullptr;
            try {
                frame = stages.decode(i);
            } catch (...) {
                why = std::current_exception();
            }
        }
        if (why) {
            finishEncode();
            fail(i, why);
            decodeAhead(i + 1);
            continue;
        }

        decodeAhead(i + 1);
        RenderResult result;
        try {
            result = stages.render(i, *frame, false);
            if (result == RenderResult::kRetry) {
                finishEncode();
                dropAhead();
                result = stages.render(i, *frame, true);
            }
        } catch (...) {
            finishEncode();
            fail(i, std::current_exception());
            continue;
        }
        finishEncode();
        if (result == RenderResult::kStopped) {
            dropAhead();
            outcome.stoppedFrame = i;
            return outcome;
        }
        encoding = std::move(frame);
        encodingFrame = i;
        encoder.Start([&stages, &encoding, i] { stages.encode(i, *encoding); });
    }
    finishEncode();
    return outcome;
}
