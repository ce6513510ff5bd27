// Prints one table of one run: the engine as it ships (i686, inside VLM.FLT,
// under Wine: figures from bench_i686.exe, which this program starts), the
// whole render against the design floor, the native x86-64 engine, its
// scalar reference, OpenCV and libvips; then the targets as ratios of these
// figures. Frames of 1920 x 1080, 3840 x 2160 and 8192 x 4096; at the last
// neither OpenCV's 16-bit route nor libvips, which are never the fastest. Figures are medians of several runs on one thread; over several
// rounds, the fastest of the rounds' medians.
#ifdef VLM_BENCH_VIPS
#include <vips/vips.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#ifdef VLM_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif
#include <string>
#include <map>
#include <vector>

#include "render/convolve_reference.h"
#include "render/convolver.h"
#include "bench/bench_common.h"
#include "bench/madd_rate.h"

namespace {

using namespace bench;

double TimeOurs(const Frame& f, const Kernel& kn, const ConvolveOptions& options, Pixels& dst, std::string* label) {
    Convolver cv;
    const double ms = Median([&] {
        cv.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, f.h, options);
        cv.FilterFrameLines(f.px.data(), dst.data(), 0, f.h, ChannelSelection());
    });
    *label = std::string("native x86-64 engine, ") + PathName(cv.path()) + ", " + SimdName(cv.simd());
    return ms;
}

double TimeReference(const Frame& f, const Kernel& kn, Pixels& dst) {
    const KernelArgs ks{kn.block.data(), kn.k, kn.divide, kn.offset, 0};
    return Median([&] { ReferenceFrame(f.px.data(), dst.data(), f.w, f.h, ks); });
}

#ifdef VLM_BENCH_OPENCV
cv::Mat FloatKernel(const Kernel& kn) {
    cv::Mat m(kn.k, kn.k, CV_32F);
    for (int i = 0; i < kn.k * kn.k; ++i) m.at<float>(i / kn.k, i % kn.k) = static_cast<float>(kn.block[i]) / kn.divide;
    return m;
}

double TimeOpenCv16(const Frame& f, const Kernel& kn) {
    cv::Mat src(f.h, f.w, CV_16UC4, const_cast<BMM_Color_64*>(f.px.data()));
    cv::Mat dst(f.h, f.w, CV_16UC4);
    const cv::Mat kernel = FloatKernel(kn);
    return Median([&] { cv::filter2D(src, dst, -1, kernel, cv::Point(-1, -1), kn.offset, cv::BORDER_CONSTANT); });
}

// Not exact: float sums round once they pass 2^24.
double TimeOpenCvFloat(const Frame& f, const Kernel& kn) {
    cv::Mat src(f.h, f.w, CV_16UC4, const_cast<BMM_Color_64*>(f.px.data()));
    cv::Mat a, b, dst(f.h, f.w, CV_16UC4);
    const cv::Mat kernel = FloatKernel(kn);
    return Median([&] {
        src.convertTo(a, CV_32F);
        cv::filter2D(a, b, -1, kernel, cv::Point(-1, -1), kn.offset, cv::BORDER_CONSTANT);
        b.convertTo(dst, CV_16U);
    });
}

#else
// Without OpenCV its rows are n/a.
double TimeOpenCv16(const Frame&, const Kernel&) { return -1; }
double TimeOpenCvFloat(const Frame&, const Kernel&) { return -1; }
#endif

#ifdef VLM_BENCH_VIPS
// Zero border as ours: embed in black, convolve, cut the frame back out.
double TimeVips(const Frame& f, const Kernel& kn) {
    const size_t bytes = f.px.size() * sizeof(BMM_Color_64);
    VipsImage* in = vips_image_new_from_memory(f.px.data(), bytes, f.w, f.h, 4, VIPS_FORMAT_USHORT);
    VipsImage* mask = vips_image_new_matrix(kn.k, kn.k);
    for (int i = 0; i < kn.k * kn.k; ++i) *VIPS_MATRIX(mask, i % kn.k, i / kn.k) = kn.block[i];
    vips_image_set_double(mask, "scale", kn.divide);
    vips_image_set_double(mask, "offset", kn.offset);
    const int h = kn.k / 2;
    bool ok = true;
    const double ms = Median([&] {
        VipsImage *emb = nullptr, *conv = nullptr, *crop = nullptr;
        ok = ok && vips_embed(in, &emb, h, h, f.w + 2 * h, f.h + 2 * h, "extend", VIPS_EXTEND_BLACK, nullptr) == 0;
        ok = ok && vips_conv(emb, &conv, mask, "precision", VIPS_PRECISION_INTEGER, nullptr) == 0;
        ok = ok && vips_crop(conv, &crop, (conv->Xsize - f.w) / 2, (conv->Ysize - f.h) / 2, f.w, f.h, nullptr) == 0;
        size_t size = 0;
        void* out = ok ? vips_image_write_to_memory(crop, &size) : nullptr;
        ok = ok && out != nullptr && size == bytes;
        g_free(out);
        for (VipsImage* im : {crop, conv, emb})
            if (im) g_object_unref(im);
    });
    g_object_unref(mask);
    g_object_unref(in);
    if (!ok) std::fprintf(stderr, "libvips failed: %s\n", vips_error_buffer());
    return ok ? ms : -1;
}
#else
double TimeVips(const Frame&, const Kernel&) { return -1; }
#endif

// The records of bench_i686.exe --raw for one frame size, by kernel name.
struct I686Figures {
    double engine = -1, render = -1, floor = -1, ratio = -1;  // ratio: median of back-to-back pairs
    double unselected = -1, unselectedRatio = -1;              // a render that selects no pixel
    std::string path, simd;
    std::vector<std::pair<std::string, double>> levels;  // "path, instruction set" forced, ms
    double chooseMs = -1;  // what the first frame's timing of the routes took
    std::string why;       // and why it chose the engine's route
    double ringBytes = -1, scratchBytes = -1, scratchAtTwice = -1;  // the render's own memory
};

std::string Spaced(std::string s) {
    for (char& c : s)
        if (c == '_') c = ' ';
    return s;
}

std::map<std::string, I686Figures> RunI686(const std::string& exe, const std::string& size,
                                           const std::vector<std::string>& only) {
    std::map<std::string, I686Figures> out;
    if (exe.empty()) return out;
    // Wine's helper processes inherit the pipe; the records end at a blank
    // line of our own, not at the end of the stream.
    std::string cmd = "wine '" + exe + "' --raw --size " + size;
    for (const std::string& name : only) cmd += " --kernel " + name;
    cmd += " 2>/dev/null; echo";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        if (line[0] == '\n') break;
        char kind[16], sz[32], kernel[64], a[64], b[64], c[64], d[64];
        const int n = std::sscanf(line, "%15s %31s %63s %63s %63s %63s %63s", kind, sz, kernel, a, b, c, d);
        if (n < 5) continue;
        I686Figures& fig = out[kernel];
        if (!std::strcmp(kind, "engine") && n == 6) {
            fig.engine = std::atof(a);
            fig.path = Spaced(b);
            fig.simd = Spaced(c);
        } else if (!std::strcmp(kind, "render") && n == 6) {
            fig.render = std::atof(a);
            fig.floor = std::atof(b);
            fig.ratio = std::atof(c);
        } else if (!std::strcmp(kind, "unselected") && n == 6) {
            fig.unselected = std::atof(a);
            fig.unselectedRatio = std::atof(c);
        } else if (!std::strcmp(kind, "route") && n == 7) {
            fig.chooseMs = std::atof(c);
            const char* why = line;  // after the six words before it
            for (int word = 0; word < 6 && why; ++word) {
                why = std::strchr(why, ' ');
                if (why) ++why;
            }
            fig.why = why ? why : "";
            while (!fig.why.empty() && (fig.why.back() == '\n' || fig.why.back() == '\r')) fig.why.pop_back();
        } else if (!std::strcmp(kind, "level") && n == 6) {
            fig.levels.push_back({Spaced(a) + ", " + Spaced(b), std::atof(c)});
        } else if (!std::strcmp(kind, "memory") && n == 6) {
            fig.ringBytes = std::atof(a);
            fig.scratchBytes = std::atof(b);
            fig.scratchAtTwice = std::atof(c);
        }
    }
    pclose(p);
    return out;
}

void Row(const std::string& frame, const std::string& kernel, const std::string& method, double ms, double mpix,
         const std::string& ratio) {
    if (ms < 0) {
        std::printf("| %-9s | %-17s | %-52s | %9s | %8s | %-24s |\n", frame.c_str(), kernel.c_str(), method.c_str(),
                    "n/a", "n/a", ratio.c_str());
        return;
    }
    std::printf("| %-9s | %-17s | %-52s | %9.1f | %8.1f | %-24s |\n", frame.c_str(), kernel.c_str(), method.c_str(),
                ms, mpix / (ms / 1000.0), ratio.c_str());
}

std::string Ratio(double num, double den, const char* what) {
    if (num < 0 || den <= 0) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2fx %s", num / den, what);
    return buf;
}

std::string Ratio(double ratio, const char* what) { return Ratio(ratio, 1.0, what); }

struct Target {
    std::string frame, what;
    double ratio;       // < 0: not measured
    double low, high;   // met when low <= ratio <= high
};

// The smaller of two figures where -1 means not measured.
double Faster(double a, double b) { return a < 0 ? b : b < 0 ? a : std::min(a, b); }

// Each figure of a round kept at its fastest over the rounds.
void KeepFastest(I686Figures& best, const I686Figures& round) {
    if (best.path.empty()) {
        best = round;
        return;
    }
    best.engine = Faster(best.engine, round.engine);
    best.render = Faster(best.render, round.render);
    best.floor = Faster(best.floor, round.floor);
    best.ratio = Faster(best.ratio, round.ratio);
    best.unselected = Faster(best.unselected, round.unselected);
    best.unselectedRatio = Faster(best.unselectedRatio, round.unselectedRatio);
    best.chooseMs = Faster(best.chooseMs, round.chooseMs);
    for (size_t i = 0; i < best.levels.size() && i < round.levels.size(); ++i)
        best.levels[i].second = Faster(best.levels[i].second, round.levels[i].second);
}

// 16-bit products a pixel on a route: three channels, k x k taps; the split
// path two such convolutions. With padded, each row's taps rounded up to
// whole pairs, as the pair multiply-adds take them. -1: a path whose work is
// not pair multiply-adds over k x k taps.
double ProductsAPixel(const std::string& level, int k, bool padded) {
    const double taps = double(k) * (padded ? k + k % 2 : k);
    if (level.rfind("planar, ", 0) == 0) return 3 * taps;
    if (level.rfind("split planar, ", 0) == 0) return 6 * taps;
    return -1;
}

// One route's engine time, for the table of cycles against the bound.
struct LevelTime {
    std::string frame, kernel, level;
    int k;
    double ms, mpix;
    bool chosen;
};

// Each route's cycles a pixel against its multiply-adds at the processor's
// measured rate, and at the rate six chains reach; the chosen routes'
// ratios at 3x3, 5x5 and 9x9 become targets.
void PrintBounds(const std::vector<LevelTime>& times, const MaddRates& rates, std::vector<Target>* targets) {
    const MaddRate& full = rates.full;
    const MaddRate& six = rates.sixSums;
    std::printf("\nCycles a pixel against the multiply-add bound: the products a pixel (three channels, k x k\n"
                "taps; the split path twice) over this processor's rate of pair multiply-adds, measured\n"
                "(twelve independent chains of the route's instruction; the clock, %.2f GHz, from a chain\n"
                "of dependent adds). padded: each row's taps rounded up to whole pairs; six sums: the\n"
                "padded products at the rate of six chains, the planar loop's running sums. Ratios are\n"
                "time over time, whatever the clock. Products a ns, twelve chains / six: SSE2 %.0f / %.0f,\n"
                "AVX2 %.0f / %.0f, AVX-VNNI %.0f / %.0f, AVX512BW %.0f / %.0f, AVX512BW+VNNI %.0f / %.0f.\n",
                rates.ghz, full.sse2, six.sse2, full.avx2, six.avx2, full.avxVnni, six.avxVnni, full.avx512Bw,
                six.avx512Bw, full.avx512Vnni, six.avx512Vnni);
    std::printf("| %-9s | %-17s | %-36s | %8s | %7s | %7s | %12s | %12s | %12s |\n", "frame", "kernel",
                "i686 engine route", "ns a px", "cycles", "bound", "time / bound", "over padded", "over six sums");
    std::printf("|-----------|-------------------|--------------------------------------|----------|---------|---------|"
                "--------------|--------------|--------------|\n");
    for (const LevelTime& t : times) {
        const double products = ProductsAPixel(t.level, t.k, false);
        const double padded = ProductsAPixel(t.level, t.k, true);
        const size_t comma = t.level.rfind(", ");
        const std::string simd = comma == std::string::npos ? "" : t.level.substr(comma + 2);
        const double rate = RateFor(full, simd), sixRate = RateFor(six, simd);
        if (products < 0 || rate <= 0 || sixRate <= 0 || t.ms <= 0 || rates.ghz <= 0) continue;
        const double ns = t.ms / t.mpix;  // ms a megapixel
        const double bound = products / rate;
        std::printf("| %-9s | %-17s | %-36s | %8.3f | %7.2f | %7.2f | %11.2fx | %11.2fx | %11.2fx |\n",
                    t.frame.c_str(), t.kernel.c_str(), (t.level + (t.chosen ? " *" : "")).c_str(), ns,
                    ns * rates.ghz, bound * rates.ghz, ns / bound, ns / (padded / rate), ns / (padded / sixRate));
        if (t.chosen && (t.kernel == "3x3" || t.kernel == "5x5" || t.kernel == "9x9"))
            targets->push_back({t.frame, "i686 render's route, time a pixel / multiply-add bound, " + t.kernel,
                                ns / bound, 0.0, 2.0});
    }
}

// What the rounds time again for one kernel.
struct Repeated {
    I686Figures fig;
    double cv16 = -1, cvf = -1, ours = -1;
    std::string label;
};

}  // namespace

int main(int argc, char** argv) {
    std::string i686;
    bool quick = false;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--i686") && i + 1 < argc) i686 = argv[++i];
        else if (!std::strcmp(argv[i], "--quick")) quick = true;
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
    }
#ifdef VLM_BENCH_VIPS
    if (VIPS_INIT(argv[0])) {
        std::fprintf(stderr, "libvips would not start\n");
        return 1;
    }
    vips_concurrency_set(1);
    vips_cache_set_max(0);  // every run computes afresh
#endif
#ifdef VLM_BENCH_OPENCV
    cv::setNumThreads(1);
#endif

    const std::vector<Kernel> allKernels = Kernels();
    std::vector<std::pair<int, int>> sizes = {{1920, 1080}, {3840, 2160}, {8192, 4096}};
    if (quick) sizes = {{1920, 1080}};
    std::vector<Target> targets;
    // Per kernel, ms a megapixel at 3840 x 2160: the engine's and the whole render's.
    std::map<std::string, std::pair<double, double>> at4k;
    // Per kernel and route, ms a megapixel at 3840 x 2160.
    std::map<std::string, double> levelAt4k;
    double render1080p3x3 = -1;
    std::vector<LevelTime> levelTimes;

    std::printf("Convolution of pseudo-random RGBA16 frames, one thread, median ms of 3-9 runs; of %d\n"
                "rounds taken in turn, the fastest such median (the machine is shared, and a\n"
                "neighbour's load comes in bursts longer than a row's runs).\n", rounds);
    std::printf("i686 rows: the engine as VLM.FLT ships it (cross-built, same flags and dispatch), under Wine;\n"
                "whole render: VLM.FLT's RenderFrame; floor: the same render with nothing to convolve\n"
                "(each line read once and written back once). The render's route is the one the\n"
                "timing on a first frame chose (RouteForFrame), marked * among every candidate route.\n"
                "At 8192 x 4096 neither OpenCV's 16-bit route nor libvips runs (never the fastest).\n"
                "ratio: OpenCV's fastest route / this row; or this render / the floor, the median over\n"
                "pairs of the two run back to back.\n");
    std::printf("| %-9s | %-17s | %-52s | %9s | %8s | %-24s |\n", "frame", "kernel", "method", "ms", "Mpix/s",
                "ratio");
    std::printf("|-----------|-------------------|------------------------------------------------------|-----------|"
                "----------|--------------------------|\n");
    for (auto [w, h] : sizes) {
        // At print size the peers that are never the fastest are left out:
        // their runs there take seconds each.
        const bool wide = w > 3840;
        const std::vector<Kernel>& kernels = allKernels;
        const Frame f = MakeFrame(w, h);
        const std::string frame = std::to_string(w) + "x" + std::to_string(h);
        const double mpix = w * static_cast<double>(h) / 1e6;
        Pixels dst = f.px;
        // The shipped engine and render under Wine, then the peers the
        // targets compare them with, round after round.
        std::map<std::string, Repeated> best;
        for (int round = 0; round < rounds; ++round) {
            std::map<std::string, I686Figures> shipped = RunI686(i686, frame, std::vector<std::string>());
            for (const Kernel& kn : kernels) {
                Repeated& r = best[kn.name];
                if (shipped.count(kn.name)) KeepFastest(r.fig, shipped[kn.name]);
                if (!wide) r.cv16 = Faster(r.cv16, TimeOpenCv16(f, kn));
                r.cvf = Faster(r.cvf, TimeOpenCvFloat(f, kn));
                r.ours = Faster(r.ours, TimeOurs(f, kn, ConvolveOptions(), dst, &r.label));
            }
        }
        for (const Kernel& kn : kernels) {
            const Repeated& r = best[kn.name];
            const double cv16 = r.cv16, cvf = r.cvf;
            const double cvBest = Faster(cv16, cvf);
            const I686Figures& fig = r.fig;
            const std::string chosen = fig.path + ", " + fig.simd;
            Row(frame, kn.name, "i686 engine, " + chosen + " (the render's route)", fig.engine, mpix,
                Ratio(cvBest, fig.engine, "vs OpenCV"));
            if (!fig.why.empty()) std::printf("|           |                   | chosen so: %s\n", fig.why.c_str());
            std::printf("| %-9s | %-17s | %-52s | %9.3f | %8s | %-24s |\n", frame.c_str(), kn.name.c_str(),
                        "i686 choosing the route, first frame", fig.chooseMs, "", "");
            // The render's route against the fastest, both as the rows of
            // every route time them.
            double fastestLevel = -1, chosenLevel = -1;
            for (const auto& [level, ms] : fig.levels) {
                Row(frame, kn.name, "i686 engine, " + level + (level == chosen ? " *" : ""), ms, mpix,
                    Ratio(cvBest, ms, "vs OpenCV"));
                fastestLevel = Faster(fastestLevel, ms);
                if (level == chosen) chosenLevel = ms;
                levelTimes.push_back({frame, kn.name, level, kn.k, ms, mpix, level == chosen});
                if (w == 3840) levelAt4k[kn.name + " " + level] = ms / mpix;
                if (wide && levelAt4k.count(kn.name + " " + level))
                    targets.push_back({frame, "i686 " + level + ", time a pixel / 4K's, " + kn.name,
                                       ms > 0 ? ms / mpix / levelAt4k[kn.name + " " + level] : -1, 0.0, 1.1});
            }
            targets.push_back({frame, "i686 render's route / fastest route, " + kn.name,
                               chosenLevel > 0 && fastestLevel > 0 ? chosenLevel / fastestLevel : -1, 0.0, 1.05});
            Row(frame, kn.name, "i686 whole render (VLM.FLT RenderFrame)", fig.render, mpix,
                Ratio(fig.ratio, "of floor"));
            Row(frame, kn.name, "i686 memory floor (one read and write-back pass)", fig.floor, mpix, "");
            if (fig.unselected >= 0)
                Row(frame, kn.name, "i686 render selecting no pixel (messages, ID scan)", fig.unselected, mpix,
                    Ratio(fig.unselectedRatio, "of floor"));
            Row(frame, kn.name, r.label, r.ours, mpix, Ratio(cvBest, r.ours, "vs OpenCV"));
            const double ref = TimeReference(f, kn, dst);
            Row(frame, kn.name, "native scalar reference", ref, mpix, Ratio(cvBest, ref, "vs OpenCV"));
            Row(frame, kn.name, "OpenCV filter2D 16UC4", cv16, mpix, cv16 >= 0 && cv16 == cvBest ? "fastest OpenCV" : "");
            Row(frame, kn.name, "OpenCV 16U->32F, filter2D, ->16U (inexact)", cvf, mpix,
                cvf >= 0 && cvf == cvBest ? "fastest OpenCV" : "");
            const double vips = wide ? -1 : TimeVips(f, kn);
            Row(frame, kn.name, "libvips conv, integer", vips, mpix, Ratio(cvBest, vips, "vs OpenCV"));
            std::fflush(stdout);

            const bool generic = kn.name.find('-') == std::string::npos;
            const double none = 1e9;
            if (generic)
                targets.push_back({frame, "i686 engine vs OpenCV fastest, " + kn.name,
                                   fig.engine > 0 ? cvBest / fig.engine : -1, 3.0, none});
            if (kn.name.find("large") != std::string::npos) {
                targets.push_back({frame, "i686 whole render vs OpenCV float (exact vs inexact), " + kn.name,
                                   fig.render > 0 && cvf > 0 ? cvf / fig.render : -1, 2.0, none});
                targets.push_back({frame, "i686 engine (" + chosen + ") vs OpenCV float, " + kn.name,
                                   fig.engine > 0 && cvf > 0 ? cvf / fig.engine : -1, 1.6, none});
            }
            if (w == 1920 && kn.name == "3x3") render1080p3x3 = fig.render;
            if (render1080p3x3 > 0 && w == 1920 && kn.name == "3x3")
                targets.push_back({frame, "i686 choosing the route, first frame / whole render, 3x3",
                                   fig.chooseMs >= 0 ? fig.chooseMs / render1080p3x3 : -1, 0.0, 0.02});
            if ((generic && w == 1920) || wide)
                targets.push_back({frame, "i686 whole render vs OpenCV fastest, " + kn.name,
                                   fig.render > 0 ? cvBest / fig.render : -1, 2.0, none});
            if (w == 3840) at4k[kn.name] = {fig.engine / mpix, fig.render / mpix};
            if (wide && at4k.count(kn.name)) {
                const auto [engine4k, render4k] = at4k[kn.name];
                targets.push_back({frame, "i686 engine, time a pixel / 4K's, " + kn.name,
                                   fig.engine > 0 && engine4k > 0 ? fig.engine / mpix / engine4k : -1, 0.0, 1.1});
                targets.push_back({frame, "i686 whole render, time a pixel / 4K's, " + kn.name,
                                   fig.render > 0 && render4k > 0 ? fig.render / mpix / render4k : -1, 0.0, 1.1});
            }
            if (wide && kn.name == "9x9-separable" && best.count("9x9")) {
                const I686Figures& general = best["9x9"].fig;
                targets.push_back({frame, "i686 engine, separable 9x9 / general 9x9",
                                   fig.engine > 0 && general.engine > 0 ? fig.engine / general.engine : -1, 0.0, 0.75});
                targets.push_back({frame, "i686 whole render, separable 9x9 / general 9x9",
                                   fig.render > 0 && general.render > 0 ? fig.render / general.render : -1, 0.0, 0.75});
            }
            // The render costs the floor, its messages and the engine: the
            // render that selects no pixel plus the engine. Both renders as
            // their pair ratios times this kernel's floor, which keeps the
            // load of a shared machine out of the comparison.
            const I686Figures& first = best[kernels.front().name].fig;
            const bool measured = fig.ratio > 0 && fig.floor > 0 && first.unselectedRatio > 0 && fig.engine > 0;
            targets.push_back({frame, "i686 whole render / (no pixel selected + engine), " + kn.name,
                               measured ? fig.ratio * fig.floor / (first.unselectedRatio * fig.floor + fig.engine) : -1,
                               0.0, 1.25});
            if (kn.name == "3x3")
                targets.push_back({frame, "i686 whole render / memory floor, 3x3", fig.ratio, 0.0, 2.5});
            if (fig.ringBytes >= 0) {
                targets.push_back({frame, "render's lines beyond the engine, MB, " + kn.name, fig.ringBytes / 1048576.0,
                                   0.0, 1.0});
                targets.push_back({frame, "render's memory at twice the height / at the height, " + kn.name,
                                   (fig.ringBytes + fig.scratchAtTwice) / (fig.ringBytes + fig.scratchBytes), 1.0, 1.0});
            }
        }
    }
    PrintBounds(levelTimes, MeasureMaddRates(), &targets);
    std::printf("\nTargets, from the figures above:\n");
    std::printf("| %-9s | %-68s | %7s | %8s | %-7s |\n", "frame", "target", "ratio", "goal", "met");
    std::printf("|-----------|----------------------------------------------------------------------|---------|----------|---------|\n");
    for (const Target& t : targets) {
        const bool met = t.ratio >= 0 && t.ratio >= t.low && t.ratio <= t.high;
        char goal[32];
        if (t.high >= 1e9)
            std::snprintf(goal, sizeof goal, ">=%.1fx", t.low);
        else if (t.low <= 0)
            std::snprintf(goal, sizeof goal, "<=%.2fx", t.high);
        else
            std::snprintf(goal, sizeof goal, "%.1f-%.1fx", t.low, t.high);
        if (t.ratio < 0)
            std::printf("| %-9s | %-68s | %7s | %8s | %-7s |\n", t.frame.c_str(), t.what.c_str(), "n/a", goal, "n/a");
        else
            std::printf("| %-9s | %-68s | %6.2fx | %8s | %-7s |\n", t.frame.c_str(), t.what.c_str(), t.ratio, goal,
                        met ? "met" : "not met");
    }
#ifdef VLM_BENCH_VIPS
    vips_shutdown();
#endif
    return 0;
}
