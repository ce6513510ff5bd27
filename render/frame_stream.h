#pragma once
// The render's pass loop, apart from the host: a frame streamed a line at a
// time through a ring of the lines the line being filtered needs. Its memory
// grows with the frame's width, never with its height.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/color64.h"
#include "render/convolver.h"
#include "render/pass_plan.h"
#include "render/route_timing.h"

// The host's side of the frame: its lines, read and written one at a time,
// and the question asked before each line is touched.
class FrameLines {
public:
    // Frame line y, width pixels, into line; false when the read fails.
    virtual bool Read(int32_t y, BMM_Color_64* line) = 0;
    // Frame line y back to the host; the host's answer.
    virtual int Write(int32_t y, const BMM_Color_64* line) = 0;
    // Before line y is touched: reports it and answers whether to stop.
    virtual bool Stop(int32_t y) = 0;

protected:
    ~FrameLines() = default;
};

class FrameStream {
public:
    FrameStream(FrameLines& host, int32_t width, int32_t height);
    ~FrameStream();
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;

    // False when the ring could not be had; the frame must then be left
    // alone, neither read, convolved nor written back.
    bool Valid() const { return ring_ != nullptr; }

    // The route for the kernel, timed on the frame's first lines (read
    // ahead and kept for the pass loop, each read once) unless the memo
    // has it; the table's without the memory to time it.
    FrameRoute TimeRoute(const KernelArgs& kernel, TickClock clock, RouteMemo& memo);
    // Filters the lines in order, asking the host before each one whether
    // to stop, and writes each back once it is done. Line j is read before
    // any line that draws on it is written. 1 when all lines were done, 0
    // when stopped. At most once, before WriteBack.
    int Convolve(const KernelArgs& kernel, const ConvolveOptions& options, const ChannelSelection& selection);
    // Writes back, as they are, the lines Convolve has not: all of them when
    // it did not run, those from the stop onward when it stopped.
    int WriteBack();

    // Bytes of the ring (the source lines and the lines being written).
    size_t RingBytes() const;

private:
    // The ring at least this many lines long, afresh; false when it cannot
    // be had (the ring is then as it was).
    bool Reserve(int32_t lines);
    BMM_Color_64* Source(int32_t line);
    BMM_Color_64* Output(int32_t i);
    // Reads frame lines up to and including last; a line whose read fails
    // is zeros.
    void ReadThrough(int32_t last);
    // Frame line j, read ahead of the ring for the timing of the routes and
    // kept until ReadThrough takes it; asked for in order from line 0. Null
    // when its read fails.
    const BMM_Color_64* EarlyLine(int32_t j);
    // The messages of the pass's lines, each before it is touched, with
    // their source lines read; the lines to filter (fewer after a stop).
    int32_t StartPass(int32_t first, bool* stop);
    // Filters lines first .. first + count - 1 into the output lines; which
    // of them were.
    void FilterPass(Convolver& convolver, int32_t first, int32_t count, const ChannelSelection& selection,
                    bool* filtered);
    int Put(int32_t line, const BMM_Color_64* pixels);

    FrameLines& host_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    PassPlan plan_;  // what the ring holds now
    void* ringBlock_ = nullptr;  // what ring_ lies in
    BMM_Color_64* ring_ = nullptr;  // plan_.sources source lines, then plan_.pass output lines
    int32_t ringLines_ = 0;
    std::vector<std::vector<BMM_Color_64>> early_;  // lines EarlyLine read; empty once taken, or failed
    size_t lineStride_ = 1;
    int32_t nextRead_ = 0;
    int32_t nextWrite_ = 0;
};
