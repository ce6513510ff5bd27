// The plug-in as the host sees it: loaded with LoadLibrary, reached through
// its four exports, the class descriptor and the filter's virtual table.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "hostlib/host_control.h"
#include "tests/win/support/win_support.h"

namespace {

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lib.Load()) << "cannot load " << PluginPath(); }
    void TearDown() override { lib.Unload(); }
    ImageFilterPtr NewFilter() { return ImageFilterPtr(lib.NewFilter()); }
    PluginLibrary lib;
};

std::vector<unsigned char> Saved(ImageFilter& f) {
    std::vector<unsigned char> bytes(f.EvaluateConfigure() + 16, 0xEE);
    EXPECT_EQ(f.SaveConfigure(bytes.data()), 1);
    return bytes;
}

void PutWord(std::vector<unsigned char>& b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A new filter's record, built byte by byte from the documented layout.
std::vector<unsigned char> DefaultRecord() {
    std::vector<unsigned char> b(612, 0);
    PutWord(b, 0, 0x33A25539u);
    PutWord(b, 4, 1009);
    PutWord(b, 16, 3);
    PutWord(b, 344, 1);
    return b;
}

TEST_F(PluginTest, ExportsByOrdinalAreTheNamedFunctions) {
    const char* names[] = {"LibDescription", "LibNumberClasses", "LibClassDesc", "LibVersion"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byName = GetProcAddress(lib.module, names[ordinal - 1]);
        ASSERT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byName, GetProcAddress(lib.module, MAKEINTRESOURCEA(ordinal))) << names[ordinal - 1];
    }
    EXPECT_EQ(GetProcAddress(lib.module, MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_EQ(lib.LibVersion(), 0x07D00500ul);
    EXPECT_EQ(lib.LibNumberClasses(), 1);
    EXPECT_EQ(std::strncmp(lib.LibDescription(), "Velmora Filter, ", 16), 0);
    EXPECT_LT(std::strlen(lib.LibDescription()), 256u);
}

TEST_F(PluginTest, ClassDescriptorIndexIsChecked) {
    ClassDesc* desc = lib.LibClassDesc(0);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(lib.LibClassDesc(0), desc);
    for (int bad : {1, 2, -1, INT_MIN, INT_MAX}) EXPECT_EQ(lib.LibClassDesc(bad), nullptr) << bad;
}

TEST_F(PluginTest, DescriptorAnswersAndHooks) {
    ClassDesc* d = lib.LibClassDesc(0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->DisplayName(), "Velmora Filter");
    EXPECT_STREQ(d->CategoryName(), "Image Filter");
    EXPECT_EQ(d->KindCode(), 3584u);
    const ClassId id = ClassIdOf(*d);
    EXPECT_EQ(id.first, 0x33A25539u);
    EXPECT_EQ(id.second, 0x39933116u);
    EXPECT_EQ(d->HostHookA(), 1);
    for (int v : {0, 1, -1, 12345}) {
        EXPECT_EQ(d->HostHookB(v), 0);
        EXPECT_EQ(d->HostHookC(v), 0);
        EXPECT_EQ(d->HostHookD(v), 1);
        EXPECT_EQ(d->HostHookI(v), 0);
        EXPECT_EQ(d->HostHookJ(v), 0);
        d->HostHookF(v);
        d->HostHookG(v);
    }
    EXPECT_EQ(d->HostHookE(), 0);
    EXPECT_EQ(d->HostHookH(), 0);
    // The hooks change nothing the host can see.
    EXPECT_EQ(lib.LibClassDesc(0), d);
    EXPECT_STREQ(d->DisplayName(), "Velmora Filter");
    EXPECT_EQ(d->DisplayName(), NewFilter()->FilterName()) << "one buffer answers both";
}

TEST_F(PluginTest, EachCreateInstanceIsANewFilterWithDefaults) {
    ClassDesc* d = lib.LibClassDesc(0);
    ImageFilterPtr a(static_cast<ImageFilter*>(d->CreateInstance(0)));
    ImageFilterPtr b(static_cast<ImageFilter*>(d->CreateInstance(1)));
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    for (ImageFilter* f : {a.get(), b.get()}) {
        std::vector<unsigned char> bytes = Saved(*f);
        EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 612), DefaultRecord());
        EXPECT_EQ(bytes[612], 0xEE) << "SaveConfigure wrote past 612 bytes";
        EXPECT_EQ(f->EvaluateConfigure(), 612u);
        EXPECT_EQ(f->ChannelsRequired(), 0u);
        EXPECT_STREQ(f->FilterName(), "Velmora Filter");
        EXPECT_EQ(f->FilterVersion(), 0x33A25539u);
        EXPECT_EQ(f->FilterCapabilities(), 6u);
        EXPECT_GT(std::strlen(f->FilterAuthor()), 0u);
        EXPECT_GT(std::strlen(f->FilterNotice()), 0u);
    }
    // Changing one leaves the other alone.
    std::vector<unsigned char> rec = DefaultRecord();
    PutWord(rec, 4, 1011);
    ASSERT_EQ(a->LoadConfigure(rec.data()), 1);
    EXPECT_EQ(a->ChannelsRequired(), 4u);
    EXPECT_EQ(b->ChannelsRequired(), 0u);
}

TEST_F(PluginTest, ConfigurationRoundTripsAndRefusesWrongStamps) {
    auto from = NewFilter(), to = NewFilter();
    std::vector<unsigned char> rec = DefaultRecord();
    PutWord(rec, 4, 1010);
    PutWord(rec, 8, 40000);
    PutWord(rec, 12, 7);
    PutWord(rec, 16, 5);
    for (int i = 0; i < 81; ++i) PutWord(rec, 20 + 4 * i, uint32_t(i * 7 - 200));
    PutWord(rec, 344, uint32_t(-3));
    PutWord(rec, 348, 99999);
    PutWord(rec, 352, 1);
    std::memcpy(&rec[356], "Edge finder", 12);
    ASSERT_EQ(from->LoadConfigure(rec.data()), 1);
    std::vector<unsigned char> saved = Saved(*from);
    ASSERT_EQ(to->LoadConfigure(saved.data()), 1);
    EXPECT_EQ(Saved(*to), saved);
    EXPECT_EQ(std::vector<unsigned char>(saved.begin(), saved.begin() + 612), rec);

    // A wrong stamp changes nothing at all, the name included.
    for (uint32_t stamp : {0u, 0x33A25538u, 0x39933116u, 0xFFFFFFFFu}) {
        std::vector<unsigned char> other = DefaultRecord();
        PutWord(other, 0, stamp);
        std::memcpy(&other[356], "Intruder", 9);
        EXPECT_EQ(to->LoadConfigure(other.data()), 0) << std::hex << stamp;
        EXPECT_EQ(Saved(*to), saved);
    }
    EXPECT_EQ(to->LoadConfigure(nullptr), 0);
    EXPECT_EQ(to->SaveConfigure(nullptr), 0);
    EXPECT_EQ(Saved(*to), saved);
}

TEST_F(PluginTest, OutOfRangeConfigurationIsTakenAsItStands) {
    auto f = NewFilter();
    std::vector<unsigned char> rec = DefaultRecord();
    PutWord(rec, 4, 1012);
    PutWord(rec, 16, 4);
    std::memset(&rec[356], 'z', 256);  // a name with no terminating zero
    ASSERT_EQ(f->LoadConfigure(rec.data()), 1);
    EXPECT_EQ(f->ChannelsRequired(), 0u);
    std::vector<unsigned char> saved = Saved(*f);
    EXPECT_EQ(std::vector<unsigned char>(saved.begin(), saved.begin() + 612), rec);
}

TEST_F(PluginTest, ChannelsRequiredFollowsTheSource) {
    auto f = NewFilter();
    const struct { int32_t source; uint32_t channels; } cases[] = {
        {1009, 0}, {1010, 2}, {1011, 4}, {1008, 0}, {1012, 0}, {0, 0}, {-1, 0}};
    for (const auto& c : cases) {
        std::vector<unsigned char> rec = DefaultRecord();
        PutWord(rec, 4, uint32_t(c.source));
        ASSERT_EQ(f->LoadConfigure(rec.data()), 1);
        EXPECT_EQ(f->ChannelsRequired(), c.channels) << c.source;
    }
}

TEST_F(PluginTest, NoSourceBitmapMeansNoRender) {
    auto f = NewFilter();
    EXPECT_EQ(f->RenderFrame(nullptr), 0);
}

DWORD WINAPI IdleThread(LPVOID) { return 0; }

// The load notification initialises the host's controls for this module once
// per load; thread notifications leave them alone.
TEST(PluginLifetime, AttachDetachAndAttachAgain) {
    const int before = HostCustomControlsInitCount();
    PluginLibrary lib;
    ASSERT_TRUE(lib.Load());
    EXPECT_EQ(HostCustomControlsInitCount(), before + 1);
    EXPECT_EQ(HostCustomControlsLastModule(), lib.module);

    HANDLE thread = CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(HostCustomControlsInitCount(), before + 1);

    // A second LoadLibrary of a loaded DLL is no new attach.
    HMODULE again = LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(again, lib.module);
    FreeLibrary(again);
    EXPECT_EQ(HostCustomControlsInitCount(), before + 1);

    lib.Unload();
    ASSERT_EQ(GetModuleHandleA("VLM.FLT"), nullptr) << "the library should be unloaded";
    ASSERT_TRUE(lib.Load());
    EXPECT_EQ(HostCustomControlsInitCount(), before + 2);
    EXPECT_EQ(HostCustomControlsLastModule(), lib.module);
    // The reloaded library still finds its own resources.
    EXPECT_NE(FindResourceA(lib.module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)), nullptr);
    ImageFilterPtr f(lib.NewFilter());
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->FilterName(), "Velmora Filter");
    f.reset();
    lib.Unload();
}

}  // namespace
