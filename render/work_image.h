#pragma once
#include <windows.h>

#include <cstdint>

#include "host/bitmap.h"

// The render's private view of one frame: two copies of its pixels, taken a
// line at a time, and the host's ID channels where the host keeps them.
class WorkImage {
public:
    WorkImage(HWND progressWindow, Bitmap* bitmap);
    ~WorkImage();
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    // False when the two copies could not be had; the frame must then be
    // left alone, neither convolved nor written back.
    bool Valid() const { return result_ != nullptr && source_ != nullptr; }

    uint32_t RequestChannel(uint32_t channel);
    // Filters every line, asking the progress window before each one whether
    // to stop. 1 when all lines were done, 0 when stopped.
    int Convolve(int32_t matchId, const int32_t* kernel, int k, int32_t divide, int32_t offset, int32_t invert);
    virtual int WriteBack();

    int Width() const { return width_; }
    int Height() const { return height_; }
    const BMM_Color_64* Result() const { return result_; }
    const BMM_Color_64* Source() const { return source_; }

private:
    BMM_Color_64* CopyPixels(BMM_Color_64* buffer);

    HWND progressWindow_;
    Bitmap* bitmap_;
    BMM_Color_64* result_ = nullptr;
    uint16_t* objectChannel_ = nullptr;
    uint8_t* materialChannel_ = nullptr;
    uint32_t channelsRequested_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    BMM_Color_64* source_ = nullptr;
};

// Progress message and abort query sent to the host's progress window.
constexpr UINT kProgressMessage = 0x420;
constexpr UINT kAbortQuery = 0x421;
