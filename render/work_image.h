#pragma once
#include <windows.h>

#include <cstdint>

#include "host/bitmap.h"
#include "render/convolve_reference.h"
#include "render/frame_stream.h"

// The render's view of one frame in a host bitmap: the host's lines and
// progress window behind the pass loop's seam (frame_stream.h), and the
// host's ID channels where the host keeps them.
class WorkImage final : private FrameLines {
public:
    WorkImage(HWND progressWindow, Bitmap* bitmap);
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    // False when the working lines could not be had; the frame must then be
    // left alone, neither read, convolved nor written back.
    bool Valid() const { return stream_.Valid(); }

    uint32_t RequestChannel(uint32_t channel);
    // The route timed on the frame's first lines once for each kind of
    // kernel and width, then remembered (route_timing.h), and the frame
    // filtered on it (FrameStream::Convolve). At most once, before WriteBack.
    int Convolve(int32_t matchId, const KernelArgs& kernel);
    int WriteBack() { return stream_.WriteBack(); }

    size_t RingBytes() const { return stream_.RingBytes(); }

private:
    bool Read(int32_t y, BMM_Color_64* line) override;
    int Write(int32_t y, const BMM_Color_64* line) override;
    bool Stop(int32_t y) override;

    HWND progressWindow_;
    Bitmap* bitmap_;
    BitmapStorage* storage_;
    int32_t width_;
    int32_t height_;
    uint16_t* objectChannel_ = nullptr;
    uint8_t* materialChannel_ = nullptr;
    uint32_t channelsRequested_ = 0;
    FrameStream stream_;
};
