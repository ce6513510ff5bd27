#include <cstdlib>
#include <cstring>

#include "hostlib/host_control.h"

int Bitmap::PutPixels(int x, int y, int count, const BMM_Color_64* src) {
    return storage_ ? storage_->WriteLine(x, y, count, src) : 0;
}

namespace {
// calloc, not new: a frame too large for the address space is an answer the
// caller checks, never an exception leaving this DLL. An empty frame still
// gets an address.
template <class T>
T* Zeroed(size_t count) {
    return static_cast<T*>(std::calloc(count ? count : 1, sizeof(T)));
}
}  // namespace

MemoryStorage::MemoryStorage(uint16_t width, uint16_t height)
    : BitmapStorage(width, height), pixels_(Zeroed<BMM_Color_64>(Count())) {}

MemoryStorage::~MemoryStorage() {
    std::free(pixels_);
    std::free(material_);
    std::free(object_);
}

namespace {
// Clips a run of pixels to one line; answers the number of pixels kept.
int ClipRun(const BitmapStorage& s, int x, int y, int count) {
    if (y < 0 || y >= s.Height() || x < 0 || x >= s.Width() || count <= 0) return 0;
    return count < s.Width() - x ? count : s.Width() - x;
}
}  // namespace

int MemoryStorage::ReadLine(int x, int y, int count, BMM_Color_64* dst) {
    const int n = pixels_ ? ClipRun(*this, x, y, count) : 0;
    if (n == 0) return 0;
    std::memcpy(dst, &pixels_[size_t(y) * Width() + x], size_t(n) * sizeof(BMM_Color_64));
    ++linesRead;
    return 1;
}

int MemoryStorage::WriteLine(int x, int y, int count, const BMM_Color_64* src) {
    const int n = pixels_ ? ClipRun(*this, x, y, count) : 0;
    if (n == 0) return 0;
    std::memcpy(&pixels_[size_t(y) * Width() + x], src, size_t(n) * sizeof(BMM_Color_64));
    ++linesWritten;
    return 1;
}

void* MemoryStorage::ChannelArray(uint32_t channel, uint32_t* type) {
    if (type) *type = channel;
    if (channel == kMaterialChannel) return material_;
    if (channel == kObjectChannel) return object_;
    return nullptr;
}

uint8_t* MemoryStorage::AddMaterialChannel() {
    std::free(material_);
    material_ = Zeroed<uint8_t>(Count());
    return material_;
}

uint16_t* MemoryStorage::AddObjectChannel() {
    std::free(object_);
    object_ = Zeroed<uint16_t>(Count());
    return object_;
}
