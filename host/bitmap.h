#pragma once
#include <cstdint>

#include "host/channels.h"
#include "host/color64.h"
#include "host/hostapi.h"

// The pixels of a frame. Its table of operations crosses between the host and
// the plug-in, so it holds no destructor (the owner destroys the storage
// through its own type), no overloads and no records returned by value:
// Microsoft's compiler and g++ lay such a table out alike.
class HOST_API BitmapStorage {
public:
    BitmapStorage(uint16_t width, uint16_t height) : width_(width), height_(height) {}

    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }

    // Copies count pixels of line y, from column x, into dst.
    virtual int ReadLine(int x, int y, int count, BMM_Color_64* dst) = 0;
    // Stores count pixels into line y, from column x.
    virtual int WriteLine(int x, int y, int count, const BMM_Color_64* src) = 0;
    // Address of the frame's width x height array of the given channel, or
    // null when the frame has none. *type receives the channel's type word.
    virtual void* ChannelArray(uint32_t channel, uint32_t* type) = 0;

protected:
    ~BitmapStorage() = default;

private:
    uint16_t width_, height_;
};

class HOST_API Bitmap {
public:
    explicit Bitmap(BitmapStorage* storage) : storage_(storage) {}
    BitmapStorage* Storage() const { return storage_; }
    int PutPixels(int x, int y, int count, const BMM_Color_64* src);

private:
    BitmapStorage* storage_;
};
