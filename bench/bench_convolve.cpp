// Times the convolution engine against its scalar reference, OpenCV, libvips,
// the memory floor and the real plug-in under Wine, and prints one table.
// Figures are medians of several runs on one thread.
#include <png.h>
#include <vips/vips.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "plugin/kernel_params.h"
#include "render/convolve_reference.h"
#include "render/convolver.h"

namespace {

using Pixels = std::vector<BMM_Color_64>;

struct Kernel {
    std::string name;
    int k;
    std::vector<int32_t> block;
    int32_t divide;
    int32_t offset;
};

struct Frame {
    int w, h;
    Pixels px;
};

double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Median of at least 3 and at most 7 runs, stopping after about 4 s.
double Median(const std::function<void()>& run) {
    run();  // warm-up: page faults, first-touch, lazy set-up of the peers
    std::vector<double> t;
    const double start = NowMs();
    while (t.size() < 7 && (t.size() < 3 || NowMs() - start < 4000)) {
        const double t0 = NowMs();
        run();
        t.push_back(NowMs() - t0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

uint32_t g_seed = 12345;
uint32_t Next() {
    g_seed ^= g_seed << 13;
    g_seed ^= g_seed >> 17;
    g_seed ^= g_seed << 5;
    return g_seed;
}

Frame MakeFrame(int w, int h) {
    Frame f{w, h, Pixels(static_cast<size_t>(w) * h)};
    for (auto& p : f.px) {
        const uint32_t a = Next(), b = Next();
        p = {static_cast<uint16_t>(a), static_cast<uint16_t>(a >> 16), static_cast<uint16_t>(b),
             static_cast<uint16_t>(b >> 16)};
    }
    return f;
}

Kernel Generic(int k) {
    Kernel kn{std::to_string(k) + "x" + std::to_string(k), k, std::vector<int32_t>(k * k), 0, 0};
    int32_t sum = 0;
    for (auto& w : kn.block) {
        w = static_cast<int32_t>(Next() % 12) - 2;
        sum += w;
    }
    kn.divide = sum > 0 ? sum : 1;
    return kn;
}

Kernel SeparableKernel() {
    const int32_t t[9] = {1, 2, 3, 4, 5, 4, 3, 2, 1};
    Kernel kn{"9x9 separable", 9, std::vector<int32_t>(81), 625, 0};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) kn.block[r * 9 + c] = t[r] * t[c];
    return kn;
}

// Weights whose sums need more than 32 bits: the engine's exact wide path.
Kernel LargeWeights() {
    Kernel kn{"5x5 large weights", 5, std::vector<int32_t>(25), 0, 0};
    int64_t sum = 0;
    for (auto& w : kn.block) {
        w = 100000 + static_cast<int32_t>(Next() % 50000);
        sum += w;
    }
    kn.divide = static_cast<int32_t>(sum);
    return kn;
}

const char* PathName(ConvolvePath p) {
    switch (p) {
        case ConvolvePath::kReference: return "scalar";
        case ConvolvePath::kWide: return "wide int64";
        case ConvolvePath::kDouble: return "double";
        case ConvolvePath::kPlanar: return "planar";
        case ConvolvePath::kSeparable: return "separable";
    }
    return "?";
}

const char* SimdName(SimdLevel s) {
    return s == SimdLevel::kAvx2 ? "AVX2" : s == SimdLevel::kSse2 ? "SSE2" : "no SIMD";
}

double TimeOurs(const Frame& f, const Kernel& kn, const ConvolveOptions& options, Pixels& dst, std::string* label) {
    Convolver cv;
    const double ms = Median([&] {
        cv.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, f.h, options);
        for (int y = 0; y < f.h; ++y) cv.FilterLine(f.px.data(), dst.data(), y, ChannelSelection());
    });
    *label = std::string("ours, ") + PathName(cv.path()) + ", " + SimdName(cv.simd());
    return ms;
}

// The whole render as the plug-in does it, natively: two fresh zero-filled
// copies of the host's frame made a line at a time, every line convolved,
// every line written back, both copies freed. This is what the plug-in under
// Wine is measured against; the engine-only rows leave out the copies.
double TimeWholeRender(const Frame& f, const Kernel& kn, Pixels& host) {
    return Median([&] {
        const size_t n = f.px.size(), line = size_t(f.w) * sizeof(BMM_Color_64);
        auto* result = static_cast<BMM_Color_64*>(std::calloc(n, sizeof(BMM_Color_64)));
        auto* source = static_cast<BMM_Color_64*>(std::calloc(n, sizeof(BMM_Color_64)));
        for (BMM_Color_64* copy : {result, source})
            for (int y = 0; y < f.h; ++y) std::memcpy(copy + size_t(y) * f.w, host.data() + size_t(y) * f.w, line);
        Convolver cv;
        cv.Prepare(kn.block.data(), kn.k, kn.divide, kn.offset, 0, f.w, f.h);
        for (int y = 0; y < f.h; ++y) cv.FilterLine(source, result, y, ChannelSelection());
        for (int y = 0; y < f.h; ++y) std::memcpy(host.data() + size_t(y) * f.w, result + size_t(y) * f.w, line);
        std::free(source);
        std::free(result);
    });
}

double TimeReference(const Frame& f, const Kernel& kn, Pixels& dst) {
    const KernelArgs ks{kn.block.data(), kn.k, kn.divide, kn.offset, 0};
    return Median([&] { ReferenceFrame(f.px.data(), dst.data(), f.w, f.h, ks); });
}

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

double TimeMemcpy3(const Frame& f, std::vector<Pixels>& copies) {
    const size_t bytes = f.px.size() * sizeof(BMM_Color_64);
    return Median([&] {
        for (auto& c : copies) std::memcpy(c.data(), f.px.data(), bytes);
    });
}

bool WritePng(const std::string& path, const Frame& f) {
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(fp);
        return false;
    }
    png_init_io(png, fp);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, f.w, f.h, 16, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(f.w) * 8);
    for (int y = 0; y < f.h; ++y) {
        for (int x = 0; x < f.w; ++x) {
            const BMM_Color_64& p = f.px[static_cast<size_t>(y) * f.w + x];
            const uint16_t v[4] = {p.r, p.g, p.b, p.a};
            for (int c = 0; c < 4; ++c) {  // PNG samples are big-endian
                row[x * 8 + 2 * c] = static_cast<png_byte>(v[c] >> 8);
                row[x * 8 + 2 * c + 1] = static_cast<png_byte>(v[c]);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(fp) == 0;
}

bool WriteConfig(const std::string& path, const Kernel& kn) {
    KernelParams p = DefaultParams();
    p.source = kSourceWhole;
    p.kernel.kernelSize = kn.k;
    const int s = BlockStart(kn.k);
    for (int r = 0; r < kn.k; ++r)
        for (int c = 0; c < kn.k; ++c) p.kernel.weights[kGridSide * (s + r) + s + c] = kn.block[r * kn.k + c];
    p.kernel.divide = kn.divide;
    p.kernel.offset = kn.offset;
    p.kernel.invert = 0;
    std::snprintf(p.name, sizeof p.name, "bench %s", kn.name.c_str());
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp) return false;
    const bool ok = std::fwrite(&p, sizeof p, 1, fp) == 1;
    return std::fclose(fp) == 0 && ok;
}

// render-ms printed by minihost, median of 3 runs; -1 when it fails.
double TimeMinihost(const std::string& exe, const std::string& in, const std::string& out, const std::string& cfg) {
    std::vector<double> t;
    for (int i = 0; i < 3; ++i) {
        const std::string cmd = "wine '" + exe + "' render 'Z:" + in + "' 'Z:" + out + "' --config 'Z:" + cfg +
                                "' --time 2>/dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return -1;
        char line[256];
        double ms = -1;
        while (std::fgets(line, sizeof line, p))
            if (std::strncmp(line, "render-ms ", 10) == 0) ms = std::atof(line + 10);
        if (pclose(p) != 0 || ms < 0) return -1;
        t.push_back(ms);
    }
    std::sort(t.begin(), t.end());
    return t[1];
}

void Row(const std::string& frame, const std::string& kernel, const std::string& method, double ms, double mpix,
         const std::string& ratio) {
    if (ms < 0) {
        std::printf("| %-9s | %-17s | %-42s | %9s | %8s | %-22s |\n", frame.c_str(), kernel.c_str(), method.c_str(),
                    "n/a", "n/a", ratio.c_str());
        return;
    }
    std::printf("| %-9s | %-17s | %-42s | %9.1f | %8.1f | %-22s |\n", frame.c_str(), kernel.c_str(), method.c_str(),
                ms, mpix / (ms / 1000.0), ratio.c_str());
}

std::string Ratio(double peer, double ours, const char* what) {
    if (peer < 0 || ours <= 0) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2fx %s", peer / ours, what);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    std::string minihost, work = "/tmp/vlm-bench";
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--minihost") && i + 1 < argc) minihost = argv[++i];
        else if (!std::strcmp(argv[i], "--work") && i + 1 < argc) work = argv[++i];
        else if (!std::strcmp(argv[i], "--quick")) quick = true;
    }
    if (VIPS_INIT(argv[0])) {
        std::fprintf(stderr, "libvips would not start\n");
        return 1;
    }
    vips_concurrency_set(1);
    vips_cache_set_max(0);  // every run computes afresh
    cv::setNumThreads(1);
    struct stat st;
    const bool haveMinihost = !minihost.empty() && stat(minihost.c_str(), &st) == 0;
    if (haveMinihost) mkdir(work.c_str(), 0755);

    std::vector<Kernel> kernels = {Generic(3), Generic(5), Generic(9), SeparableKernel(), LargeWeights()};
    std::vector<std::pair<int, int>> sizes = {{1920, 1080}, {3840, 2160}};
    if (quick) sizes = {{1920, 1080}};

    std::printf("Convolution of pseudo-random RGBA16 frames, one thread, median of 3-7 runs; "
                "ratio = peer time / our time (memory floor: our time / floor).\n");
    std::printf("| %-9s | %-17s | %-42s | %9s | %8s | %-22s |\n", "frame", "kernel", "method", "ms", "Mpix/s",
                "ratio");
    std::printf("|-----------|-------------------|--------------------------------------------|-----------|----------|"
                "------------------------|\n");
    for (auto [w, h] : sizes) {
        const Frame f = MakeFrame(w, h);
        const std::string frame = std::to_string(w) + "x" + std::to_string(h);
        const double mpix = w * static_cast<double>(h) / 1e6;
        Pixels dst = f.px;
        std::vector<Pixels> copies(3, Pixels(f.px.size()));
        const double floor = TimeMemcpy3(f, copies);
        copies.clear();
        const std::string png = work + "/in-" + frame + ".png", outPng = work + "/out-" + frame + ".png";
        const bool pngOk = haveMinihost && WritePng(png, f);
        for (const Kernel& kn : kernels) {
            std::string label;
            const double ours = TimeOurs(f, kn, ConvolveOptions(), dst, &label);
            Row(frame, kn.name, label, ours, mpix, "");
            if (SimdAvailable(SimdLevel::kSse2) && BestSimdLevel() != SimdLevel::kSse2) {
                ConvolveOptions sse2;
                sse2.simd = SimdLevel::kSse2;
                std::string l2;
                const double t = TimeOurs(f, kn, sse2, dst, &l2);
                Row(frame, kn.name, l2, t, mpix, Ratio(t, ours, "slower"));
            }
            if (kn.name.find("separable") != std::string::npos) {
                ConvolveOptions flat;
                flat.allowSeparable = false;
                std::string l2;
                const double t = TimeOurs(f, kn, flat, dst, &l2);
                Row(frame, kn.name, l2, t, mpix, Ratio(t, ours, "slower"));
            }
            const double ref = TimeReference(f, kn, dst);
            Row(frame, kn.name, "scalar reference", ref, mpix, Ratio(ref, ours, "faster"));
            const double cv16 = TimeOpenCv16(f, kn);
            Row(frame, kn.name, "OpenCV filter2D 16UC4", cv16, mpix, Ratio(cv16, ours, "faster"));
            const double cvf = TimeOpenCvFloat(f, kn);
            Row(frame, kn.name, "OpenCV 16U->32F, filter2D, ->16U", cvf, mpix, Ratio(cvf, ours, "faster"));
            const double vips = TimeVips(f, kn);
            Row(frame, kn.name, "libvips conv, integer", vips, mpix, Ratio(vips, ours, "faster"));
            double host = -1;
            if (pngOk) {
                const std::string cfg = work + "/cfg-" + std::to_string(kn.k) + "-" + std::to_string(kn.divide) + ".bin";
                if (WriteConfig(cfg, kn)) host = TimeMinihost(minihost, png, outPng, cfg);
            }
            Pixels hostFrame = f.px;
            const double whole = TimeWholeRender(f, kn, hostFrame);
            Row(frame, kn.name, "whole render, native (2 copies+conv+back)", whole, mpix, Ratio(whole, floor, "of floor"));
            Row(frame, kn.name, "VLM.FLT in minihost (Wine, i686)", host, mpix, Ratio(host, whole, "of native whole"));
            Row(frame, kn.name, "memory floor: memcpy of three frames", floor, mpix, Ratio(ours, floor, "of floor"));
        }
    }
    vips_shutdown();
    return 0;
}
