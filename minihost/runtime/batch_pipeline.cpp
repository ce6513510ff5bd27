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

// One batch's frames in flight: the one decoded ahead and the one encoding,
// each with the thread working on it.
class Pipeline {
public:
    Pipeline(int count, const BatchStages& stages) : count_(count), stages_(stages) {}
    BatchOutcome Run();

private:
    std::unique_ptr<HeldFrame> TakeDecoded(int frame, std::exception_ptr* why);
    std::unique_ptr<HeldFrame> DecodeAlone(int frame, std::exception_ptr* why);
    bool Render(int frame, HeldFrame& held, RenderResult* result);
    void DecodeAhead(int frame);
    void DropAhead();
    void StartEncode(int frame, std::unique_ptr<HeldFrame> held);
    void FinishEncode();
    void Fail(int frame, std::exception_ptr why);

    const int count_;
    const BatchStages& stages_;
    BatchOutcome outcome_;
    // Declared before the jobs, so that they outlive the threads using them.
    std::unique_ptr<HeldFrame> ahead_, encoding_;
    int aheadFrame_ = -1, encodingFrame_ = -1;
    Job decoder_, encoder_;
};

BatchOutcome Pipeline::Run() {
    DecodeAhead(0);
    for (int i = 0; i < count_; ++i) {
        std::exception_ptr why;
        std::unique_ptr<HeldFrame> frame = TakeDecoded(i, &why);
        if (why) {
            FinishEncode();
            Fail(i, why);
            DecodeAhead(i + 1);
            continue;
        }
        DecodeAhead(i + 1);
        RenderResult result;
        if (!Render(i, *frame, &result)) continue;
        FinishEncode();
        if (result == RenderResult::kStopped) {
            DropAhead();
            outcome_.stoppedFrame = i;
            return outcome_;
        }
        StartEncode(i, std::move(frame));
    }
    FinishEncode();
    return outcome_;
}

// The frame as decoded ahead, or decoded here when it was not; *why is set
// when it could not be.
std::unique_ptr<HeldFrame> Pipeline::TakeDecoded(int frame, std::exception_ptr* why) {
    if (aheadFrame_ != frame) return DecodeAlone(frame, why);
    *why = decoder_.Wait();
    aheadFrame_ = -1;
    // Failed while the frames before it were held: tried again alone.
    if (*why && frame > 0) return DecodeAlone(frame, why);
    return std::move(ahead_);
}

// With no other frame held: the one encoding is finished first.
std::unique_ptr<HeldFrame> Pipeline::DecodeAlone(int frame, std::exception_ptr* why) {
    FinishEncode();
    *why = nullptr;
    try {
        return stages_.decode(frame);
    } catch (...) {
        *why = std::current_exception();
    }
    return nullptr;
}

// False when the render threw; that frame is then told as failed. A frame
// the render could not take beside the others is rendered again alone.
bool Pipeline::Render(int frame, HeldFrame& held, RenderResult* result) {
    try {
        *result = stages_.render(frame, held, false);
        if (*result == RenderResult::kRetry) {
            FinishEncode();
            DropAhead();
            *result = stages_.render(frame, held, true);
        }
    } catch (...) {
        FinishEncode();
        Fail(frame, std::current_exception());
        return false;
    }
    return true;
}

void Pipeline::DecodeAhead(int frame) {
    if (frame >= count_) return;
    aheadFrame_ = frame;
    decoder_.Start([this, frame] { ahead_ = stages_.decode(frame); });
}

void Pipeline::DropAhead() {
    decoder_.Wait();
    ahead_.reset();
    aheadFrame_ = -1;
}

void Pipeline::StartEncode(int frame, std::unique_ptr<HeldFrame> held) {
    encoding_ = std::move(held);
    encodingFrame_ = frame;
    encoder_.Start([this, frame] { stages_.encode(frame, *encoding_); });
}

// Each frame's outcome is told after the one before it.
void Pipeline::FinishEncode() {
    if (encodingFrame_ < 0) return;
    if (std::exception_ptr why = encoder_.Wait()) Fail(encodingFrame_, why);
    else {
        stages_.written(encodingFrame_, *encoding_);
        ToldCommitted();
    }
    encoding_.reset();
    encodingFrame_ = -1;
}

// After a stop, a frame that did not make it is one the stop dropped (its
// commit refused), not a failure of its own.
void Pipeline::Fail(int frame, std::exception_ptr why) {
    if (StopRequested()) return;
    ++outcome_.failed;
    stages_.failed(frame, why);
}

}  // namespace

BatchOutcome RunBatch(int count, const BatchStages& stages) {
    CountToldFiles();
    return Pipeline(count, stages).Run();
}
