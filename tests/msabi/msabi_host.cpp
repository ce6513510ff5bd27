// A host program built the way the real host is: Microsoft's C++ binary
// interface (clang for i686-pc-windows-msvc, linked by lld-link), with no C++
// library and no header of ours. It declares the tables of virtual operations
// as such a host declares them, loads VLM.FLT by ordinal and drives every
// entry of the class descriptor and of a filter through those tables. Where
// g++ lays a table out differently, a call lands in the wrong operation and a
// check below fails (or the process dies, which CTest reports as well).
//
// Build: see CMakeLists.txt beside this file. Output goes through _write,
// which is not lost when the process dies.

typedef void* HWND;
typedef void* HMODULE;
typedef unsigned int UINT;
typedef unsigned int WPARAM;
typedef long LPARAM;
typedef long LRESULT;
typedef unsigned long DWORD;
typedef LRESULT(__stdcall* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra, cbWndExtra;
    HMODULE hInstance;
    void *hIcon, *hCursor, *hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

extern "C" {
__declspec(dllimport) HMODULE __stdcall LoadLibraryExA(const char*, void*, DWORD);
__declspec(dllimport) HMODULE __stdcall GetModuleHandleA(const char*);
__declspec(dllimport) void* __stdcall GetProcAddress(HMODULE, const char*);
__declspec(dllimport) int __stdcall FreeLibrary(HMODULE);
__declspec(dllimport) DWORD __stdcall GetModuleFileNameA(HMODULE, char*, DWORD);
__declspec(dllimport) void __stdcall ExitProcess(UINT);
__declspec(dllimport) int __stdcall CreateDirectoryA(const char*, void*);
__declspec(dllimport) int __stdcall RemoveDirectoryA(const char*);
__declspec(dllimport) int __stdcall DeleteFileA(const char*);
__declspec(dllimport) DWORD __stdcall GetLastError();
__declspec(dllimport) void* __stdcall CreateFileA(const char*, DWORD, DWORD, void*, DWORD, DWORD, void*);
__declspec(dllimport) void* __stdcall CreateThread(void*, unsigned, DWORD(__stdcall*)(void*), void*, DWORD, DWORD*);
__declspec(dllimport) DWORD __stdcall WaitForSingleObject(void*, DWORD);
__declspec(dllimport) int __stdcall CloseHandle(void*);
__declspec(dllimport) void __stdcall Sleep(DWORD);
__declspec(dllimport) unsigned short __stdcall RegisterClassA(const WNDCLASSA*);
__declspec(dllimport) HWND __stdcall CreateWindowExA(DWORD, const char*, const char*, DWORD, int, int, int, int, HWND,
                                                     void*, HMODULE, void*);
__declspec(dllimport) int __stdcall DestroyWindow(HWND);
__declspec(dllimport) LRESULT __stdcall DefWindowProcA(HWND, UINT, WPARAM, LPARAM);
__declspec(dllimport) HWND __stdcall FindWindowA(const char*, const char*);
__declspec(dllimport) int __stdcall IsWindowVisible(HWND);
__declspec(dllimport) int __stdcall PostMessageA(HWND, UINT, WPARAM, LPARAM);
__declspec(dllimport) int __stdcall SetDlgItemTextA(HWND, int, const char*);
__declspec(dllimport) int __stdcall SetWindowTextA(HWND, const char*);
__declspec(dllimport) int __stdcall GetWindowTextA(HWND, char*, int);

int __cdecl _write(int, const void*, unsigned);
int __cdecl sprintf(char*, const char*, ...);
int __cdecl strcmp(const char*, const char*);
unsigned __cdecl strlen(const char*);

// The compiler's marker that floating point is used, which the CRT would define.
int _fltused = 0;
}

namespace {

// ---- output and checks ------------------------------------------------------

int g_passed = 0, g_failed = 0;

void Print(const char* text) { _write(1, text, strlen(text)); }

void Check(bool ok, int line, const char* what) {
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failed;
    char text[512];
    sprintf(text, "msabi_host.cpp:%d: FAILED: %s\n", line, what);
    Print(text);
}
#define CHECK(cond) Check((cond), __LINE__, #cond)

// Each group of checks keeps its own frame below a page: without the CRT
// there is no stack probe for larger ones.
#define NOINLINE __declspec(noinline)

// ---- the host's declarations, as a Microsoft-compiled host has them ---------

struct ClassId {
    unsigned first, second;
};

class ClassDesc {
public:
    virtual int HostHookA() = 0;
    virtual void* CreateInstance(int loading) = 0;
    virtual int HostHookB(int) = 0;
    virtual int HostHookC(int) = 0;
    virtual const char* DisplayName() = 0;
    virtual unsigned KindCode() = 0;
    virtual ClassId ClassIdentifier() = 0;  // returned through a hidden pointer
    virtual const char* CategoryName() = 0;
    virtual int HostHookD(int) = 0;
    virtual int HostHookE() = 0;
    virtual void HostHookF(int) = 0;
    virtual void HostHookG(int) = 0;
    virtual int HostHookH() = 0;
    virtual int HostHookI(int) = 0;
    virtual int HostHookJ(int) = 0;
};

struct BMM_Color_64 {
    unsigned short r, g, b, a;
};

class BitmapStorage {
public:
    virtual int ReadLine(int x, int y, int count, BMM_Color_64* dst) = 0;
    virtual int WriteLine(int x, int y, int count, const BMM_Color_64* src) = 0;
    virtual void* ChannelArray(unsigned channel, unsigned* type) = 0;
    unsigned short width, height;
};

struct Bitmap {
    BitmapStorage* storage;
};

class Interface {
public:
    virtual const char* DirectoryPath(int code) = 0;
};

// The filter's 27 entries. The two Lerp entries are one overloaded name in
// the host's own header; here they carry two names so that this compiler
// keeps them in table order.
class ImageFilter {
public:
    virtual ~ImageFilter() {}
    virtual const char* FilterName() = 0;
    virtual const char* FilterAuthor() = 0;
    virtual const char* FilterNotice() = 0;
    virtual unsigned FilterVersion() = 0;
    virtual unsigned FilterCapabilities() = 0;
    virtual int OpenAboutBox(HWND parent) = 0;
    virtual int ShowControl(HWND parent) = 0;
    virtual void SetSource(Bitmap* map) = 0;
    virtual void SetForeground(Bitmap* map) = 0;
    virtual void SetMask(Bitmap* map) = 0;
    virtual void SetFilterInfo(void* info) = 0;
    virtual int RenderFrame(HWND progressWindow) = 0;
    virtual Interface* HostInterface() = 0;
    virtual int LerpFloat(int a, int b, float t) = 0;
    virtual int LerpInt(int a, int b, int t) = 0;
    virtual unsigned EvaluateConfigure() = 0;
    virtual int LoadConfigure(void* buffer) = 0;
    virtual int SaveConfigure(void* buffer) = 0;
    virtual int CreatePreview(HWND parent, Bitmap** map, int frame, int width, int height, float aspect,
                              Bitmap* background, unsigned flags) = 0;
    virtual unsigned ChannelsRequired() = 0;
    virtual HWND DlgHandle() = 0;
    virtual void MakeDlgInteractive(HWND dialog) = 0;
    virtual int IsInteractive() = 0;
    virtual void* CreateNode() = 0;
    virtual void* Node() = 0;
    virtual void FilterUpdate() = 0;
};

// Entry 1 as this compiler emits it for "delete filter": the scalar deleting
// destructor. Declared on its own to call it with flags 0 and read its answer.
class DestructorEntry {
public:
    virtual void* ScalarDeletingDestructor(unsigned flags) = 0;
};

class ICustEdit {
public:
    virtual void ShowInt(int value) = 0;
    virtual void ShowText(const char* text) = 0;
    virtual int ReadInt() = 0;
};

class ISpinnerControl {
public:
    virtual int ReadValue() = 0;
    virtual void WriteValue(int value, int notify) = 0;
    virtual void SetRange(int minimum, int maximum, int limitCurrent) = 0;
    virtual void AttachEdit(HWND edit, int type) = 0;
};

// ---- the saved configuration ----------------------------------------------

const int kConfigBytes = 612;
const unsigned kStamp = 0x33A25539u;

struct Config {
    unsigned char bytes[kConfigBytes];
    int Word(int offset) const {
        int v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[offset + i];
        return v;
    }
    void SetWord(int offset, int v) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = (unsigned char)((unsigned)v >> (8 * i));
    }
    int Weight(int r, int c) const { return Word(20 + 4 * (9 * r + c)); }
    void SetWeight(int r, int c, int v) { SetWord(20 + 4 * (9 * r + c), v); }
};
enum Offsets { kSource = 4, kObjectId = 8, kMaterialId = 12, kKernelSize = 16, kDivide = 344, kOffset = 348, kInvert = 352 };

// ---- a frame this host owns, with an object channel --------------------------

const int kW = 13, kH = 9;
const unsigned kObjectChannel = 4;

class FrameStorage : public BitmapStorage {
public:
    int ReadLine(int x, int y, int count, BMM_Color_64* dst) override {
        if (x != 0 || y < 0 || y >= kH || count != kW) return 0;
        for (int i = 0; i < kW; ++i) dst[i] = pixels[y * kW + i];
        ++linesRead;
        return 1;
    }
    int WriteLine(int x, int y, int count, const BMM_Color_64* src) override {
        if (x != 0 || y < 0 || y >= kH || count != kW) return 0;
        for (int i = 0; i < kW; ++i) pixels[y * kW + i] = src[i];
        ++linesWritten;
        return 1;
    }
    void* ChannelArray(unsigned channel, unsigned* type) override {
        ++channelAsks;
        if (type) *type = channel;
        return channel == kObjectChannel ? objects : 0;
    }
    BMM_Color_64 pixels[kW * kH];
    unsigned short objects[kW * kH];
    int linesRead = 0, linesWritten = 0, channelAsks = 0;
};

unsigned g_seed = 12345;
unsigned Next() {
    g_seed = g_seed * 1103515245u + 12345u;
    return g_seed >> 8;
}

void FillFrame(FrameStorage& s) {
    s.width = kW;
    s.height = kH;
    for (int i = 0; i < kW * kH; ++i) {
        s.pixels[i].r = (unsigned short)Next();
        s.pixels[i].g = (unsigned short)Next();
        s.pixels[i].b = (unsigned short)(i % 3 ? Next() : 65535 - i);
        s.pixels[i].a = (unsigned short)(i * 311);
        s.objects[i] = (unsigned short)(Next() % 3 ? 2 : 7);
    }
}

// Kept out of the stack: without the CRT there is no stack probe for large
// frames.
FrameStorage g_frame, g_other;
BMM_Color_64 g_before[kW * kH];

int Channel(const BMM_Color_64& p, int c) { return c == 0 ? p.r : c == 1 ? p.g : p.b; }

// The filtered pixel written out from its definition: the kernel over the
// neighbours inside the frame, divided toward zero, offset, clamped, inverted.
// It stands apart from the tests' shared oracle on purpose: this program may
// include no header of ours and links no C++ library, as the host could not.
BMM_Color_64 Expected(const BMM_Color_64* src, int x, int y, const Config& cfg) {
    const int k = cfg.Word(kKernelSize), h = k / 2, s = (9 - k) / 2;
    int out[3];
    for (int c = 0; c < 3; ++c) {
        // The kernels here are small enough for 32 bits, which also keeps the
        // CRT's 64-bit division helper out of this program.
        int sum = 0;
        for (int dy = -h; dy <= h; ++dy)
            for (int dx = -h; dx <= h; ++dx) {
                const int xx = x + dx, yy = y + dy;
                if (xx < 0 || yy < 0 || xx >= kW || yy >= kH) continue;
                sum += cfg.Weight(s + dy + h, s + dx + h) * Channel(src[yy * kW + xx], c);
            }
        const int divide = cfg.Word(kDivide);
        if (divide != 0) sum /= divide;
        sum += cfg.Word(kOffset);
        if (sum < 0) sum = 0;
        if (sum > 65535) sum = 65535;
        if (cfg.Word(kInvert) == 1) sum = 65535 - sum;
        out[c] = (int)sum;
    }
    BMM_Color_64 p = {(unsigned short)out[0], (unsigned short)out[1], (unsigned short)out[2], src[y * kW + x].a};
    return p;
}

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

// ---- the progress window ----------------------------------------------------

int g_progressMessages = 0, g_abortQueries = 0, g_lastLine = -1;

LRESULT __stdcall ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == 0x420) {
        ++g_progressMessages;
        g_lastLine = (int)wParam;
        return 0;
    }
    if (message == 0x421) {
        ++g_abortQueries;
        *(int*)lParam = 0;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeProgressWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ProgressProc;
    wc.hInstance = GetModuleHandleA(0);
    wc.lpszClassName = "MsAbiProgress";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "MsAbiProgress", "", 0, 0, 0, 0, 0, (HWND)-3 /* message-only */, 0, wc.hInstance, 0);
}

// ---- dialogs, closed from a second thread ---------------------------------

struct DialogJob {
    const char* caption;
    int cellId;           // 0: type nothing
    const char* cellText;
    int button;           // 1 OK, 2 Cancel
    bool found;
    bool errorBox;        // an "Error" box came up instead (and was closed)
};

DWORD __stdcall DriveDialog(void* arg) {
    DialogJob* job = (DialogJob*)arg;
    for (int i = 0; i < 1000; ++i) {
        if (HWND box = FindWindowA("#32770", "Error")) {
            job->errorBox = true;
            PostMessageA(box, 0x0111 /* WM_COMMAND */, 1, 0);
        }
        HWND d = FindWindowA("#32770", job->caption);
        if (d && IsWindowVisible(d)) {
            job->found = true;
            if (job->cellId) SetDlgItemTextA(d, job->cellId, job->cellText);
            PostMessageA(d, 0x0111 /* WM_COMMAND */, (WPARAM)job->button, 0);
            return 0;
        }
        Sleep(10);
    }
    return 0;
}

void* StartDriver(DialogJob* job) { return CreateThread(0, 0, DriveDialog, job, 0, 0); }

void Finish(void* thread) {
    WaitForSingleObject(thread, 20000);
    CloseHandle(thread);
}

// ---- the program -------------------------------------------------------------

typedef const char*(__cdecl* LibDescriptionFn)();
typedef int(__cdecl* LibNumberClassesFn)();
typedef ClassDesc*(__cdecl* LibClassDescFn)(int);
typedef unsigned long(__cdecl* LibVersionFn)();
typedef int(__cdecl* LiveCountFn)();

char g_folder[300];

void FindFolder() {
    const DWORD n = GetModuleFileNameA(0, g_folder, sizeof g_folder);
    int cut = 0;
    for (DWORD i = 0; i < n; ++i)
        if (g_folder[i] == '\\' || g_folder[i] == '/') cut = (int)i;
    g_folder[cut] = 0;
}

bool StartsWith(const char* text, const char* prefix) {
    for (; *prefix; ++prefix, ++text)
        if (*text != *prefix) return false;
    return true;
}

NOINLINE void DescriptorEntries(ClassDesc* d) {
    CHECK(d->HostHookA() == 1);
    // Entry 2 is exercised by the filter checks below.
    CHECK(d->HostHookB(12345) == 0);
    CHECK(d->HostHookC(-1) == 0);
    CHECK(strcmp(d->DisplayName(), "Velmora Filter") == 0);
    CHECK(d->KindCode() == 0x0E00);
    const ClassId id = d->ClassIdentifier();
    CHECK(id.first == 0x33A25539u);
    CHECK(id.second == 0x39933116u);
    CHECK(strcmp(d->CategoryName(), "Image Filter") == 0);
    CHECK(d->HostHookD(7) == 1);
    CHECK(d->HostHookE() == 0);
    d->HostHookF(3);
    d->HostHookG(4);
    CHECK(d->HostHookH() == 0);
    CHECK(d->HostHookI(99) == 0);
    CHECK(d->HostHookJ(-99) == 0);
    // The hooks leave the descriptor as it was.
    CHECK(strcmp(d->DisplayName(), "Velmora Filter") == 0);
}

NOINLINE void Lifetime(ClassDesc* d, LiveCountFn live) {
    const int before = live();
    ImageFilter* a = (ImageFilter*)d->CreateInstance(0);
    ImageFilter* b = (ImageFilter*)d->CreateInstance(1);
    CHECK(a != 0 && b != 0 && a != b);
    if (!a || !b) return;
    CHECK(live() == before + 2);
    Config fresh = {};
    CHECK(a->SaveConfigure(fresh.bytes) == 1);
    CHECK((unsigned)fresh.Word(0) == kStamp && fresh.Word(kSource) == 1009 && fresh.Word(kKernelSize) == 3 &&
          fresh.Word(kDivide) == 1 && fresh.Word(kOffset) == 0 && fresh.Word(kInvert) == 0 && fresh.bytes[356] == 0);
    delete a;  // entry 1, flags 1, as this compiler emits it
    CHECK(live() == before + 1);

    // Flags 0 destroys without freeing and answers the object's address.
    void* answer = ((DestructorEntry*)b)->ScalarDeletingDestructor(0);
    CHECK(answer == b);
    CHECK(live() == before);

    // Many filters made and deleted: each delete must free what it made, or
    // this host would run out of its 2 GB long before the loop ends (a filter
    // is about 1 KB; 2.5 million of them leak 2.5 GB).
    int made = 0;
    for (int i = 0; i < 2500000; ++i) {
        ImageFilter* f = (ImageFilter*)d->CreateInstance(0);
        if (!f) break;
        ++made;
        delete f;
    }
    CHECK(made == 2500000);
    CHECK(live() == before);
}

// f last rendered with the 5 x 5 whole-frame configuration.
NOINLINE void ConfigurationEntries(ImageFilter* f) {
    CHECK(f->EvaluateConfigure() == (unsigned)kConfigBytes);
    Config saved = {};
    CHECK(f->SaveConfigure(saved.bytes) == 1);
    CHECK((unsigned)saved.Word(0) == kStamp);
    CHECK(saved.Word(kSource) == 1009);
    CHECK(saved.Word(kKernelSize) == 5);
    CHECK(saved.Word(kDivide) == -4);
    CHECK(f->SaveConfigure(0) == 0);
    CHECK(f->LoadConfigure(0) == 0);

    Config edited = saved;
    edited.SetWord(kSource, 1010);
    edited.SetWord(kMaterialId, 5);
    edited.SetWeight(4, 4, 3);
    CHECK(f->LoadConfigure(edited.bytes) == 1);
    CHECK(f->ChannelsRequired() == 2);

    Config refused = edited;
    refused.SetWord(0, 0x12345678);
    refused.SetWord(kSource, 1011);
    CHECK(f->LoadConfigure(refused.bytes) == 0);
    Config after = {};
    CHECK(f->SaveConfigure(after.bytes) == 1);
    bool same = true;
    for (int i = 0; i < kConfigBytes; ++i) same = same && after.bytes[i] == edited.bytes[i];
    CHECK(same);
    CHECK(f->ChannelsRequired() == 2);
    CHECK(f->LoadConfigure(saved.bytes) == 1);
    CHECK(f->ChannelsRequired() == 0);
}

// Renders a fresh frame with cfg and compares every pixel, selected or not.
NOINLINE void RenderAndCompare(ImageFilter* f, const Config& cfg, HWND progress, bool objectsOnly, int matchId) {
    FrameStorage& storage = g_frame;
    storage = FrameStorage();
    FillFrame(storage);
    BMM_Color_64* before = g_before;
    for (int i = 0; i < kW * kH; ++i) before[i] = storage.pixels[i];
    Bitmap frame = {&storage};

    Config copy = cfg;
    CHECK(f->LoadConfigure(copy.bytes) == 1);
    f->SetSource(&frame);
    g_progressMessages = g_abortQueries = 0;
    g_lastLine = -1;
    CHECK(f->RenderFrame(progress) == 1);
    CHECK(g_progressMessages == kH);
    CHECK(g_abortQueries == kH);
    CHECK(g_lastLine == kH - 1);
    CHECK(storage.linesWritten == kH);
    CHECK(storage.channelAsks == (objectsOnly ? 1 : 0));

    int wrong = 0, selected = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int i = y * kW + x;
            const bool chosen = !objectsOnly || storage.objects[i] == matchId;
            selected += chosen;
            const BMM_Color_64 want = chosen ? Expected(before, x, y, cfg) : before[i];
            if (!Same(storage.pixels[i], want)) {
                if (++wrong <= 5) {
                    char text[200];
                    sprintf(text, "pixel (%d, %d): got %u %u %u %u, want %u %u %u %u\n", x, y, storage.pixels[i].r,
                            storage.pixels[i].g, storage.pixels[i].b, storage.pixels[i].a, want.r, want.g, want.b,
                            want.a);
                    Print(text);
                }
            }
        }
    CHECK(wrong == 0);
    CHECK(selected > 0 && (!objectsOnly || selected < kW * kH));
}

NOINLINE void FilterEntries(ClassDesc* d, HWND progress) {
    ImageFilter* f = (ImageFilter*)d->CreateInstance(0);
    CHECK(f != 0);
    if (!f) return;

    // Entries 2 to 8, in table order.
    CHECK(strcmp(f->FilterName(), "Velmora Filter") == 0);
    CHECK(f->FilterName() == d->DisplayName());
    CHECK(strcmp(f->FilterAuthor(), "The Velmora Filter developers") == 0);
    CHECK(StartsWith(f->FilterNotice(), "(c)"));
    CHECK(f->FilterVersion() == kStamp);
    CHECK(f->FilterCapabilities() == 6);

    DialogJob about = {"About Velmora Filter", 0, 0, 1, false, false};
    void* t = StartDriver(&about);
    CHECK(f->OpenAboutBox(0) == 1);
    Finish(t);
    CHECK(about.found);
    DialogJob aboutCancel = {"About Velmora Filter", 0, 0, 2, false, false};
    t = StartDriver(&aboutCancel);
    CHECK(f->OpenAboutBox(0) == 0);
    Finish(t);
    CHECK(aboutCancel.found);

    // The control dialog: OK keeps what was typed into the centre cell (id
    // 1016 + 9 * 4 + 4), Cancel puts back what the dialog opened with.
    DialogJob ok = {"Velmora Filter Control", 1056, "7", 1, false, false};
    t = StartDriver(&ok);
    CHECK(f->ShowControl(0) == 1);
    Finish(t);
    CHECK(ok.found);
    CHECK(!ok.errorBox);
    Config cfg = {};
    CHECK(f->SaveConfigure(cfg.bytes) == 1);
    CHECK(cfg.Weight(4, 4) == 7);
    DialogJob cancel = {"Velmora Filter Control", 1056, "-9", 2, false, false};
    t = StartDriver(&cancel);
    CHECK(f->ShowControl(0) == 0);
    Finish(t);
    CHECK(cancel.found);
    CHECK(f->SaveConfigure(cfg.bytes) == 1);
    CHECK(cfg.Weight(4, 4) == 7);

    // Entries 9 to 13: three bitmaps handed over, only the source is filtered.
    FrameStorage& other = g_other;
    FillFrame(other);
    Bitmap foreground = {&other}, mask = {&other};
    int info = 0;
    Config sharpen = cfg;
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) sharpen.SetWeight(r, c, 0);
    const int block[3][3] = {{-1, -2, -1}, {-2, 20, -2}, {-1, -2, -1}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) sharpen.SetWeight(3 + r, 3 + c, block[r][c]);
    sharpen.SetWord(kKernelSize, 3);
    sharpen.SetWord(kDivide, 3);
    sharpen.SetWord(kOffset, 100);
    sharpen.SetWord(kInvert, 0);
    sharpen.SetWord(kSource, 1011);
    sharpen.SetWord(kObjectId, 2);
    f->SetForeground(&foreground);
    f->SetMask(&mask);
    f->SetFilterInfo(&info);
    RenderAndCompare(f, sharpen, progress, true, 2);
    CHECK(f->ChannelsRequired() == 4);
    CHECK(other.linesRead == 0 && other.linesWritten == 0);

    Config wide = sharpen;
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) wide.SetWeight(r, c, (r >= 2 && r <= 6 && c >= 2 && c <= 6) ? (r * 5 + c) % 7 - 2 : 0);
    wide.SetWord(kKernelSize, 5);
    wide.SetWord(kDivide, -4);
    wide.SetWord(kOffset, 30000);
    wide.SetWord(kInvert, 1);
    wide.SetWord(kSource, 1009);
    RenderAndCompare(f, wide, progress, false, -1);
    CHECK(f->ChannelsRequired() == 0);

    // Entry 14: the host's interface, and its directory for code 9.
    Interface* host = f->HostInterface();
    CHECK(host != 0);
    if (host) {
        char want[340];
        sprintf(want, "%s\\settings", g_folder);
        const char* dir = host->DirectoryPath(9);
        CHECK(dir != 0 && strcmp(dir, want) == 0);
    }

    // Entries 15 and 16 in that order: a float mixed in, then an integer
    // weight on a 255 scale.
    CHECK(f->LerpFloat(0, 100, 0.25f) == 25);
    CHECK(f->LerpInt(10, 20, 255) == 20);
    CHECK(f->LerpInt(0, 255, 51) == 51);

    // Entries 17 to 19, with the configuration saved, loaded and refused.
    ConfigurationEntries(f);

    // Entry 20: eight arguments, one a float; the base answers 0.
    Bitmap* made = 0;
    CHECK(f->CreatePreview(0, &made, 5, 64, 48, 1.5f, &foreground, 0x10) == 0);
    CHECK(made == 0);

    // Entries 21 to 27.
    CHECK(f->ChannelsRequired() == 0);
    CHECK(f->DlgHandle() == 0);
    f->MakeDlgInteractive(progress);
    CHECK(f->IsInteractive() == 1);
    CHECK(f->CreateNode() == 0);
    CHECK(f->Node() == 0);
    f->FilterUpdate();
    CHECK(f->DlgHandle() == progress);
    CHECK(strcmp(f->FilterName(), "Velmora Filter") == 0);

    delete f;
}

// The edit and spinner interfaces, whose tables cross the other way: the host
// makes them, the plug-in calls them.
NOINLINE void ControlInterfaces(HMODULE hostlib) {
    typedef ICustEdit*(__cdecl * GetEditFn)(HWND);
    typedef void(__cdecl * ReleaseEditFn)(ICustEdit*);
    typedef ISpinnerControl*(__cdecl * GetSpinnerFn)(HWND);
    typedef void(__cdecl * ReleaseSpinnerFn)(ISpinnerControl*);
    // The services as the plug-in imports them (g++ names).
    GetEditFn getEdit = (GetEditFn)GetProcAddress(hostlib, "_Z12GetICustEditP6HWND__");
    ReleaseEditFn releaseEdit = (ReleaseEditFn)GetProcAddress(hostlib, "_Z16ReleaseICustEditP9ICustEdit");
    GetSpinnerFn getSpinner = (GetSpinnerFn)GetProcAddress(hostlib, "_Z11GetISpinnerP6HWND__");
    ReleaseSpinnerFn releaseSpinner = (ReleaseSpinnerFn)GetProcAddress(hostlib, "_Z15ReleaseISpinnerP15ISpinnerControl");
    CHECK(getEdit && releaseEdit && getSpinner && releaseSpinner);
    if (!getEdit || !releaseEdit || !getSpinner || !releaseSpinner) return;

    // Overlapped top-level parent: the classes exist once VLM.FLT is loaded.
    HWND parent = CreateWindowExA(0, "STATIC", "msabi", 0x00CF0000, 0, 0, 200, 100, 0, 0, 0, 0);
    HWND editWindow = CreateWindowExA(0, "CustEdit", "", 0x40000000, 0, 0, 80, 20, parent, 0, 0, 0);
    HWND spinWindow = CreateWindowExA(0, "SpinnerControl", "", 0x40000000, 80, 0, 10, 20, parent, 0, 0, 0);
    CHECK(editWindow != 0 && spinWindow != 0);
    ICustEdit* edit = getEdit(editWindow);
    ISpinnerControl* spin = getSpinner(spinWindow);
    CHECK(edit != 0 && spin != 0);
    if (edit && spin) {
        char text[32] = "";
        edit->ShowInt(-4321);
        GetWindowTextA(editWindow, text, sizeof text);
        CHECK(strcmp(text, "-4321") == 0);
        edit->ShowText("abc");
        GetWindowTextA(editWindow, text, sizeof text);
        CHECK(strcmp(text, "abc") == 0);
        SetWindowTextA(editWindow, "  815");
        CHECK(edit->ReadInt() == 815);
        SetWindowTextA(editWindow, "");
        CHECK(edit->ReadInt() == 0);

        spin->AttachEdit(editWindow, 0);
        spin->SetRange(-10, 100, 0);
        spin->WriteValue(250, 0);
        CHECK(spin->ReadValue() == 100);
        GetWindowTextA(editWindow, text, sizeof text);
        CHECK(strcmp(text, "100") == 0);
        spin->WriteValue(-50, 0);
        CHECK(spin->ReadValue() == -10);
    }
    if (edit) releaseEdit(edit);
    if (spin) releaseSpinner(spin);
    DestroyWindow(parent);
}

int Run() {
    FindFolder();
    char path[340];
    sprintf(path, "%s\\VLM.FLT", g_folder);
    // 8: LOAD_WITH_ALTERED_SEARCH_PATH, so HOSTLIB.DLL is found beside it.
    HMODULE plugin = LoadLibraryExA(path, 0, 8);
    CHECK(plugin != 0);
    if (!plugin) return 2;

    // The host finds the exports by ordinal.
    LibDescriptionFn description = (LibDescriptionFn)GetProcAddress(plugin, (const char*)1);
    LibNumberClassesFn count = (LibNumberClassesFn)GetProcAddress(plugin, (const char*)2);
    LibClassDescFn classDesc = (LibClassDescFn)GetProcAddress(plugin, (const char*)3);
    LibVersionFn version = (LibVersionFn)GetProcAddress(plugin, (const char*)4);
    CHECK(description && count && classDesc && version);
    if (!description || !count || !classDesc || !version) return 2;
    CHECK(StartsWith(description(), "Velmora Filter, "));
    CHECK(count() == 1);
    CHECK(version() == 0x07D00500ul);
    CHECK(classDesc(1) == 0 && classDesc(-1) == 0);
    ClassDesc* d = classDesc(0);
    CHECK(d != 0 && classDesc(0) == d);
    if (!d) return 2;

    HMODULE hostlib = GetModuleHandleA("HOSTLIB.dll");
    LiveCountFn live = hostlib ? (LiveCountFn)GetProcAddress(hostlib, "HostLiveFilterCount") : 0;
    CHECK(live != 0);
    if (!live) return 2;

    // The filter library file lives in the host's directory for code 9; as a
    // host installation has one, so does this host (empty: no kernels yet).
    // What it makes for the run it takes away again, so that minihost.exe
    // beside it is not left with an empty library.
    char settings[340];
    sprintf(settings, "%s\\settings", g_folder);
    const bool madeFolder = CreateDirectoryA(settings, 0) != 0;
    sprintf(path, "%s\\VLM.SET", settings);
    // GENERIC_READ, OPEN_ALWAYS: made when missing, never emptied.
    void* file = CreateFileA(path, 0x80000000u, 1, 0, 4, 0x80, 0);
    CHECK(file != (void*)-1);
    const bool madeFile = file != (void*)-1 && GetLastError() != 183;  // ERROR_ALREADY_EXISTS
    CloseHandle(file);

    HWND progress = MakeProgressWindow();
    CHECK(progress != 0);

    Print("descriptor entries\n");
    DescriptorEntries(d);
    Print("filters made and deleted\n");
    Lifetime(d, live);
    Print("filter entries\n");
    FilterEntries(d, progress);
    CHECK(live() == 0);
    Print("edit and spinner interfaces\n");
    ControlInterfaces(hostlib);

    DestroyWindow(progress);
    FreeLibrary(plugin);
    if (madeFile) DeleteFileA(path);
    if (madeFolder) RemoveDirectoryA(settings);
    return 0;
}

}  // namespace

extern "C" int mainCRTStartup() {
    const int early = Run();
    char line[96];
    sprintf(line, "msabi_host: %d passed, %d failed\n", g_passed, g_failed);
    Print(line);
    ExitProcess(early ? early : g_failed ? 1 : 0);
    return 0;
}
