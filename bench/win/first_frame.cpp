// Where a fresh process's first render of a frame spends its time: the
// render's own steps (render/frame_stream.h) as the plug-in takes them, each
// timed at its first run in this process, then the same render whole, warm.
// bench/run.sh runs it once a fresh process for each size and kernel.
//
// first_frame WxH KERNEL [steps|whole] prints one record a line:
//   first SIZE KERNEL STEP MS
// Both forms first time STEP processor: the processor's features read, which
// the plug-in does at load.
// steps (the default): STEP ring (the ring's allocation), route (the timing
// of the routes on the frame's first lines), prepare (the engine's planes),
// lines (every line read from the host and written back, nothing
// convolved), pass (the pass loop with the engine, on the timed route),
// whole (the four after the ring, again, warm: a later frame's render with
// its route known), fresh (ring, route and pass once more from a fresh memo:
// a first frame's render with the process warm), floor (lines again, warm).
// whole: STEP first (the process's first render, whole, as the plug-in
// renders: ring, route, pass loop, write-back), then five times each, in
// turn, of cached (the same render again: its route known, the frame in the
// caches from the renders before), cachedfloor (lines alone, so), flushed
// (the render with the frame's lines flushed from every cache first, as a
// frame the host wrote long before) and flushedfloor (lines alone, so).
#include <windows.h>

#include <emmintrin.h>

#include <cstdio>
#include <cstring>

#include "bench/bench_common.h"
#include "hostlib/host_control.h"
#include "render/cpu_features.h"
#include "render/frame_stream.h"
#include "render/tick_clock.h"

namespace {

using namespace bench;

// The host's side as the plug-in's WorkImage has it, without a progress
// window: the storage's lines in, the bitmap's PutPixels out.
class HostLines final : public FrameLines {
public:
    HostLines(MemoryStorage& storage, Bitmap& bitmap) : storage_(storage), bitmap_(bitmap) {}
    bool Read(int32_t y, BMM_Color_64* line) override { return storage_.ReadLine(0, y, storage_.Width(), line); }
    int Write(int32_t y, const BMM_Color_64* line) override {
        return bitmap_.PutPixels(0, y, storage_.Width(), line);
    }
    bool Stop(int32_t) override { return false; }

private:
    MemoryStorage& storage_;
    Bitmap& bitmap_;
};

double Ms(LARGE_INTEGER t0, LARGE_INTEGER t1) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart);
}

// The frame's lines out of every cache, so that the next pass meets them in
// memory: the frame a host rendered before other work, or any frame larger
// than the caches.
__attribute__((target("sse2"))) void Flush(const BMM_Color_64* pixels, size_t count) {
    const char* bytes = reinterpret_cast<const char*>(pixels);
    for (size_t i = 0; i < count * sizeof(BMM_Color_64); i += 64) _mm_clflush(bytes + i);
    _mm_mfence();
}

template <class F>
double Timed(F f) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    f();
    QueryPerformanceCounter(&t1);
    return Ms(t0, t1);
}

}  // namespace

int main(int argc, char** argv) {
    int w = 0, h = 0;
    const bool whole = argc == 4 && !std::strcmp(argv[3], "whole");
    if ((argc != 3 && !whole && !(argc == 4 && !std::strcmp(argv[3], "steps"))) || std::sscanf(argv[1], "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 65535 || h > 65535) {
        std::fprintf(stderr, "usage: first_frame WxH KERNEL [steps|whole]\n");
        return 2;
    }
    const Kernel* kn = nullptr;
    const std::vector<Kernel> kernels = Kernels();
    for (const Kernel& k : kernels)
        if (k.name == argv[2]) kn = &k;
    if (!kn) {
        std::fprintf(stderr, "first_frame: no kernel %s\n", argv[2]);
        return 2;
    }
    const Frame f = MakeFrame(w, h);
    MemoryStorage storage(static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    std::copy(f.px.begin(), f.px.end(), storage.Pixels());
    Bitmap bitmap(&storage);
    HostLines host(storage, bitmap);
    const KernelArgs kernel{kn->block.data(), kn->k, kn->divide, kn->offset, 0};
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    auto say = [&](const char* step, double ms) { std::printf("first %s %s %s %.3f\n", size.c_str(), argv[2], step, ms); };

    // As the plug-in does at load, before any render: the processor read.
    say("processor", Timed([] { HostCpuFeatures(); }));
    RouteMemo memo;
    auto render = [&] {
        FrameStream stream(host, w, h);
        const FrameRoute route = stream.TimeRoute(kernel, &TimeStampTicks, memo);
        stream.Convolve(kernel, route.options, ChannelSelection());
        stream.WriteBack();
    };
    auto lines = [&] {
        FrameStream stream(host, w, h);
        const KernelArgs nothing{nullptr, kn->k, 1, 0, 0};
        stream.Convolve(nothing, ConvolveOptions(), ChannelSelection());
        stream.WriteBack();
    };
    if (whole) {
        say("first", Timed(render));
        for (int i = 0; i < 5; ++i) say("cached", Timed(render));
        for (int i = 0; i < 5; ++i) say("cachedfloor", Timed(lines));
        for (int i = 0; i < 5; ++i) {
            Flush(storage.Pixels(), f.px.size());
            say("flushed", Timed(render));
        }
        for (int i = 0; i < 5; ++i) {
            Flush(storage.Pixels(), f.px.size());
            say("flushedfloor", Timed(lines));
        }
        return 0;
    }
    // Each step at its first run in this process, in the render's order.
    FrameRoute route;
    {
        FrameStream* stream = nullptr;
        say("ring", Timed([&] { stream = new FrameStream(host, w, h); }));
        say("route", Timed([&] { route = stream->TimeRoute(kernel, &TimeStampTicks, memo); }));
        delete stream;
    }
    say("prepare", Timed([&] {
            Convolver cv;
            cv.Prepare(kernel, w, h, route.options);
        }));
    say("lines", Timed(lines));
    say("pass", Timed([&] {
            FrameStream stream(host, w, h);
            stream.Convolve(kernel, route.options, ChannelSelection());
        }));
    // A later frame: the route known; and its lines alone.
    for (int i = 0; i < 5; ++i) {
        say("floor", Timed(lines));
        say("whole", Timed([&] {
                FrameStream stream(host, w, h);
                const FrameRoute known = stream.TimeRoute(kernel, &TimeStampTicks, memo);
                stream.Convolve(kernel, known.options, ChannelSelection());
            }));
    }
    // A first frame in a warm process: the route timed afresh.
    for (int i = 0; i < 5; ++i)
        say("fresh", Timed([&] {
                RouteMemo none;
                FrameStream stream(host, w, h);
                const FrameRoute timed = stream.TimeRoute(kernel, &TimeStampTicks, none);
                stream.Convolve(kernel, timed.options, ChannelSelection());
            }));
    return 0;
}
