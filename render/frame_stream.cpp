#include "render/frame_stream.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>

#include "render/row_stride.h"

namespace {
// Lines start on 64 bytes, spread over the caches' sets (row_stride.h).
constexpr size_t kLinePixels = 64 / sizeof(BMM_Color_64);
}  // namespace

FrameStream::FrameStream(FrameLines& host, int32_t width, int32_t height)
    : host_(host), width_(width > 0 ? width : 0), height_(height > 0 ? height : 0) {
    // Widths are at most 65535, so the ring is at most 5 MB. An empty frame
    // gets one-pixel lines, so its lines go through like any other.
    lineStride_ = SpreadRowElements(width_ > 0 ? size_t(width_) : 1, sizeof(BMM_Color_64), kLinePixels);
    Reserve(kFirstRingLines);
}

FrameStream::~FrameStream() { std::free(ringBlock_); }

bool FrameStream::Reserve(int32_t lines) {
    if (lines <= ringLines_) return true;
    void* block = std::calloc(size_t(lines) * lineStride_ + kLinePixels, sizeof(BMM_Color_64));
    if (!block) return false;
    std::free(ringBlock_);
    ringBlock_ = block;
    ringLines_ = lines;
    const uintptr_t at = reinterpret_cast<uintptr_t>(ringBlock_);
    ring_ = reinterpret_cast<BMM_Color_64*>(at + (64 - at % 64) % 64);
    return true;
}

size_t FrameStream::RingBytes() const {
    return ring_ ? size_t(ringLines_) * lineStride_ * sizeof(BMM_Color_64) : 0;
}

BMM_Color_64* FrameStream::Source(int32_t line) {
    assert(line >= 0 && plan_.sources <= ringLines_);
    return ring_ + size_t(line % plan_.sources) * lineStride_;
}

BMM_Color_64* FrameStream::Output(int32_t i) {
    assert(i >= 0 && i < plan_.pass && plan_.sources + i < ringLines_);
    return ring_ + size_t(plan_.sources + i) * lineStride_;
}

void FrameStream::ReadThrough(int32_t last) {
    for (; nextRead_ <= last && nextRead_ < height_; ++nextRead_) {
        BMM_Color_64* line = Source(nextRead_);
        if (size_t(nextRead_) < early_.size()) {
            // Read already, for the timing of the routes: each line is read once.
            std::vector<BMM_Color_64>& early = early_[nextRead_];
            if (early.empty())
                std::memset(line, 0, lineStride_ * sizeof(BMM_Color_64));
            else
                std::memcpy(line, early.data(), size_t(width_) * sizeof(BMM_Color_64));
            std::vector<BMM_Color_64>().swap(early);
        } else if (!host_.Read(nextRead_, line)) {
            std::memset(line, 0, lineStride_ * sizeof(BMM_Color_64));
        }
    }
}

const BMM_Color_64* FrameStream::EarlyLine(int32_t j) {
    if (j != int32_t(early_.size()) || j >= height_) return nullptr;
    early_.emplace_back(size_t(width_ > 0 ? width_ : 1));
    std::vector<BMM_Color_64>& line = early_.back();
    if (!host_.Read(j, line.data())) {
        std::vector<BMM_Color_64>().swap(line);  // a failed read: zeros, as ReadThrough gives
        return nullptr;
    }
    return line.data();
}

int FrameStream::Put(int32_t line, const BMM_Color_64* pixels) {
    nextWrite_ = line + 1;
    return host_.Write(line, pixels);
}

FrameRoute FrameStream::TimeRoute(const KernelArgs& kernel, TickClock clock, RouteMemo& memo) {
    if (!Valid() || nextRead_ != 0 || height_ <= 0) return FrameRoute();
    try {
        return RouteForFrame(kernel, width_, height_, [this](int j) { return EarlyLine(j); }, clock, memo);
    } catch (const std::bad_alloc&) {
        return FrameRoute();
    }
}

int FrameStream::Convolve(const KernelArgs& kernel, const ConvolveOptions& options,
                          const ChannelSelection& selection) {
    if (!Valid() || nextRead_ != 0 || height_ <= 0) return 1;
    // Prepared before any line is written: running out of memory here
    // leaves the frame as it was.
    Convolver convolver;
    const bool ready = convolver.Prepare(kernel, width_, height_, options);
    const int k = ready ? kernel.k : 0;
    // Without the room for a pass of several lines, one line at a time
    // gives the same pixels.
    PassPlan plan = PlanPasses(k, ready ? convolver.PassLines() : 1);
    if (!Reserve(plan.lines)) plan = PlanPasses(k, 1);
    plan_ = plan;
    for (int32_t first = 0; first < height_; first += plan_.pass) {
        bool stop = false;
        const int32_t count = StartPass(first, &stop);
        bool filtered[kMaxPassLines] = {};
        if (ready && count > 0) FilterPass(convolver, first, count, selection, filtered);
        for (int32_t i = 0; i < count; ++i) Put(first + i, filtered[i] ? Output(i) : Source(first + i));
        if (stop) return 0;
    }
    return 1;
}

int32_t FrameStream::StartPass(int32_t first, bool* stop) {
    // Each line's messages come before it is touched; a stop leaves it and
    // the lines after it as they were.
    int32_t count = 0;
    for (; count < plan_.pass && first + count < height_; ++count) {
        ReadThrough(first + count + plan_.reach);
        if (host_.Stop(first + count)) {
            *stop = true;
            break;
        }
    }
    return count;
}

void FrameStream::FilterPass(Convolver& convolver, int32_t first, int32_t count, const ChannelSelection& selection,
                             bool* filtered) {
    const BMM_Color_64* lines[kMaxK + kMaxPassLines - 1];
    for (int32_t r = 0; r < count + 2 * plan_.reach; ++r) {
        const int32_t j = first + r - plan_.reach;
        lines[r] = j >= 0 && j < height_ ? Source(j) : nullptr;
    }
    BMM_Color_64* targets[kMaxPassLines];
    for (int32_t i = 0; i < count; ++i) {
        filtered[i] = convolver.Selects(first + i, selection);
        targets[i] = filtered[i] ? Output(i) : nullptr;
        // With every pixel selected the engine writes the whole line.
        if (filtered[i] && selection.matchId != -1)
            std::memcpy(Output(i), Source(first + i), size_t(width_) * sizeof(BMM_Color_64));
    }
    convolver.FilterFromLines(lines, targets, first, count, selection);
}

int FrameStream::WriteBack() {
    int answer = 0;
    if (!Valid()) return answer;
    for (int32_t y = nextWrite_; y < height_; ++y) {
        ReadThrough(y);
        answer = Put(y, Source(y));
    }
    return answer;
}
