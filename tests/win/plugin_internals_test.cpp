// The plug-in's module-level state, reached by linking its code directly.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "hostlib/host_control.h"
#include "module/library_path.h"
#include "module/message_box.h"
#include "module/module.h"
#include "plugin/class_desc.h"
#include "plugin/kernel_filter.h"
#include "tests/win/support/win_support.h"

namespace {
bool g_failNothrowNew = false;
bool g_failNew = false;
}

// Lets a test run the render as if its scratch memory could not be had.
void* operator new(std::size_t size) {
    if (g_failNew) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// Lets a test run CreateInstance as if memory had run out.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNothrowNew) return nullptr;
    return std::malloc(size ? size : 1);
}

namespace {

std::string PathFor(const char* directory) {
    HostSetSettingsDir(directory);
    KernelFilter filter;
    return g_libraryPath;
}

TEST(LibraryPath, IsRebuiltFromTheHostDirectoryAtEveryConstruction) {
    EXPECT_EQ(PathFor("C:\\scenes\\settings"), "C:\\scenes\\settings\\VLM.SET");
    EXPECT_EQ(PathFor("C:\\scenes\\settings\\"), "C:\\scenes\\settings\\\\VLM.SET");
    EXPECT_EQ(PathFor("D:\\other"), "D:\\other\\VLM.SET");
    HostSetSettingsDir(nullptr);
    KernelFilter filter;
    const std::string fallback = g_libraryPath;
    EXPECT_EQ(fallback, std::string(HostGetInterface()->DirectoryPath(9)) + "\\VLM.SET");
}

TEST(LibraryPath, NeverWritesPastItsBuffer) {
    // 251 characters + "\VLM.SET" = 259: the longest path that fits.
    const std::string fits(251, 'd');
    EXPECT_EQ(PathFor(fits.c_str()), fits + "\\VLM.SET");
    EXPECT_EQ(PathFor(std::string(252, 'd').c_str()), "");
    EXPECT_EQ(PathFor(std::string(5000, 'd').c_str()), "");
    HostSetSettingsDir(nullptr);
}

TEST(Module, AttachInitialisesControlsOncePerLoad) {
    ModuleDetach();
    EXPECT_EQ(ModuleHandle(), nullptr);
    EXPECT_EQ(ControlsInitialised(), 0);
    const int before = HostCustomControlsInitCount();
    const HINSTANCE self = GetModuleHandleA(nullptr);
    ModuleAttach(self);
    EXPECT_EQ(ModuleHandle(), self);
    EXPECT_EQ(ControlsInitialised(), 1);
    EXPECT_EQ(HostCustomControlsInitCount(), before + 1);
    EXPECT_EQ(HostCustomControlsLastModule(), self);
    // Controls are made available once, however often attach is heard.
    ModuleAttach(self);
    EXPECT_EQ(HostCustomControlsInitCount(), before + 1);
    ModuleDetach();
    EXPECT_EQ(ModuleHandle(), nullptr);
    EXPECT_EQ(ControlsInitialised(), 0);
    ModuleAttach(self);
    EXPECT_EQ(HostCustomControlsInitCount(), before + 2);
    ModuleDetach();
}

TEST(ClassDescriptor, CreateInstanceAnswersNullWhenMemoryRunsOut) {
    ClassDesc* desc = ClassDescAt(0);
    ASSERT_NE(desc, nullptr);
    g_failNothrowNew = true;
    void* made = desc->CreateInstance(0);
    g_failNothrowNew = false;
    EXPECT_EQ(made, nullptr);
    ImageFilterPtr ok(static_cast<ImageFilter*>(desc->CreateInstance(0)));
    EXPECT_NE(ok, nullptr);
}

// No exception may reach a host built by another compiler: a render whose
// scratch memory runs out leaves the frame as the host gave it and answers 1.
TEST(KernelFilterRender, ScratchThatCannotBeHadLeavesTheFrameAlone) {
    KernelFilter filter;
    filter.params.kernel.weights[4 * kGridSide + 4] = 2;
    filter.params.kernel.weights[3 * kGridSide + 3] = -1;
    MemoryStorage storage(40, 7);
    for (int i = 0; i < 40 * 7; ++i)
        storage.Pixels()[i] = BMM_Color_64{uint16_t(i * 97), uint16_t(i * 31), uint16_t(65535 - i), uint16_t(i)};
    std::vector<BMM_Color_64> before(storage.Pixels(), storage.Pixels() + 40 * 7);
    Bitmap frame(&storage);
    filter.SetSource(&frame);

    int answer = -1;
    g_failNew = true;
    try {
        answer = filter.RenderFrame(nullptr);
    } catch (...) {
        answer = -2;
    }
    g_failNew = false;
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(storage.linesWritten, 0);
    EXPECT_EQ(std::memcmp(storage.Pixels(), before.data(), before.size() * sizeof(BMM_Color_64)), 0);

    // With memory back, the same filter renders.
    EXPECT_EQ(filter.RenderFrame(nullptr), 1);
    EXPECT_EQ(storage.linesWritten, 7);
    EXPECT_NE(std::memcmp(storage.Pixels(), before.data(), before.size() * sizeof(BMM_Color_64)), 0);
}

TEST(MessageBox, TextIsBoundedAndCaptioned) {
    MessageBoxWatcher watcher("Error");
    const std::string longPath = "C:\\" + std::string(400, 'x') + "\\VLM.SET";
    ShowMessageBox("Error", "Can't open file: %s", longPath.c_str());
    ShowMessageBox("Error", "Can't open file: %s", "C:\\cfg\\VLM.SET");
    const auto texts = watcher.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].size(), 255u);
    EXPECT_EQ(texts[0].compare(0, 20, "Can't open file: C:\\"), 0);
    EXPECT_EQ(texts[1], "Can't open file: C:\\cfg\\VLM.SET");
}

}  // namespace
