// RenderFrame as the host drives it: the frame in a host bitmap, the
// filter's configuration, a progress window that records every message.
// Results are checked pixel by pixel against a plain 64-bit oracle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "host/progress.h"
#include "hostlib/host_control.h"
#include "params/kernel_params.h"
#include "render/convolve_budget.h"
#include "render/convolve_reference.h"
#include "render/convolve_route.h"
#include "render/convolver.h"
#include "tests/support/convolution_oracle.h"
#include "tests/win/support/win_support.h"

namespace {

struct Message {
    UINT id;
    WPARAM wParam;
    LPARAM lParam;
    int32_t flagSeen;
};

// Records the progress messages; answers the abort query of one line.
class Recorder {
public:
    explicit Recorder(int abortAtLine = -1) : abortAt_(abortAtLine) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "RenderRecorder";
        RegisterClassA(&wc);
        window_ = CreateWindowA("RenderRecorder", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Recorder() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }
    std::vector<Message> messages;

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Recorder*>(GetWindowLongPtrA(w, GWLP_USERDATA));
        if (self && (m == kProgressMessage || m == kAbortQuery)) {
            int32_t flag = -7;
            if (m == kAbortQuery && lp) {
                auto* p = reinterpret_cast<int32_t*>(lp);
                flag = *p;
                if (!self->messages.empty() && int(self->messages.back().wParam) == self->abortAt_) *p = 1;
            }
            self->messages.push_back({m, wp, lp, flag});
            return 0;
        }
        return DefWindowProcA(w, m, wp, lp);
    }
    HWND window_ = nullptr;
    int abortAt_;
};

struct Frame {
    int w, h;
    std::vector<BMM_Color_64> px;
    std::vector<uint8_t> material;
    std::vector<uint16_t> object;
};

Frame RandomFrame(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    Frame f{w, h, std::vector<BMM_Color_64>(size_t(w) * h), {}, {}};
    for (auto& p : f.px) p = {uint16_t(rng()), uint16_t(rng()), uint16_t(rng()), uint16_t(rng())};
    return f;
}

using Kernel = OracleKernel;

BMM_Color_64 Oracle(const Frame& f, int x, int y, const Kernel& kn) {
    uint16_t rgb[3];
    OraclePixel(kn, f.w, f.h, x, y, [&](int sx, int sy, int c) {
        const BMM_Color_64& p = f.px[size_t(sy) * f.w + sx];
        return c == 0 ? p.r : c == 1 ? p.g : p.b;
    }, rgb);
    return {rgb[0], rgb[1], rgb[2], f.px[size_t(y) * f.w + x].a};
}

KernelParams ParamsFor(const Kernel& kn, int32_t source = kSourceWhole) {
    KernelParams p = DefaultParams();
    p.source = source;
    p.kernel.kernelSize = kn.k;
    PlaceKernel(kn.block.data(), kn.k, p.kernel.weights);
    p.kernel.divide = kn.divide;
    p.kernel.offset = kn.offset;
    p.kernel.invert = kn.invert;
    return p;
}

class RenderTest : public PluginFilterTest {
protected:
    // Renders f with p; answers the frame as the host holds it afterwards.
    std::vector<BMM_Color_64> Render(const Frame& f, KernelParams p, HWND progress, int* result = nullptr,
                                     MemoryStorage** keep = nullptr) {
        EXPECT_EQ(filter->LoadConfigure(&p), 1);
        storage = std::make_unique<MemoryStorage>(uint16_t(f.w), uint16_t(f.h));
        std::copy(f.px.begin(), f.px.end(), storage->Pixels());
        if (!f.material.empty()) std::copy(f.material.begin(), f.material.end(), storage->AddMaterialChannel());
        if (!f.object.empty()) std::copy(f.object.begin(), f.object.end(), storage->AddObjectChannel());
        Bitmap bitmap(storage.get());
        filter->SetSource(&bitmap);
        const int r = filter->RenderFrame(progress);
        filter->SetSource(nullptr);
        if (result) *result = r;
        if (keep) *keep = storage.get();
        return std::vector<BMM_Color_64>(storage->Pixels(), storage->Pixels() + f.px.size());
    }

    std::unique_ptr<MemoryStorage> storage;
};

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// Every pixel: selected ones equal the oracle, the others the input.
void ExpectFiltered(const Frame& f, const std::vector<BMM_Color_64>& out, const Kernel& kn,
                    const std::vector<bool>& selected, int lastLine = -1) {
    if (lastLine < 0) lastLine = f.h - 1;
    int wrong = 0;
    for (int y = 0; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x) {
            const size_t i = size_t(y) * f.w + x;
            const BMM_Color_64 want = selected[i] && y <= lastLine ? Oracle(f, x, y, kn) : f.px[i];
            if (!Same(out[i], want) && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") k=" << kn.k << ": got " << out[i].r << ","
                              << out[i].g << "," << out[i].b << "," << out[i].a << " want " << want.r << ","
                              << want.g << "," << want.b << "," << want.a;
        }
    EXPECT_EQ(wrong, 0);
}

Kernel RandomKernel(int k, std::mt19937& rng, int32_t lo, int32_t hi) {
    Kernel kn{k, std::vector<int32_t>(size_t(k) * k)};
    std::uniform_int_distribution<int32_t> d(lo, hi);
    for (auto& w : kn.block) w = d(rng);
    kn.divide = std::uniform_int_distribution<int32_t>(-40, 40)(rng);
    kn.offset = std::uniform_int_distribution<int32_t>(-70000, 70000)(rng);
    kn.invert = std::uniform_int_distribution<int32_t>(0, 2)(rng);
    return kn;
}

TEST_F(RenderTest, WholeFrameMatchesTheOracleForEverySize) {
    std::mt19937 rng(11);
    for (int k : {3, 5, 7, 9})
        for (auto wh : {std::pair<int, int>{23, 17}, {1, 1}, {1, 6}, {6, 1}, {2, 2}, {k - 1, k + 2}}) {
            const Frame f = RandomFrame(wh.first, wh.second, rng());
            const Kernel kn = RandomKernel(k, rng, -300, 300);
            Recorder progress;
            int result = 0;
            MemoryStorage* s = nullptr;
            const auto out = Render(f, ParamsFor(kn), progress.Handle(), &result, &s);
            EXPECT_EQ(result, 1);
            EXPECT_EQ(s->linesWritten, f.h) << "every line goes back";
            ExpectFiltered(f, out, kn, std::vector<bool>(f.px.size(), true));
        }
}

// Random frames, kernels, sources, IDs and channels through the real DLL:
// which pixels change follows from the source and the channels alone.
TEST_F(RenderTest, RandomConfigurationsMatchTheOracle) {
    std::mt19937 rng(77);
    const std::pair<int, int> shapes[] = {{1, 1}, {2, 2}, {1, 9}, {9, 1}, {13, 7}, {4, 11}};
    const int32_t divides[] = {0, 1, -1, -3, 5, 9, 100};
    const int32_t sources[] = {kSourceWhole, kSourceMaterial, kSourceObject, 1012};
    for (int round = 0; round < 60; ++round) {
        const auto [w, h] = shapes[rng() % 6];
        Frame f = RandomFrame(w, h, rng());
        const bool hasMaterial = rng() % 4 != 0, hasObject = rng() % 4 != 0;
        if (hasMaterial) f.material.resize(f.px.size());
        if (hasObject) f.object.resize(f.px.size());
        for (auto& m : f.material) m = uint8_t(rng() % 3);
        for (auto& o : f.object) o = uint16_t(rng() % 3);
        Kernel kn = RandomKernel(3 + 2 * int(rng() % 4), rng, -200, 200);
        kn.divide = divides[rng() % 7];
        KernelParams p = ParamsFor(kn, sources[rng() % 4]);
        p.materialId = int32_t(rng() % 3);
        p.objectId = int32_t(rng() % 3);

        std::vector<bool> sel(f.px.size(), false);
        for (size_t i = 0; i < sel.size(); ++i) {
            if (p.source == kSourceWhole) sel[i] = true;
            if (p.source == kSourceMaterial && hasMaterial) sel[i] = f.material[i] == p.materialId;
            if (p.source == kSourceObject && hasObject) sel[i] = f.object[i] == p.objectId;
        }
        SCOPED_TRACE("round " + std::to_string(round) + " source " + std::to_string(p.source));
        ExpectFiltered(f, Render(f, p, nullptr), kn, sel);
    }
}

TEST_F(RenderTest, BoxBlurOnAUniformFrameShowsTheBorders) {
    Frame f{5, 4, std::vector<BMM_Color_64>(20, BMM_Color_64{900, 900, 900, 1234}), {}, {}};
    Kernel box{3, std::vector<int32_t>(9, 1), 9, 0, 0};
    const auto out = Render(f, ParamsFor(box), nullptr);
    auto at = [&](int x, int y) { return out[size_t(y) * 5 + x]; };
    EXPECT_EQ(at(2, 1).r, 900);
    EXPECT_EQ(at(2, 0).g, 600);
    EXPECT_EQ(at(0, 2).b, 600);
    EXPECT_EQ(at(0, 0).r, 400);
    EXPECT_EQ(at(4, 3).r, 400);
    EXPECT_EQ(at(4, 3).a, 1234);
}

TEST_F(RenderTest, ArithmeticEdges) {
    const Frame f = RandomFrame(9, 8, 5);
    std::vector<bool> all(f.px.size(), true);
    Kernel identity{3, {0, 0, 0, 0, 1, 0, 0, 0, 0}};
    ExpectFiltered(f, Render(f, ParamsFor(identity), nullptr), identity, all);
    for (int32_t invert : {0, 1, 2, -1}) {
        Kernel zero{5, std::vector<int32_t>(25, 0), 1, 0, invert};
        ExpectFiltered(f, Render(f, ParamsFor(zero), nullptr), zero, all);
    }
    Kernel divideZero{3, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 0, 100, 0};
    ExpectFiltered(f, Render(f, ParamsFor(divideZero), nullptr), divideZero, all);
    Kernel negativeDivide{3, {0, 0, 0, 0, 7, 0, 0, 0, 0}, -2, 70000, 0};
    ExpectFiltered(f, Render(f, ParamsFor(negativeDivide), nullptr), negativeDivide, all);
}

// Weights far beyond what 32-bit sums hold come out exact, and a Divide of
// -1 with the most negative sums does not trap.
TEST_F(RenderTest, HugeWeightsAreExact) {
    std::mt19937 rng(3);
    const Frame f = RandomFrame(12, 10, 9);
    std::vector<bool> all(f.px.size(), true);
    for (int k : {3, 9}) {
        Kernel big = RandomKernel(k, rng, INT32_MIN, INT32_MAX);
        ExpectFiltered(f, Render(f, ParamsFor(big), nullptr), big, all);
        Kernel allMin{k, std::vector<int32_t>(size_t(k) * k, INT32_MIN), -1, INT32_MIN, 1};
        ExpectFiltered(f, Render(f, ParamsFor(allMin), nullptr), allMin, all);
        Kernel justOver{k, std::vector<int32_t>(size_t(k) * k, 32768 / (k * k) + 1), 1, -1000000, 0};
        ExpectFiltered(f, Render(f, ParamsFor(justOver), nullptr), justOver, all);
    }
}

TEST_F(RenderTest, SelectsByMaterialAndObjectIds) {
    std::mt19937 rng(21);
    Frame f = RandomFrame(16, 11, 4);
    f.material.resize(f.px.size());
    f.object.resize(f.px.size());
    for (size_t i = 0; i < f.px.size(); ++i) {
        f.material[i] = uint8_t(rng() % 4 == 0 ? 3 : (i % 2 ? 200 : 1));
        f.object[i] = uint16_t(rng() % 3 == 0 ? 40000 : 7);
    }
    Kernel kn = RandomKernel(5, rng, -50, 50);

    KernelParams p = ParamsFor(kn, kSourceMaterial);
    p.materialId = 3;
    p.objectId = 7;  // not consulted
    std::vector<bool> sel(f.px.size());
    for (size_t i = 0; i < sel.size(); ++i) sel[i] = f.material[i] == 3;
    ExpectFiltered(f, Render(f, p, nullptr), kn, sel);

    p.materialId = 200;  // bytes read without sign
    for (size_t i = 0; i < sel.size(); ++i) sel[i] = f.material[i] == 200;
    ExpectFiltered(f, Render(f, p, nullptr), kn, sel);

    p = ParamsFor(kn, kSourceObject);
    p.objectId = 40000;
    p.materialId = 3;
    for (size_t i = 0; i < sel.size(); ++i) sel[i] = f.object[i] == 40000;
    ExpectFiltered(f, Render(f, p, nullptr), kn, sel);

    // Whole image never looks at a channel, whatever the IDs say.
    p = ParamsFor(kn, kSourceWhole);
    p.objectId = 40000;
    p.materialId = 3;
    ExpectFiltered(f, Render(f, p, nullptr), kn, std::vector<bool>(f.px.size(), true));

    // The largest ID of each channel, carried on a line by one pixel only, at
    // each edge of the blocks the render scans a line's IDs in.
    Frame edges = RandomFrame(128, 4, 6);
    for (int x : {15, 16, 31, 32, 63, 64}) {
        edges.material.assign(edges.px.size(), 254);
        edges.object.assign(edges.px.size(), 65534);
        sel.assign(edges.px.size(), false);
        for (int y = 1; y < edges.h; y += 2) {
            const size_t i = size_t(y) * edges.w + x;
            edges.material[i] = 255;
            edges.object[i] = 65535;
            sel[i] = true;
        }
        for (int32_t source : {kSourceMaterial, kSourceObject}) {
            p = ParamsFor(kn, source);
            p.materialId = 255;
            p.objectId = 65535;
            SCOPED_TRACE(testing::Message() << "x = " << x << ", source " << source);
            ExpectFiltered(edges, Render(edges, p, nullptr), kn, sel);
        }
    }
}

TEST_F(RenderTest, IdsThatMatchNothingStillReportEveryLine) {
    Frame f = RandomFrame(6, 5, 8);
    f.material.assign(f.px.size(), 255);
    f.object.assign(f.px.size(), 65535);
    Kernel kn{3, std::vector<int32_t>(9, 2), 3, 5, 0};
    const std::vector<bool> none(f.px.size(), false);
    for (int32_t id : {256, -1, -5, 70000}) {
        KernelParams p = ParamsFor(kn, kSourceMaterial);
        p.materialId = id;
        Recorder progress;
        ExpectFiltered(f, Render(f, p, progress.Handle()), kn, none);
        EXPECT_EQ(progress.messages.size(), 2u * f.h) << id;
        p = ParamsFor(kn, kSourceObject);
        p.objectId = id == 256 ? 65536 : id;
        ExpectFiltered(f, Render(f, p, nullptr), kn, none);
    }
}

TEST_F(RenderTest, ProgressMessagesComeInPairsBeforeEachLine) {
    const Frame f = RandomFrame(4, 7, 1);
    Recorder progress;
    Render(f, ParamsFor(Kernel{3, std::vector<int32_t>(9, 1), 9}), progress.Handle());
    ASSERT_EQ(progress.messages.size(), 14u);
    for (int y = 0; y < 7; ++y) {
        const Message& m = progress.messages[2 * y];
        const Message& q = progress.messages[2 * y + 1];
        EXPECT_EQ(m.id, kProgressMessage);
        EXPECT_EQ(m.wParam, WPARAM(y));
        EXPECT_EQ(m.lParam, LPARAM(6));
        EXPECT_EQ(q.id, kAbortQuery);
        EXPECT_EQ(q.wParam, 0u);
        EXPECT_NE(q.lParam, 0);
        EXPECT_EQ(q.flagSeen, 0);
    }
}

TEST_F(RenderTest, AbortStopsBeforeTheLineAndWritesEverythingBack) {
    std::mt19937 rng(2);
    const Frame f = RandomFrame(9, 20, 6);
    const Kernel kn = RandomKernel(3, rng, -9, 9);
    Recorder progress(10);
    int result = 0;
    MemoryStorage* s = nullptr;
    const auto out = Render(f, ParamsFor(kn), progress.Handle(), &result, &s);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(progress.messages.size(), 22u);
    EXPECT_EQ(progress.messages[20].wParam, 10u);
    EXPECT_EQ(s->linesWritten, 20);
    ExpectFiltered(f, out, kn, std::vector<bool>(f.px.size(), true), 9);
}

TEST_F(RenderTest, SkippedConvolutionsLeaveTheFrameAndSendNothing) {
    const Frame f = RandomFrame(7, 6, 12);
    const Kernel kn{3, std::vector<int32_t>(9, 1), 1};
    const std::vector<bool> none(f.px.size(), false);
    KernelParams noChannel = ParamsFor(kn, kSourceObject);  // the frame has no object channel
    KernelParams badSource = ParamsFor(kn, 1012);
    KernelParams badSize = ParamsFor(kn);
    badSize.kernel.kernelSize = 4;  // only a loaded configuration can hold this
    KernelParams hugeSize = ParamsFor(kn);
    hugeSize.kernel.kernelSize = 1 << 30;
    for (const KernelParams& p : {noChannel, badSource, badSize, hugeSize}) {
        Recorder progress;
        int result = 0;
        MemoryStorage* s = nullptr;
        const auto out = Render(f, p, progress.Handle(), &result, &s);
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(progress.messages.empty());
        EXPECT_EQ(s->linesWritten, f.h);
        ExpectFiltered(f, out, kn, none);
    }
}

TEST_F(RenderTest, EmptyFrames) {
    Recorder progress;
    int result = 0;
    Render(Frame{5, 0, {}, {}, {}}, ParamsFor(Kernel{3, std::vector<int32_t>(9, 1)}), progress.Handle(), &result);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(progress.messages.empty());
    Render(Frame{0, 5, {}, {}, {}}, ParamsFor(Kernel{3, std::vector<int32_t>(9, 1)}), progress.Handle(), &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(progress.messages.size(), 10u);
}

// A frame that counts the reads and writes of each line, and fails the
// read of one line.
class RecordingStorage final : public BitmapStorage {
public:
    RecordingStorage(const Frame& f, int failLine)
        : BitmapStorage(uint16_t(f.w), uint16_t(f.h)), px(f.px), material(f.material), object(f.object),
          reads(size_t(f.h)), writes(size_t(f.h)), failLine_(failLine) {}
    int ReadLine(int x, int y, int count, BMM_Color_64* dst) override {
        ++reads.at(size_t(y));
        if (y == failLine_ || x != 0 || count != Width()) return 0;
        std::copy_n(px.begin() + size_t(y) * Width(), count, dst);
        return 1;
    }
    int WriteLine(int x, int y, int count, const BMM_Color_64* src) override {
        ++writes.at(size_t(y));
        if (x != 0 || count != Width()) return 0;
        std::copy_n(src, count, px.begin() + size_t(y) * Width());
        return 1;
    }
    void* ChannelArray(uint32_t channel, uint32_t* type) override {
        *type = channel;
        if (channel == kMaterialChannel && !material.empty()) return material.data();
        if (channel == kObjectChannel && !object.empty()) return object.data();
        return nullptr;
    }
    std::vector<BMM_Color_64> px;
    std::vector<uint8_t> material;
    std::vector<uint16_t> object;
    std::vector<int> reads, writes;

private:
    int failLine_;
};

// The streaming render through the host's bitmap on small frames of every
// awkward shape, against the scalar reference run on the frame as the render
// could read it (a line whose read fails is zeros). Every line is read once
// and written once; the order of reads, questions and writes is the pass
// loop's, held by the native FrameStream tests.
TEST_F(RenderTest, StreamsEveryShapeBitForBit) {
    // kObjectBand: the object covers some pixels of lines 6 to 8 only, so
    // most lines have nothing selected and go back as read between lines
    // that are filtered.
    enum Ids { kNone, kMaterialIds, kObjectIds, kObjectBand };
    struct Case {
        const char* name;
        int w, h, k;
        int32_t source;
        Ids ids;    // the channel the frame carries
        int stopAt; // line whose abort query answers stop, or -1
        int failRead;
        int32_t weightRange = 40;
        bool rankOne = false;  // the separable pass
    };
    // This processor's edges (convolve_budget.h): the widest 9x9 frame whose
    // separable sums fit, beyond it the strips, and a strip edge past it.
    KernelTraits rankOne9;
    rankOne9.k = 9;
    rankOne9.separable = true;
    const ConvolveRoute route = ChooseRoute(HostCpuFeatures(), rankOne9, ConvolveOptions());
    const int sumsEdge = int(KnownCaches(HostCpuFeatures().cache).l2 / 2 / (9 * 3 * sizeof(int32_t)));
    const int strip = StripColumns(HostCpuFeatures().cache, KernelsFor(route.simd)->blockPixels);
    const int stripEdge = (sumsEdge / strip + 1) * strip;
    const Case cases[] = {
        {"0 x 0", 0, 0, 3, kSourceWhole, kNone, -1, -1},
        {"width 0", 0, 5, 5, kSourceWhole, kNone, -1, -1},
        {"one line", 7, 1, 5, kSourceWhole, kNone, -1, -1},
        {"fewer lines than k", 6, 3, 9, kSourceWhole, kNone, -1, -1},
        {"narrower than k", 2, 11, 7, kSourceWhole, kNone, -1, -1},
        {"3x3", 37, 12, 3, kSourceWhole, kNone, -1, -1},
        {"7x7", 40, 13, 7, kSourceWhole, kNone, -1, -1},
        {"9x9 weights beyond 32-bit sums", 19, 14, 9, kSourceWhole, kNone, -1, -1, 2000000000},
        {"5x5 weights split in 16-bit parts", 23, 9, 5, kSourceWhole, kNone, -1, -1, 1000000},
        {"material IDs", 33, 15, 5, kSourceMaterial, kMaterialIds, -1, -1},
        {"object IDs", 29, 16, 9, kSourceObject, kObjectIds, -1, -1},
        {"missing object channel", 21, 10, 3, kSourceObject, kMaterialIds, -1, -1},
        {"unknown source", 21, 10, 3, 1012, kNone, -1, -1},
        {"stop at line 0", 17, 12, 5, kSourceWhole, kNone, 0, -1},
        {"stop at line 1", 17, 12, 7, kSourceWhole, kNone, 1, -1},
        {"stop in the middle, IDs", 17, 12, 9, kSourceObject, kObjectIds, 6, -1},
        {"object on a few lines", 29, 16, 7, kSourceObject, kObjectBand, -1, -1},
        {"object on a few lines, 3x3", 18, 13, 3, kSourceObject, kObjectBand, -1, -1},
        {"stop before the object's lines", 29, 16, 5, kSourceObject, kObjectBand, 4, -1},
        {"stop at the last line", 17, 12, 3, kSourceWhole, kNone, 11, -1},
        {"a read that fails", 26, 11, 5, kSourceWhole, kNone, -1, 4},
        {"a read that fails after a stop", 26, 11, 3, kSourceWhole, kNone, 3, 9},
        {"9x9 rank 1, the widest whose sums fit", sumsEdge, 6, 9, kSourceWhole, kNone, -1, -1, 6, true},
        {"9x9 rank 1, a column wider: strips, IDs", sumsEdge + 1, 6, 9, kSourceObject, kObjectIds, -1, -1, 6, true},
        {"strips, a column short of a strip edge", stripEdge - 1, 5, 9, kSourceWhole, kNone, -1, -1, 6, true},
        {"strips, at a strip edge, IDs", stripEdge, 6, 9, kSourceObject, kObjectIds, -1, -1, 6, true},
        {"strips, a column past a strip edge, stop", stripEdge + 1, 7, 9, kSourceWhole, kNone, 4, -1, 6, true},
        {"planar, a column past a strip edge, IDs", stripEdge + 1, 5, 9, kSourceObject, kObjectIds, -1, -1},
        {"split, a column past the sums' edge", sumsEdge + 1, 5, 5, kSourceWhole, kNone, -1, -1, 1000000},
    };
    std::mt19937 rng(77);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frame f = RandomFrame(c.w, c.h, rng());
        const size_t n = f.px.size();
        if (c.ids == kMaterialIds)
            for (size_t i = 0; i < n; ++i) f.material.push_back(uint8_t(rng() % 3));
        if (c.ids == kObjectIds)
            for (size_t i = 0; i < n; ++i) f.object.push_back(uint16_t(rng() % 3 + 700));
        if (c.ids == kObjectBand)
            for (size_t i = 0; i < n; ++i) {
                const size_t y = i / c.w;
                f.object.push_back(uint16_t(y >= 6 && y <= 8 && rng() % 2 ? 701 : 700 + 2 * (rng() % 2)));
            }
        const bool objects = c.ids == kObjectIds || c.ids == kObjectBand;
        Kernel kn = RandomKernel(c.k, rng, -c.weightRange, c.weightRange);
        if (c.rankOne) {
            const Kernel row = RandomKernel(c.k, rng, 1, c.weightRange);
            const std::vector<int32_t> column(kn.block.begin(), kn.block.begin() + c.k);
            for (int i = 0; i < c.k * c.k; ++i) kn.block[i] = column[i / c.k] * row.block[i % c.k];
        }
        KernelParams p = ParamsFor(kn, c.source);
        p.materialId = 1;
        p.objectId = 701;

        RecordingStorage storage(f, c.failRead);
        Bitmap bitmap(&storage);
        ASSERT_EQ(filter->LoadConfigure(&p), 1);
        filter->SetSource(&bitmap);
        Recorder progress(c.stopAt);
        EXPECT_EQ(filter->RenderFrame(progress.Handle()), 1);
        filter->SetSource(nullptr);

        std::vector<BMM_Color_64> seen = f.px, want(n);
        if (c.failRead >= 0) std::fill_n(seen.begin() + size_t(c.failRead) * c.w, c.w, BMM_Color_64{});
        ASSERT_TRUE(ReferenceFrame(seen.data(), want.data(), c.w, c.h,
                                   KernelArgs{kn.block.data(), kn.k, kn.divide, kn.offset, kn.invert}));
        const bool runs = c.source == kSourceWhole || (c.source == kSourceMaterial && c.ids == kMaterialIds) ||
                          (c.source == kSourceObject && objects);
        const int filtered = !runs ? 0 : c.stopAt >= 0 ? c.stopAt : c.h;
        int wrong = 0;
        for (size_t i = 0; i < n; ++i) {
            const int y = int(i / c.w);
            const bool selected = c.source == kSourceWhole ||
                                  (c.source == kSourceMaterial && c.ids == kMaterialIds && f.material[i] == 1) ||
                                  (c.source == kSourceObject && objects && f.object[i] == 701);
            wrong += !Same(storage.px[i], y < filtered && selected ? want[i] : seen[i]);
        }
        EXPECT_EQ(wrong, 0);

        const size_t lines = runs ? size_t(std::min(c.h, c.stopAt >= 0 ? c.stopAt + 1 : c.h)) : 0;
        ASSERT_EQ(progress.messages.size(), 2 * lines);
        for (size_t i = 0; i < progress.messages.size(); ++i) {
            EXPECT_EQ(progress.messages[i].id, i % 2 ? kAbortQuery : kProgressMessage);
            if (i % 2 == 0) {
                EXPECT_EQ(progress.messages[i].wParam, WPARAM(i / 2));
            }
        }

        EXPECT_EQ(storage.reads, std::vector<int>(c.h, 1));
        EXPECT_EQ(storage.writes, std::vector<int>(c.h, 1));
    }
}

// The engine as this 32-bit build compiles it (eight vector registers, the
// plug-in's flags), at every instruction set this processor runs, line by
// line as the render drives it, against the scalar reference: widths around
// the block and tile edges, frames narrower than the kernel, every size,
// weights up to the 16-bit extremes and beyond 32-bit sums (split in 16-bit
// parts, doubles, int64).
TEST(ShippedEngine, EveryInstructionSetMatchesTheReference) {
    std::mt19937 rng(31);
    int levels = 0;
    for (SimdLevel level : kSimdLevels) {
        if (!SimdAvailable(level)) continue;
        ++levels;
        for (int trial = 0; trial < 48; ++trial) {
            const int k = 3 + 2 * (trial % 4);
            const int w = trial % 6 == 0 ? 1 + int(rng() % k) : 1 + int(rng() % 49);
            const int h = 1 + int(rng() % 7);
            std::vector<int32_t> block(size_t(k) * k);
            for (auto& v : block) v = int32_t(rng() % 201) - 100;
            if (trial % 5 == 0) block[rng() % block.size()] = trial % 2 ? 32767 : -32768;
            if (trial % 5 == 1)
                for (auto& v : block) v = int32_t(rng() % 2000001) - 1000000;  // split in 16-bit parts
            if (trial % 7 == 0)
                for (auto& v : block) v = int32_t(rng());  // sums beyond 32 bits
            const int32_t divide = int32_t(rng() % 31) - 15, offset = int32_t(rng() % 4001) - 2000;
            const int32_t invert = int32_t(rng() % 2);
            const Frame f = RandomFrame(w, h, rng());
            std::vector<BMM_Color_64> want(f.px.size()), got = f.px;
            ASSERT_TRUE(ReferenceFrame(f.px.data(), want.data(), w, h, KernelArgs{block.data(), k, divide, offset, invert}));
            Convolver cv;
            ConvolveOptions options;
            options.simd = level;
            options.separableMinK = 3;
            ASSERT_TRUE(cv.Prepare(block.data(), k, divide, offset, invert, w, h, options));
            for (int y = 0; y < h; ++y) cv.FilterFromFrame(f.px.data(), got.data(), y, ChannelSelection());
            int wrong = 0;
            for (size_t i = 0; i < got.size(); ++i) wrong += !Same(got[i], want[i]);
            EXPECT_EQ(wrong, 0) << SimdName(level) << " " << PathName(cv.path()) << " trial " << trial << " k=" << k
                                << " " << w << "x" << h;
        }
    }
    EXPECT_GE(levels, 2) << "the 32-bit build has at least SSE2 beside the scalar path";
}

}  // namespace
