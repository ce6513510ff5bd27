#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "host/bitmap.h"
#include "host/progress.h"
#include "render/convolve_reference.h"

// The render's private view of one frame, streamed a line at a time: the
// storage lines that the line being filtered needs, in a ring, and the host's
// ID channels where the host keeps them. Its memory grows with the frame's
// width, never with its height.
class WorkImage {
public:
    WorkImage(HWND progressWindow, Bitmap* bitmap);
    ~WorkImage();
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    // False when the ring could not be had; the frame must then be left
    // alone, neither read, convolved nor written back.
    bool Valid() const { return ring_ != nullptr; }

    uint32_t RequestChannel(uint32_t channel);
    // Filters the lines in order, asking the progress window before each one
    // whether to stop, and writes each back once it is done. Storage line j
    // is read before any line that draws on it is written. 1 when all lines
    // were done, 0 when stopped. At most once, before WriteBack.
    int Convolve(int32_t matchId, const KernelArgs& kernel);
    // Writes back, as they are, the lines Convolve has not: all of them when
    // it did not run, those from the stop onward when it stopped.
    int WriteBack();

    // Bytes of the ring (the source lines and the lines being written).
    size_t RingBytes() const;

private:
    // The ring at least this many lines long, afresh; false when it cannot
    // be had (the ring is then as it was).
    bool Reserve(int32_t lines);
    BMM_Color_64* Slot(int32_t line) { return ring_ + size_t(line % slots_) * lineStride_; }
    // Reads storage lines up to and including last; a line whose read fails
    // is zeros.
    void ReadThrough(int32_t last);
    // Storage line j, read ahead of the ring for the timing of the routes
    // and kept until ReadThrough takes it; asked for in order from line 0.
    // Null when its read fails.
    const BMM_Color_64* EarlyLine(int32_t j);
    int Put(int32_t line, const BMM_Color_64* pixels);

    HWND progressWindow_;
    Bitmap* bitmap_;
    BitmapStorage* storage_ = nullptr;
    uint16_t* objectChannel_ = nullptr;
    uint8_t* materialChannel_ = nullptr;
    uint32_t channelsRequested_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    void* ringBlock_ = nullptr;  // what ring_ lies in
    BMM_Color_64* ring_ = nullptr;  // slots_ source lines, then the output lines
    int32_t ringLines_ = 0;
    std::vector<std::vector<BMM_Color_64>> early_;  // lines EarlyLine read; empty once taken, or failed
    size_t lineStride_ = 1;
    int32_t slots_ = 1;
    int32_t nextRead_ = 0;
    int32_t nextWrite_ = 0;
};
