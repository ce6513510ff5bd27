#include "render/work_image.h"

#include "host/progress.h"
#include "render/tick_clock.h"

WorkImage::WorkImage(HWND progressWindow, Bitmap* bitmap)
    : progressWindow_(progressWindow),
      bitmap_(bitmap),
      storage_(bitmap ? bitmap->Storage() : nullptr),
      width_(storage_ ? storage_->Width() : 0),
      height_(storage_ ? storage_->Height() : 0),
      stream_(*this, width_, height_) {}

bool WorkImage::Read(int32_t y, BMM_Color_64* line) { return storage_ && storage_->ReadLine(0, y, width_, line); }

int WorkImage::Write(int32_t y, const BMM_Color_64* line) { return bitmap_->PutPixels(0, y, width_, line); }

bool WorkImage::Stop(int32_t y) {
    int32_t abortFlag = 0;
    SendMessageA(progressWindow_, kProgressMessage, WPARAM(y), LPARAM(height_ - 1));
    SendMessageA(progressWindow_, kAbortQuery, 0, reinterpret_cast<LPARAM>(&abortFlag));
    return abortFlag != 0;
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
    ChannelSelection selection;
    selection.matchId = matchId;
    selection.requested = channelsRequested_;
    selection.material = materialChannel_;
    selection.object = objectChannel_;
    const FrameRoute route = stream_.TimeRoute(kernel, &TimeStampTicks, ModuleRouteMemo());
    return stream_.Convolve(kernel, route.options, selection);
}
