#include "render/work_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "render/convolver.h"

namespace {
// Whether one copy of width x height x 8 bytes can be addressed at all; the
// sum is taken in 64 bits so it cannot wrap on a 32-bit build.
bool CopyFits(int32_t width, int32_t height) {
    return uint64_t(uint32_t(width)) * uint32_t(height) * sizeof(BMM_Color_64) <= SIZE_MAX / 2;
}
}  // namespace

WorkImage::WorkImage(HWND progressWindow, Bitmap* bitmap) : progressWindow_(progressWindow), bitmap_(bitmap) {
    BitmapStorage* storage = bitmap_ ? bitmap_->Storage() : nullptr;
    if (storage) {
        width_ = storage->Width();
        height_ = storage->Height();
    }
    if (CopyFits(width_, height_)) {
        // An empty frame gets one-pixel buffers, so its lines go through like
        // any other. Both copies are had before either is filled, so a frame
        // that does not fit costs no host calls.
        const size_t pixels = std::max<size_t>(size_t(width_) * size_t(height_), 1);
        result_ = static_cast<BMM_Color_64*>(std::calloc(pixels, sizeof(BMM_Color_64)));
        source_ = result_ ? static_cast<BMM_Color_64*>(std::calloc(pixels, sizeof(BMM_Color_64))) : nullptr;
    }
    if (!Valid()) {
        std::free(result_);
        std::free(source_);
        result_ = source_ = nullptr;
        return;
    }
    CopyPixels(result_);
    CopyPixels(source_);
}

WorkImage::~WorkImage() {
    std::free(source_);
    std::free(result_);
}

BMM_Color_64* WorkImage::CopyPixels(BMM_Color_64* buffer) {
    BitmapStorage* storage = bitmap_ ? bitmap_->Storage() : nullptr;
    if (!storage) return buffer;
    for (int32_t y = 0; y < height_; ++y) storage->ReadLine(0, y, width_, buffer + size_t(y) * width_);
    return buffer;
}

uint32_t WorkImage::RequestChannel(uint32_t channel) {
    channelsRequested_ |= channel;
    BitmapStorage* storage = bitmap_ ? bitmap_->Storage() : nullptr;
    uint32_t type = 0;
    void* address = storage ? storage->ChannelArray(channel, &type) : nullptr;
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

int WorkImage::Convolve(int32_t matchId, const int32_t* kernel, int k, int32_t divide, int32_t offset,
                        int32_t invert) {
    if (height_ <= 0) return 1;
    Convolver convolver;
    const bool ready = Valid() && convolver.Prepare(kernel, k, divide, offset, invert, width_, height_);
    ChannelSelection selection;
    selection.matchId = matchId;
    selection.requested = channelsRequested_;
    selection.material = materialChannel_;
    selection.object = objectChannel_;

    int32_t abortFlag = 0;
    for (int32_t y = 0; y < height_; ++y) {
        SendMessageA(progressWindow_, kProgressMessage, WPARAM(y), LPARAM(height_ - 1));
        SendMessageA(progressWindow_, kAbortQuery, 0, reinterpret_cast<LPARAM>(&abortFlag));
        if (abortFlag) return 0;
        if (ready) convolver.FilterLine(source_, result_, y, selection);
    }
    return 1;
}

int WorkImage::WriteBack() {
    int answer = 0;
    if (!Valid() || !bitmap_) return answer;
    for (int32_t y = 0; y < height_; ++y) answer = bitmap_->PutPixels(0, y, width_, result_ + size_t(y) * width_);
    return answer;
}
