// The dialog's Preview checked pixel by pixel: what the preview control shows
// after a press of Preview against the render's rule written out here, on the
// sample bitmap's own pixels widened to 16 bits and the result narrowed back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog/preview.h"
#include "hostlib/host_control.h"
#include "minihost/formats/png_io.h"
#include "module/module.h"
#include "tests/support/convolution_oracle.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

enum : int { kPreview = 3, kSave = 4, kDivide = 1007, kOffset = 1097, kInvert = 1099, kImage = 1102, kName = 1103 };

struct Image {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // row by row from the top
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Bitmap 106 of the plug-in as 0x00BBGGRR values, read through GetDIBits.
Image SampleImage(HMODULE module) {
    Image image;
    HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(106));
    if (!bitmap) return image;
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    BITMAPINFO want{};
    want.bmiHeader.biSize = sizeof want.bmiHeader;
    want.bmiHeader.biWidth = info.bmWidth;
    want.bmiHeader.biHeight = -info.bmHeight;
    want.bmiHeader.biPlanes = 1;
    want.bmiHeader.biBitCount = 32;
    want.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> bgrx(static_cast<size_t>(info.bmWidth) * info.bmHeight * 4);
    HDC screen = GetDC(nullptr);
    const int lines = GetDIBits(screen, bitmap, 0, info.bmHeight, bgrx.data(), &want, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    if (lines != info.bmHeight) return image;
    image.width = info.bmWidth;
    image.height = info.bmHeight;
    for (size_t i = 0; i < bgrx.size(); i += 4) image.pixels.push_back(RGB(bgrx[i + 2], bgrx[i + 1], bgrx[i]));
    return image;
}

using Kernel = OracleKernel;

int Channel(COLORREF c, int i) { return static_cast<int>((c >> (8 * i)) & 0xFF); }

// The render's arithmetic on the sample widened to 16 bits (s x 257), the
// result v shown as (v x 255 + 32767) / 65535.
int Shown(long long v) { return static_cast<int>((v * 255 + 32767) / 65535); }

COLORREF Expected(const Image& src, int x, int y, const Kernel& kn) {
    uint16_t rgb[3];
    OraclePixel(kn, src.width, src.height, x, y, [&](int sx, int sy, int c) { return Channel(src.At(sx, sy), c) * 257; },
                rgb);
    return RGB(Shown(rgb[0]), Shown(rgb[1]), Shown(rgb[2]));
}

std::string Hex(COLORREF c) {
    char text[16];
    std::snprintf(text, sizeof text, "%06lX", static_cast<unsigned long>(c));
    return text;
}

// Compares every shown pixel with the oracle; reports the count and the first
// few differences.
::testing::AssertionResult ShowsFiltered(const std::vector<COLORREF>& shown, int width, const Image& src,
                                         const Kernel& kn) {
    if (shown.empty()) return ::testing::AssertionFailure() << "nothing captured";
    int bad = 0;
    std::string first;
    for (size_t i = 0; i < shown.size(); ++i) {
        const int x = static_cast<int>(i % width), y = static_cast<int>(i / width);
        const COLORREF want = Expected(src, x, y, kn);
        if (shown[i] != want && ++bad <= 3)
            first += " (" + std::to_string(x) + "," + std::to_string(y) + ") shown " + Hex(shown[i]) + " want " +
                     Hex(want);
    }
    if (bad == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bad << " of " << shown.size() << " pixels differ:" << first;
}

// Puts the block into the centre of the grid, every other cell empty.
void TypeKernel(HWND d, const Kernel& kn) {
    const int s = (9 - kn.k) / 2;
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) {
            const bool inside = r >= s && r < s + kn.k && c >= s && c < s + kn.k;
            const int w = inside ? kn.block[(r - s) * kn.k + (c - s)] : 0;
            SetText(Cell(d, r, c), w ? std::to_string(w) : "");
        }
    SetText(GetDlgItem(d, kDivide), std::to_string(kn.divide));
    SetText(GetDlgItem(d, kOffset), std::to_string(kn.offset));
    if (Checked(d, kInvert) != (kn.invert == 1)) Click(d, kInvert);
}

Kernel Identity(int divide) { return {3, {0, 0, 0, 0, 1, 0, 0, 0, 0}, divide, 0, 0}; }

class PreviewDialog : public ControlDialogTest {
protected:
    void SetUp() override {
        ControlDialogTest::SetUp();
        sample = SampleImage(lib.module);
        ASSERT_EQ(sample.width, 160);
        ASSERT_EQ(sample.height, 120);
    }

    // Types the kernel, presses Preview and reads the control's client area.
    std::vector<COLORREF> Preview(HWND d, const Kernel& kn) {
        TypeKernel(d, kn);
        HWND image = GetDlgItem(d, kImage);
        // A repaint still due would cover the preview with the plain picture.
        EXPECT_TRUE(WaitForPaint(d));
        Click(d, kPreview);
        EXPECT_TRUE(Enabled(d, kPreview)) << "Preview must be enabled again afterwards";
        return CaptureClient(image, sample.width, sample.height);
    }
    Image sample;
};

TEST_F(PreviewDialog, PaintsTheFilteredSampleAtTheControlsClientOrigin) {
    Open([&](HWND d) {
        RECT client;
        GetClientRect(GetDlgItem(d, kImage), &client);
        // Whatever the frame takes, the client area must show the whole picture.
        EXPECT_GE(client.right, sample.width);
        EXPECT_GE(client.bottom, sample.height);
        const int w = std::min<int>(client.right, sample.width);

        // Offset is on the render's 16-bit scale: 32768 is mid grey, and 128,
        // mid grey on an 8-bit scale, renders and so previews black.
        const struct {
            int offset, invert, grey;
        } levels[] = {{32768, 0, 128}, {32768, 1, 127}, {128, 0, 0}, {128, 1, 255}};
        for (const auto& l : levels) {
            const Kernel flat = {3, std::vector<int>(9, 0), 1, l.offset, l.invert};
            const std::vector<COLORREF> shown = Preview(d, flat);
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.front(), RGB(l.grey, l.grey, l.grey)) << "Offset " << l.offset << ", Invert " << l.invert;
            EXPECT_TRUE(ShowsFiltered(shown, w, sample, flat)) << "all zero, Offset " << l.offset;
        }

        // Each preview starts from the picture, not from what was shown, and
        // widening then narrowing gives every 8-bit value back.
        for (int divide : {1, 0}) {
            const std::vector<COLORREF> shown = Preview(d, Identity(divide));
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown[0], sample.At(0, 0));
            EXPECT_EQ(shown[61 * w + 70], sample.At(70, 61));
            EXPECT_TRUE(ShowsFiltered(shown, w, sample, Identity(divide))) << "identity, Divide " << divide;
        }
        Click(d, IDCANCEL);
    });
}

// The render's arithmetic on the widened sample: the starter library's
// emboss (a relief on mid grey), a blur with Divide 9, sums beyond 32 bits,
// and kernels that show orientation, signs and borders.
TEST_F(PreviewDialog, ShowsWhatTheRenderMakesOfTheSample) {
    Kernel ring{9, std::vector<int>(81, 0), 3, 0, 0};
    ring.block[0] = 1;
    ring.block[8] = -1;
    ring.block[72] = 2;
    ring.block[80] = 1;
    ring.block[40] = 1;
    const Kernel cases[] = {
        {3, {-2, -1, 0, -1, 0, 1, 0, 1, 2}, 1, 32768, 0},  // the starter emboss
        {3, std::vector<int>(9, 1), 9, 0, 0},               // the blur, checked by hand below
        // Sums up to 599,999 x 65535, far beyond 32 bits: divided exact, not wrapped.
        {3, {0, 0, 0, 0, 300000, 0, 0, 0, -299999}, 100000, 32768, 0},
        // Block row 0 weighs the line above, column 0 the column to the left.
        {3, {1, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 0, 0},
        {3, {0, 0, 0, 0, 0, 0, 0, 0, 2}, 1, 0, 0},
        // Edge finder: sums of 0 on flat areas, negative sums clamp before
        // Invert paints them white.
        {3, {-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1, 0, 1},
        // Division before Offset: a negative picture of half contrast.
        {3, {0, 0, 0, 0, -1, 0, 0, 0, 0}, 2, 65535, 0},
        {5, {1, 0, 0, 0, -1, 0, 2, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, -2, 0, -1, 0, 0, 0, 1}, -3, 65535, 0},
        // Weights in the outermost ring of a 9 x 9 block: within 4 pixels of
        // a border only the taps inside the image count.
        ring,
    };
    Open([&](HWND d) {
        RECT client;
        GetClientRect(GetDlgItem(d, kImage), &client);
        const int w = std::min<int>(client.right, sample.width);
        std::vector<std::vector<COLORREF>> shown;
        for (const Kernel& kn : cases) {
            shown.push_back(Preview(d, kn));
            EXPECT_TRUE(ShowsFiltered(shown.back(), w, sample, kn)) << "case " << shown.size() - 1;
        }
        // Two pixels by hand. The blur's corner (0, 0): four taps inside,
        // still divided by 9. The ring's (2, 2): of its five taps only the
        // centre and the bottom-right corner (6, 6) lie inside.
        const std::vector<COLORREF>& blur = shown[1];
        const std::vector<COLORREF>& ringShown = shown.back();
        ASSERT_FALSE(blur.empty() || ringShown.empty());
        int corner[3], v[3];
        for (int ch = 0; ch < 3; ++ch) {
            corner[ch] = Shown(257LL * (Channel(sample.At(0, 0), ch) + Channel(sample.At(1, 0), ch) +
                                        Channel(sample.At(0, 1), ch) + Channel(sample.At(1, 1), ch)) / 9);
            v[ch] = Shown(257LL * (Channel(sample.At(2, 2), ch) + Channel(sample.At(6, 6), ch)) / 3);
        }
        EXPECT_EQ(blur[0], RGB(corner[0], corner[1], corner[2]));
        EXPECT_EQ(ringShown[2 * w + 2], RGB(v[0], v[1], v[2]));
        Click(d, IDCANCEL);
    });
}

// PreviewKernel called directly by this program's copy of the plug-in code,
// on a plain window of its own.
class PreviewKernelDirect : public ::testing::Test {
protected:
    static constexpr COLORREF kBackground = RGB(1, 2, 3);
    void SetUp() override {
        ASSERT_TRUE(lib.Load());
        sample = SampleImage(lib.module);
        ASSERT_EQ(sample.width, 160);
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = CreateSolidBrush(kBackground);
        wc.lpszClassName = "VlmPreviewTarget";
        RegisterClassA(&wc);
        // Never activated, so the window manager is not involved.
        window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, "", WS_POPUP, 0, 0,
                                 sample.width, sample.height, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr) << "needs a display (run under xvfb-run)";
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    void TearDown() override {
        if (window) DestroyWindow(window);
        ModuleDetach();
        lib.Unload();
    }
    bool Untouched() {
        const std::vector<COLORREF> shown = CaptureClient(window, sample.width, sample.height);
        for (COLORREF c : shown)
            if (c != kBackground) return false;
        return !shown.empty();
    }
    PluginLibrary lib;
    Image sample;
    HWND window = nullptr;
};

TEST_F(PreviewKernelDirect, PaintsNothingWithoutBitmapOrWithABadSize) {
    const Kernel id = Identity(1);
    ModuleDetach();  // no module: bitmap 106 cannot be loaded
    PreviewKernel(window, 106, id.block.data(), 3, 1, 0, 0);
    EXPECT_TRUE(Untouched());
    ModuleAttach(lib.module);
    PreviewKernel(window, 107, id.block.data(), 3, 1, 0, 0);
    EXPECT_TRUE(Untouched()) << "no such bitmap";
    for (int k : {4, 1, 11, -3}) {
        const std::vector<int> block(121, 1);
        PreviewKernel(window, 106, block.data(), k, 1, 0, 0);
        EXPECT_TRUE(Untouched()) << "k = " << k;
    }
    PreviewKernel(window, 106, nullptr, 3, 1, 0, 0);
    EXPECT_TRUE(Untouched()) << "no block";
    PreviewKernel(nullptr, 106, id.block.data(), 3, 1, 0, 0);  // no window: nothing, no crash
}

TEST_F(PreviewKernelDirect, OnlyInvertOneInvertsAndOnlyTheLowIdBitsCount) {
    ModuleAttach(lib.module);
    const Kernel id = Identity(1);
    PreviewKernel(window, 0x10000 + 106, id.block.data(), 3, 1, 0, 2);
    EXPECT_TRUE(ShowsFiltered(CaptureClient(window, sample.width, sample.height), sample.width, sample, id));
    const Kernel inverted = {3, id.block, 1, 0, 1};
    PreviewKernel(window, 106, id.block.data(), 3, 1, 0, 1);
    EXPECT_TRUE(
        ShowsFiltered(CaptureClient(window, sample.width, sample.height), sample.width, sample, inverted));
}

// Not part of the test run: scripts/screenshot.sh runs it to make the picture
// of the dialog in the docs, with the starter library (VLM_SCREENSHOT_LIBRARY)
// in the list and its emboss picked and previewed. VLM_SCREENSHOT names the
// PNG to write.
TEST_F(PreviewDialog, DISABLED_Screenshot) {
    const char* out = std::getenv("VLM_SCREENSHOT");
    const char* library = std::getenv("VLM_SCREENSHOT_LIBRARY");
    ASSERT_NE(out, nullptr) << "set VLM_SCREENSHOT to the PNG to write";
    ASSERT_NE(library, nullptr) << "set VLM_SCREENSHOT_LIBRARY to the VLM.SET to list";
    ASSERT_TRUE(WriteBytes(LibraryFile(), ReadBytes(library)));
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    Open([&](HWND d) {
        const int emboss = ItemIndex(GetDlgItem(d, 1101), "Emboss");
        EXPECT_GE(emboss, 0) << "the library holds no Emboss";
        Pick(d, emboss);
        EXPECT_TRUE(WaitForPaint(d));
        Click(d, kPreview);
        RECT r;
        GetWindowRect(d, &r);
        width = r.right - r.left;
        height = r.bottom - r.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP shot = CreateCompatibleBitmap(screen, width, height);
        HGDIOBJ old = SelectObject(memory, shot);
        // The window's own context holds the frame Wine draws and the preview.
        HDC windowDc = GetWindowDC(d);
        BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
        ReleaseDC(d, windowDc);
        SelectObject(memory, old);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        std::vector<unsigned char> bgrx(static_cast<size_t>(width) * height * 4);
        GetDIBits(memory, shot, 0, height, bgrx.data(), &info, DIB_RGB_COLORS);
        DeleteObject(shot);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        for (size_t i = 0; i < bgrx.size(); i += 4) rgb.insert(rgb.end(), {bgrx[i + 2], bgrx[i + 1], bgrx[i]});
        Click(d, IDCANCEL);
    });
    ASSERT_GT(width, 0);
    bool varied = false;
    for (size_t i = 3; i < rgb.size() && !varied; ++i) varied = rgb[i] != rgb[i % 3];
    EXPECT_TRUE(varied) << "the capture is one flat colour";
    std::string error;
    EXPECT_TRUE(WritePng8(out, width, height, 3, rgb, &error)) << error;
}

}  // namespace
