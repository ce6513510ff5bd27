#include "render/work_image.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "render/convolver.h"
#include "render/route_timing.h"
#include "render/row_stride.h"
#include "render/tick_clock.h"

namespace {
// Source lines the largest kernel needs at once, and the output line; a
// render whose passes take several lines widens it (Reserve).
constexpr int32_t kRingLines = kMaxK + 1;
}  // namespace

WorkImage::WorkImage(HWND progressWindow, Bitmap* bitmap) : progressWindow_(progressWindow), bitmap_(bitmap) {
    storage_ = bitmap_ ? bitmap_->Storage() : nullptr;
    if (storage_) {
        width_ = storage_->Width();
        height_ = storage_->Height();
    }
    // Widths are at most 65535, so the ring is at most 5 MB. An empty frame
    // gets one-pixel lines, so its lines go through like any other. Lines
    // start on 64 bytes, spread over the caches' sets (row_stride.h).
    constexpr size_t kLine = 64 / sizeof(BMM_Color_64);
    lineStride_ = SpreadRowElements(width_ > 0 ? size_t(width_) : 1, sizeof(BMM_Color_64), kLine);
    Reserve(kRingLines);
}

WorkImage::~WorkImage() { std::free(ringBlock_); }

bool WorkImage::Reserve(int32_t lines) {
    if (lines <= ringLines_) return true;
    constexpr size_t kLine = 64 / sizeof(BMM_Color_64);
    void* block = std::calloc(size_t(lines) * lineStride_ + kLine, sizeof(BMM_Color_64));
    if (!block) return false;
    std::free(ringBlock_);
    ringBlock_ = block;
    ringLines_ = lines;
    const uintptr_t at = reinterpret_cast<uintptr_t>(ringBlock_);
    ring_ = reinterpret_cast<BMM_Color_64*>(at + (64 - at % 64) % 64);
    return true;
}

size_t WorkImage::RingBytes() const { return ring_ ? size_t(ringLines_) * lineStride_ * sizeof(BMM_Color_64) : 0; }

void WorkImage::ReadThrough(int32_t last) {
    for (; nextRead_ <= last && nextRead_ < height_; ++nextRead_) {
        BMM_Color_64* line = Slot(nextRead_);
        if (size_t(nextRead_) < early_.size()) {
            // Read already, for the timing of the routes: each line is read once.
            std::vector<BMM_Color_64>& early = early_[nextRead_];
            if (early.empty())
                std::memset(line, 0, lineStride_ * sizeof(BMM_Color_64));
            else
                std::memcpy(line, early.data(), size_t(width_) * sizeof(BMM_Color_64));
            std::vector<BMM_Color_64>().swap(early);
        } else if (!storage_ || !storage_->ReadLine(0, nextRead_, width_, line)) {
            std::memset(line, 0, lineStride_ * sizeof(BMM_Color_64));
        }
    }
}

const BMM_Color_64* WorkImage::EarlyLine(int32_t j) {
    if (j != int32_t(early_.size()) || j >= height_) return nullptr;
    early_.emplace_back(size_t(width_ > 0 ? width_ : 1));
    std::vector<BMM_Color_64>& line = early_.back();
    if (!storage_ || !storage_->ReadLine(0, j, width_, line.data())) {
        std::vector<BMM_Color_64>().swap(line);  // a failed read: zeros, as ReadThrough gives
        return nullptr;
    }
    return line.data();
}

int WorkImage::Put(int32_t line, const BMM_Color_64* pixels) {
    nextWrite_ = line + 1;
    return bitmap_->PutPixels(0, line, width_, pixels);
}

uint32_t WorkImage::RequestChannel(uint32_t channel) {
    channelsRequested_ |= channel;
    uint32_t type = 0;
    void* address = storage_ ? storage_->ChannelArray(channel, &type) : nullptr;
    if (channel == kMaterialChannel) {
        materialChannel_ = static_cast<uint8_t*>(address);
        return materialChannel_ != nullptr;
    }
    if (channel == kObjectChannel) {
        objectChannel_ = static_cast<uint16_t*>(address);
        return objectChannel_ != nullptr;
    }
    return 0;
}

int WorkImage::Convolve(int32_t matchId, const KernelArgs& kernel) {
    if (!Valid() || nextRead_ != 0 || height_ <= 0) return 1;
    // Chosen and prepared before any line is written: running out of memory
    // here leaves the frame as it was. The route is timed on the frame's
    // first lines once for each kind of kernel and width, then remembered
    // (route_timing.h); without the memory to time it, the table's.
    FrameRoute route;
    try {
        route = RouteForFrame(kernel, width_, height_, [this](int j) { return EarlyLine(j); }, &TimeStampTicks,
                              ModuleRouteMemo());
    } catch (const std::bad_alloc&) {
        route = FrameRoute();
    }
    Convolver convolver;
    const bool ready = convolver.Prepare(kernel, width_, height_, route.options);
    const int k = kernel.k;
    const int h = ready ? k / 2 : 0;
    // A pass of several lines needs their source lines and outputs at once;
    // without the room for them, one line at a time gives the same pixels.
    int32_t pass = ready ? convolver.PassLines() : 1;
    if (pass > 1 && !Reserve(k + 2 * pass - 1)) pass = 1;
    slots_ = ready ? k + pass - 1 : 1;
    BMM_Color_64* outs[kMaxPassLines];
    for (int32_t i = 0; i < pass; ++i) outs[i] = ring_ + size_t(slots_ + i) * lineStride_;
    ChannelSelection selection;
    selection.matchId = matchId;
    selection.requested = channelsRequested_;
    selection.material = materialChannel_;
    selection.object = objectChannel_;

    int32_t abortFlag = 0;
    for (int32_t first = 0; first < height_; first += pass) {
        // Each line's messages come before it is touched; a stop leaves it
        // and the lines after it as they were.
        int32_t count = 0;
        bool stop = false;
        for (; count < pass && first + count < height_; ++count) {
            const int32_t y = first + count;
            ReadThrough(y + h);
            SendMessageA(progressWindow_, kProgressMessage, WPARAM(y), LPARAM(height_ - 1));
            SendMessageA(progressWindow_, kAbortQuery, 0, reinterpret_cast<LPARAM>(&abortFlag));
            if (abortFlag) {
                stop = true;
                break;
            }
        }
        bool filtered[kMaxPassLines] = {};
        if (ready && count > 0) {
            const BMM_Color_64* lines[kMaxK + kMaxPassLines - 1];
            for (int32_t r = 0; r < count + k - 1; ++r) {
                const int32_t j = first + r - h;
                lines[r] = j >= 0 && j < height_ ? Slot(j) : nullptr;
            }
            BMM_Color_64* targets[kMaxPassLines];
            for (int32_t i = 0; i < count; ++i) {
                filtered[i] = convolver.Selects(first + i, selection);
                targets[i] = filtered[i] ? outs[i] : nullptr;
                // With every pixel selected the engine writes the whole line.
                if (filtered[i] && matchId != -1)
                    std::memcpy(outs[i], Slot(first + i), size_t(width_) * sizeof(BMM_Color_64));
            }
            convolver.FilterFromLines(lines, targets, first, count, selection);
        }
        for (int32_t i = 0; i < count; ++i) Put(first + i, filtered[i] ? outs[i] : Slot(first + i));
        if (stop) return 0;
    }
    return 1;
}

int WorkImage::WriteBack() {
    int answer = 0;
    if (!Valid()) return answer;
    for (int32_t y = nextWrite_; y < height_; ++y) {
        ReadThrough(y);
        answer = Put(y, Slot(y));
    }
    return answer;
}
