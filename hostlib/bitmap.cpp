#include <cstring>

#include "hostlib/host_control.h"


int Bitmap::PutPixels(int x, int y, int count, const BMM_Color_64* src) {
    return storage_ ? storage_->WriteLine(x, y, count, src) : 0;
}

MemoryStorage::MemoryStorage(uint16_t width, uint16_t height)
    : BitmapStorage(width, height), pixels_(size_t(width) * height) {}

MemoryStorage::~MemoryStorage() = default;

namespace {
// Clips a run of pixels to one line; answers the number of pixels kept.
int ClipRun(const BitmapStorage& s, int x, int y, int count) {
    if (y < 0 || y >= s.Height() || x < 0 || x >= s.Width() || count <= 0) return 0;
    return count < s.Width() - x ? count : s.Width() - x;
}
}  // namespace

int MemoryStorage::ReadLine(int x, int y, int count, BMM_Color_64* dst) {
    const int n = ClipRun(*this, x, y, count);
    if (n == 0) return 0;
    std::memcpy(dst, &pixels_[size_t(y) * Width() + x], size_t(n) * sizeof(BMM_Color_64));
    ++linesRead;
    return 1;
}

int MemoryStorage::WriteLine(int x, int y, int count, const BMM_Color_64* src) {
    const int n = ClipRun(*this, x, y, count);
    if (n == 0) return 0;
    std::memcpy(&pixels_[size_t(y) * Width() + x], src, size_t(n) * sizeof(BMM_Color_64));
    ++linesWritten;
    return 1;
}

void* MemoryStorage::ChannelArray(uint32_t channel, uint32_t* type) {
    if (type) *type = channel;
    if (channel == kMaterialChannel && hasMaterial_) return material_.data();
    if (channel == kObjectChannel && hasObject_) return object_.data();
    return nullptr;
}

uint8_t* MemoryStorage::AddMaterialChannel() {
    material_.assign(size_t(Width()) * Height(), 0);
    hasMaterial_ = true;
    return material_.data();
}

uint16_t* MemoryStorage::AddObjectChannel() {
    object_.assign(size_t(Width()) * Height(), 0);
    hasObject_ = true;
    return object_.data();
}
