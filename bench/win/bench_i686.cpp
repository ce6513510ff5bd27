// The engine as it ships: built by the plug-in's cross build (same compiler,
// flags and dispatch as VLM.FLT) and run under Wine. Times
// - the engine alone over a whole frame in memory, on the route the render's
//   timing chooses (route_timing.h) and on every other candidate route;
// - what that choice costs a first frame;
// - the whole RenderFrame of VLM.FLT, loaded by ordinal as the host loads it,
//   with minihost's progress window, against the memory floor: the same
//   render with nothing to convolve (kernel size 4 leaves the frame as it
//   is), which reads each line once and writes it back once. Floor and
//   kernel renders alternate, so both see the same machine load;
// - the render's own memory: the working image's ring of lines and the
//   engine's scratch, at the frame's height and at twice it.
//
// bench_i686 [--size WxH]... [--kernel NAME]... [--raw]
// --raw prints one record a line for bench/run.sh's native program, which
// sets these beside the native engine and the peers:
//   engine SIZE KERNEL MS PATH SIMD      (names with '_' for spaces; the route the timing chose)
//   level SIZE KERNEL PATH SIMD MS       (every candidate route, forced)
//   route SIZE KERNEL PATH SIMD MS WHY...   (the route a first frame's timing
//                                           chose, what choosing took, and why)
//   render SIZE KERNEL MS FLOOR-MS RATIO   (RATIO: median of the pairs' ratios)
//   unselected SIZE KERNEL MS FLOOR-MS RATIO   (a render that selects no pixel)
//   memory SIZE KERNEL RING-BYTES SCRATCH-BYTES SCRATCH-BYTES-AT-TWICE-THE-HEIGHT
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/bench_common.h"
#include "hostlib/host_control.h"
#include "minihost/runtime/held_frame.h"
#include "minihost/runtime/plugin_loader.h"
#include "minihost/runtime/progress_window.h"
#include "params/kernel_params.h"
#include "render/route_timing.h"
#include "render/tick_clock.h"
#include "render/work_image.h"

namespace {

using namespace bench;

std::string Word(const char* text) {
    std::string s = text;
    for (char& c : s)
        if (c == ' ') c = '_';
    return s;
}

// At least 7 runs: a run takes 4-70 ms, and on a shared machine a median of
// 3 can still land on a disturbed one.
double TimeEngine(const Frame& f, const Kernel& kn, const ConvolveOptions& options, Pixels& dst, Convolver& cv) {
    return Median(
        [&] {
            cv.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, f.h, options);
            cv.FilterFrameLines(f.px.data(), dst.data(), 0, f.h, ChannelSelection());
        },
        7);
}

// The route a first frame's timing chooses, with a memo of its own each
// time; the time it takes is the median of 7.
FrameRoute TimedRoute(const Frame& f, const Kernel& kn, double* ms) {
    const KernelArgs kernel{kn.block.data(), kn.k, kn.divide, kn.offset, 0};
    const LineSource read = [&](int j) { return f.px.data() + static_cast<size_t>(j) * f.w; };
    FrameRoute route;
    *ms = Median(
        [&] {
            RouteMemo memo;
            route = RouteForFrame(kernel, f.w, f.h, read, &TimeStampTicks, memo);
        },
        7);
    return route;
}

KernelParams ParamsFor(const Kernel& kn) {
    KernelParams p = DefaultParams();
    p.source = kSourceWhole;
    p.kernel.kernelSize = kn.k;
    PlaceKernel(kn.block.data(), kn.k, p.kernel.weights);
    p.kernel.divide = kn.divide;
    p.kernel.offset = kn.offset;
    return p;
}

struct RenderTimes {
    double ms = -1, floorMs = -1;
    double ratio = -1;  // median of render / floor over the pairs
};

// Medians of 7 alternating pairs of renders (floor, kernel) through the
// plug-in, and the median of the pairs' ratios: the two renders of a pair
// run back to back and see the same load of a shared machine, where the
// medians of each side can come from different moments. noneSelected: the kernel render selects by an object ID that no
// pixel has, which leaves the per-line messages and the ID scan.
RenderTimes TimeRender(ImageFilter& filter, const Frame& f, const Kernel& kn, bool noneSelected = false) {
    MemoryStorage storage(static_cast<uint16_t>(f.w), static_cast<uint16_t>(f.h));
    KernelParams params = ParamsFor(kn), floor = params;
    floor.kernel.kernelSize = 4;
    if (noneSelected) {
        storage.AddObjectChannel();  // all 0
        params.source = kSourceObject;
        params.objectId = 1;
    }
    auto once = [&](KernelParams& p) {
        std::copy(f.px.begin(), f.px.end(), storage.Pixels());
        if (!filter.LoadConfigure(&p)) return -1.0;
        ProgressWindow progress(-1, false);
        double t = 0;
        return TimedRender(filter, storage, progress.Handle(), &t) ? t : -1.0;
    };
    std::vector<double> a, b, ratios;
    // Warm-up: the first renders of a frame size also grow the heap; in one
    // run they took 1.3-1.9x the time of the later ones at 4K.
    for (int i = 0; i < 2; ++i) {
        once(floor);
        once(params);
    }
    for (int i = 0; i < 7; ++i) {
        a.push_back(once(floor));
        b.push_back(once(params));
        ratios.push_back(a.back() > 0 ? b.back() / a.back() : -1);
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::sort(ratios.begin(), ratios.end());
    RenderTimes t;
    if (a.front() > 0 && b.front() >= 0) t = {b[b.size() / 2], a[a.size() / 2], ratios[ratios.size() / 2]};
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<int, int>> sizes;
    std::vector<std::string> only;
    bool raw = false;
    for (int i = 1; i < argc; ++i) {
        int w = 0, h = 0;
        if (!std::strcmp(argv[i], "--raw")) raw = true;
        else if (!std::strcmp(argv[i], "--kernel") && i + 1 < argc) only.push_back(argv[++i]);
        else if (!std::strcmp(argv[i], "--size") && i + 1 < argc && std::sscanf(argv[++i], "%dx%d", &w, &h) == 2 &&
                 w > 0 && h > 0 && w <= 65535 && h <= 65535)
            sizes.push_back({w, h});
        else {
            std::fprintf(stderr, "usage: bench_i686 [--size WxH]... [--kernel NAME]... [--raw]\n");
            return 2;
        }
    }
    if (sizes.empty()) sizes = {{1920, 1080}, {3840, 2160}};

    LoadedPlugin plugin;
    std::string error;
    ImageFilterPtr filter;
    if (plugin.Load(DefaultPluginPath(), &error)) filter.reset(plugin.CreateFilter(&error));
    if (!filter) std::fprintf(stderr, "bench_i686: %s; no whole-render figures\n", error.c_str());

    if (!raw) {
        std::printf("i686 engine as VLM.FLT runs it, under Wine, one thread, medians in ms\n");
        std::printf("| %-9s | %-17s | %-28s | %8s | %12s | %8s | %11s |\n", "frame", "kernel", "engine", "ms",
                    "whole render", "floor", "whole/floor");
    }
    const std::vector<Kernel> kernels = Kernels();
    for (auto [w, h] : sizes) {
        const Frame f = MakeFrame(w, h);
        Pixels dst = f.px;
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        for (const Kernel& kn : kernels) {
            if (!only.empty() && std::find(only.begin(), only.end(), kn.name) == only.end()) continue;
            double chooseMs = -1;
            const FrameRoute route = TimedRoute(f, kn, &chooseMs);
            Convolver cv;
            const double ms = TimeEngine(f, kn, route.options, dst, cv);
            const RenderTimes r = filter ? TimeRender(*filter, f, kn) : RenderTimes();
            // The cost of the render's own steps besides the copies and the
            // convolution, once per frame size.
            const RenderTimes u = filter && &kn == &kernels.front() ? TimeRender(*filter, f, kn, true) : RenderTimes();
            const std::string chosen = std::string(PathName(cv.path())) + ", " + SimdName(cv.simd());
            if (raw) {
                std::printf("engine %s %s %.3f %s %s\n", size.c_str(), kn.name.c_str(), ms, Word(PathName(cv.path())).c_str(),
                            Word(SimdName(cv.simd())).c_str());
                std::printf("route %s %s %s %s %.4f %s\n", size.c_str(), kn.name.c_str(), Word(PathName(cv.path())).c_str(),
                            Word(SimdName(cv.simd())).c_str(), chooseMs, route.why.c_str());
                std::printf("render %s %s %.3f %.3f %.4f\n", size.c_str(), kn.name.c_str(), r.ms, r.floorMs, r.ratio);
                if (u.ms >= 0)
                    std::printf("unselected %s %s %.3f %.3f %.4f\n", size.c_str(), kn.name.c_str(), u.ms, u.floorMs, u.ratio);
            } else {
                std::printf("| %-9s | %-17s | %-28s | %8.1f | %12.1f | %8.1f | %10.2fx |\n", size.c_str(),
                            kn.name.c_str(), (chosen + " (chosen)").c_str(), ms, r.ms, r.floorMs, r.ratio);
                std::printf("| %-9s | %-17s | choosing it took %.3f ms: %s |\n", size.c_str(), kn.name.c_str(), chooseMs,
                            route.why.c_str());
                if (u.ms >= 0)
                    std::printf("| %-9s | %-17s | %-28s | %8s | %12.1f | %8.1f | %10.2fx |\n", size.c_str(),
                                kn.name.c_str(), "no pixel selected", "", u.ms, u.floorMs, u.ratio);
            }
            // Every candidate route: each level on each exact path the kernel has.
            Convolver probe;
            probe.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, f.h);
            for (const RouteCandidate& c : CandidateRoutes(EngineCpu(ConvolveOptions()), probe.Traits(), ConvolveOptions())) {
                Convolver other;
                const double t = TimeEngine(f, kn, c.options, dst, other);
                const std::string path = PathName(other.path());
                if (raw)
                    std::printf("level %s %s %s %s %.3f\n", size.c_str(), kn.name.c_str(), Word(path.c_str()).c_str(),
                                Word(SimdName(other.simd())).c_str(), t);
                else
                    std::printf("| %-9s | %-17s | %-28s | %8.1f | %12s | %8s | %11s |\n", size.c_str(),
                                kn.name.c_str(), (path + ", " + SimdName(other.simd())).c_str(), t, "", "", "");
            }
            // Built as the render builds them, at this height and twice it.
            MemoryStorage lineStorage(static_cast<uint16_t>(w), 1);
            Bitmap lines(&lineStorage);
            const WorkImage image(nullptr, &lines);
            Convolver atHeight, atTwice;
            atHeight.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, f.h);
            atTwice.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, 2 * f.h);
            if (raw)
                std::printf("memory %s %s %zu %zu %zu\n", size.c_str(), kn.name.c_str(), image.RingBytes(),
                            atHeight.ScratchBytes(), atTwice.ScratchBytes());
            else
                std::printf("| %-9s | %-17s | memory: ring %zu bytes, engine %zu bytes (%zu at twice the height) |\n",
                            size.c_str(), kn.name.c_str(), image.RingBytes(), atHeight.ScratchBytes(),
                            atTwice.ScratchBytes());
            std::fflush(stdout);
        }
    }
    return 0;
}
