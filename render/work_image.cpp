#include "render/work_image.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "render/convolver.h"
#include "render/row_stride.h"

namespace {
// Source lines the largest kernel needs at once, and the output line.
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
    ringBlock_ = std::calloc(kRingLines * lineStride_ + kLine, sizeof(BMM_Color_64));
    if (ringBlock_) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(ringBlock_);
        ring_ = reinterpret_cast<BMM_Color_64*>(at + (64 - at % 64) % 64);
    }
}

WorkImage::~WorkImage() { std::free(ringBlock_); }

size_t WorkImage::RingBytes() const { return ring_ ? kRingLines * lineStride_ * sizeof(BMM_Color_64) : 0; }

void WorkImage::ReadThrough(int32_t last) {
    for (; nextRead_ <= last && nextRead_ < height_; ++nextRead_) {
        BMM_Color_64* line = Slot(nextRead_);
        if (!storage_ || !storage_->ReadLine(0, nextRead_, width_, line))
            std::memset(line, 0, lineStride_ * sizeof(BMM_Color_64));
    }
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
    // Prepared before any line is read: running out of memory here leaves
    // the frame as it was.
    Convolver convolver;
    const bool ready = convolver.Prepare(kernel, width_, height_);
    const int k = kernel.k;
    const int h = ready ? k / 2 : 0;
    slots_ = ready ? k : 1;
    BMM_Color_64* const out = ring_ + size_t(kMaxK) * lineStride_;
    ChannelSelection selection;
    selection.matchId = matchId;
    selection.requested = channelsRequested_;
    selection.material = materialChannel_;
    selection.object = objectChannel_;

    int32_t abortFlag = 0;
    for (int32_t y = 0; y < height_; ++y) {
        ReadThrough(y + h);
        SendMessageA(progressWindow_, kProgressMessage, WPARAM(y), LPARAM(height_ - 1));
        SendMessageA(progressWindow_, kAbortQuery, 0, reinterpret_cast<LPARAM>(&abortFlag));
        if (abortFlag) return 0;
        const BMM_Color_64* done = Slot(y);
        if (ready && convolver.Selects(y, selection)) {
            const BMM_Color_64* lines[kMaxK];
            for (int r = 0; r < k; ++r) {
                const int32_t j = y + r - h;
                lines[r] = j >= 0 && j < height_ ? Slot(j) : nullptr;
            }
            // With every pixel selected the engine writes the whole line.
            if (matchId != -1) std::memcpy(out, done, size_t(width_) * sizeof(BMM_Color_64));
            convolver.FilterFromLines(lines, out, y, selection);
            done = out;
        }
        Put(y, done);
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
