// A stand-in plug-in for hosts' tests: it behaves as VLM.FLT does when its
// two working copies of a frame cannot be had, but for frames of any size
// above kRoomFor pixels. It then answers 1 and writes no line back; smaller
// frames are given back line by line, unchanged. It takes any configuration
// of VLM.FLT's size. Built with VLM_TEST_FAULT (FAULT.FLT), it faults on
// those frames instead; with VLM_TEST_HANG (HANG.FLT) it never returns;
// with VLM_TEST_VERSION or VLM_TEST_KIND, it answers that interface version
// or class kind code, which a host must refuse.
#include <windows.h>

#include <cstdint>
#include <new>
#include <vector>

#include "host/bitmap.h"
#include "host/class_desc.h"
#include "host/image_filter.h"
#include "host/progress.h"

#ifndef VLM_TEST_VERSION
#define VLM_TEST_VERSION kPluginInterfaceVersion
#endif
#ifndef VLM_TEST_KIND
#define VLM_TEST_KIND kImageFilterKind
#endif

namespace {

constexpr int kRoomFor = 64 * 64;

class ShortMemoryFilter final : public ImageFilter {
public:
    void* DeletingDestructor(unsigned int flags) override { return DestroyInPlace(this, flags); }
    const char* FilterName() override { return "Short of memory"; }
    const char* FilterAuthor() override { return "tests"; }
    const char* FilterNotice() override { return ""; }
    uint32_t FilterVersion() override { return 1; }
    uint32_t FilterCapabilities() override { return 0; }
    int OpenAboutBox(HWND) override { return 0; }
    uint32_t EvaluateConfigure() override { return 612; }
    int LoadConfigure(void*) override { return 1; }
    int RenderFrame([[maybe_unused]] HWND progress) override {
        if (!frameMap || !frameMap->Storage()) return 0;
        BitmapStorage& s = *frameMap->Storage();
        if (s.Width() * s.Height() > kRoomFor) {
#ifdef VLM_TEST_FAULT
            // Null for any frame the host holds, which the compiler cannot know.
            *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(s.Width() >> 16)) = 1;
#endif
#ifdef VLM_TEST_HANG
            // One line's progress, then no answer ever: no abort query.
            SendMessageA(progress, kProgressMessage, 0, s.Height() - 1);
            for (;;) Sleep(1000);
#endif
            return 1;
        }
        std::vector<BMM_Color_64> line(s.Width());
        for (int y = 0; y < s.Height(); ++y) {
            s.ReadLine(0, y, s.Width(), line.data());
            frameMap->PutPixels(0, y, s.Width(), line.data());
        }
        return 1;
    }
};

class Descriptor final : public ClassDesc {
public:
    int HostHookA() override { return 1; }
    void* CreateInstance(int) override { return static_cast<ImageFilter*>(new (std::nothrow) ShortMemoryFilter); }
    int HostHookB(int) override { return 0; }
    int HostHookC(int) override { return 0; }
    const char* DisplayName() override { return "Short of memory"; }
    uint32_t KindCode() override { return VLM_TEST_KIND; }
    ClassId* ClassIdentifier(ClassId* result) override {
        *result = ClassId{1, 2};
        return result;
    }
    const char* CategoryName() override { return "Image Filter"; }
    int HostHookD(int) override { return 0; }
    int HostHookE() override { return 0; }
    void HostHookF(int) override {}
    void HostHookG(int) override {}
    int HostHookH() override { return 0; }
    int HostHookI(int) override { return 0; }
    int HostHookJ(int) override { return 0; }
};

Descriptor g_descriptor;

}  // namespace

extern "C" {
const char* LibDescription() { return "Short of memory (tests)"; }
int LibNumberClasses() { return 1; }
ClassDesc* LibClassDesc(int index) { return index == 0 ? &g_descriptor : nullptr; }
unsigned long LibVersion() { return VLM_TEST_VERSION; }
}
