// Reads the dialog templates and bitmaps of VLM.FLT as raw resource bytes and
// checks them field by field against tables written here from the dialog
// layouts, so that a template compiler's implicit additions (styles, upper-cased
// class names, class strings instead of atoms) or a mistyped cell show up.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Blob {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// A name-or-ordinal field of a template: class, text, menu.
struct NameOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::string name;
};

struct Item {
    uint32_t helpId = 0, exStyle = 0, style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;
    NameOrOrdinal cls, text;
    uint16_t extraBytes = 0;
};

struct Dialog {
    bool extended = false;
    uint32_t exStyle = 0, style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu, cls;
    std::string title;
    uint16_t points = 0, weight = 0;
    uint8_t italic = 0, charset = 0;
    std::string face;
    std::vector<Item> items;
    size_t end = 0;  // offset just past the last item
};

// Bounds-checked little-endian reader: a read past the end marks it failed
// and yields zeros, so a truncated template fails the test instead of the process.
class Reader {
public:
    explicit Reader(Blob b) : b_(b) {}
    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    uint8_t u8() { return static_cast<uint8_t>(Get(1)); }
    uint16_t u16() { return static_cast<uint16_t>(Get(2)); }
    uint32_t u32() { return Get(4); }
    int s16() { return static_cast<int16_t>(u16()); }
    void Align4() { Skip((4 - pos_ % 4) % 4); }
    void Skip(size_t n) {
        if (b_.size - pos_ < n) ok_ = false;
        else pos_ += n;
    }
    std::string WideString() {
        std::string s;
        for (uint16_t c = u16(); ok_ && c != 0; c = u16())
            s += c < 0x80 ? static_cast<char>(c) : '?';
        return s;
    }
    NameOrOrdinal Field() {
        NameOrOrdinal f;
        const uint16_t first = u16();
        if (first == 0xFFFF) {
            f.isOrdinal = true;
            f.ordinal = u16();
        } else if (first != 0) {
            f.name = static_cast<char>(first < 0x80 ? first : '?') + WideString();
        }
        return f;
    }

private:
    uint32_t Get(size_t n) {
        if (!ok_ || b_.size - pos_ < n) {
            ok_ = false;
            return 0;
        }
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint32_t(b_.data[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }
    Blob b_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Parses a DLGTEMPLATE or a DLGTEMPLATEEX with all its items. Fails the
// current test (and returns what it has) when the bytes run out.
Dialog ParseDialog(Blob blob) {
    Reader r(blob);
    Dialog d;
    const uint16_t w0 = r.u16(), w1 = r.u16();
    d.extended = w0 == 1 && w1 == 0xFFFF;
    uint16_t count = 0;
    if (d.extended) {
        r.u32();  // help id
        d.exStyle = r.u32();
        d.style = r.u32();
    } else {
        d.style = w0 | uint32_t(w1) << 16;
        d.exStyle = r.u32();
    }
    count = r.u16();
    d.x = r.s16(), d.y = r.s16(), d.cx = r.s16(), d.cy = r.s16();
    d.menu = r.Field();
    d.cls = r.Field();
    d.title = r.WideString();
    if (d.style & DS_SETFONT) {
        d.points = r.u16();
        if (d.extended) {
            d.weight = r.u16();
            d.italic = r.u8();
            d.charset = r.u8();
        }
        d.face = r.WideString();
    }
    for (uint16_t i = 0; i < count && r.ok(); ++i) {
        r.Align4();
        Item it;
        if (d.extended) {
            it.helpId = r.u32();
            it.exStyle = r.u32();
            it.style = r.u32();
        } else {
            it.style = r.u32();
            it.exStyle = r.u32();
        }
        it.x = r.s16(), it.y = r.s16(), it.cx = r.s16(), it.cy = r.s16();
        it.id = d.extended ? static_cast<int32_t>(r.u32()) : r.s16();
        it.cls = r.Field();
        it.text = r.Field();
        it.extraBytes = r.u16();
        r.Skip(it.extraBytes);
        if (r.ok()) d.items.push_back(it);
    }
    EXPECT_TRUE(r.ok()) << "template ends inside item " << d.items.size();
    d.end = r.pos();
    return d;
}

// One control as the dialog layout gives it. cls: a system class by name
// (checked as its atom) or a registered class name (checked as that exact
// string). bitmap != 0: the text is that resource ordinal. style: without
// WS_CHILD | WS_VISIBLE, which every control must have in addition.
struct Expected {
    int id;
    const char* cls;
    const char* text;
    int bitmap;
    int x, y, cx, cy;
    uint32_t style;
    uint32_t exStyle;
};

uint16_t SystemAtom(const std::string& cls) {
    if (cls == "BUTTON") return 0x0080;
    if (cls == "EDIT") return 0x0081;
    if (cls == "STATIC") return 0x0082;
    if (cls == "LISTBOX") return 0x0083;
    return 0;
}

void ExpectControls(const Dialog& d, const std::vector<Expected>& want) {
    ASSERT_EQ(d.items.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Item& got = d.items[i];
        const Expected& w = want[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + " id " + std::to_string(w.id));
        EXPECT_EQ(got.id, w.id);
        if (uint16_t atom = SystemAtom(w.cls)) {
            EXPECT_TRUE(got.cls.isOrdinal) << "class stored as \"" << got.cls.name << "\"";
            EXPECT_EQ(got.cls.ordinal, atom);
        } else {
            EXPECT_FALSE(got.cls.isOrdinal);
            EXPECT_EQ(got.cls.name, w.cls);  // exact case
        }
        if (w.bitmap) {
            EXPECT_TRUE(got.text.isOrdinal);
            EXPECT_EQ(got.text.ordinal, w.bitmap);
        } else {
            EXPECT_FALSE(got.text.isOrdinal);
            EXPECT_EQ(got.text.name, w.text);
        }
        EXPECT_EQ(got.x, w.x);
        EXPECT_EQ(got.y, w.y);
        EXPECT_EQ(got.cx, w.cx);
        EXPECT_EQ(got.cy, w.cy);
        EXPECT_EQ(got.style, w.style | WS_CHILD | WS_VISIBLE) << std::hex << got.style;
        EXPECT_EQ(got.exStyle, w.exStyle);
        EXPECT_EQ(got.helpId, 0u);
        EXPECT_EQ(got.extraBytes, 0u);
    }
}

const uint32_t kTab = WS_TABSTOP;
const uint32_t kLabel = SS_CENTER | WS_GROUP;

const std::vector<Expected> kAboutControls = {
    {-1, "BUTTON", "", 0, 14, 2, 160, 90, BS_GROUPBOX, 0},
    {-1, "STATIC", "Velmora Filter", 0, 16, 35, 156, 8, kLabel, 0},
    {-1, "STATIC", "Version 1.1", 0, 16, 46, 156, 8, kLabel, 0},
    {-1, "STATIC", "The Velmora Filter developers", 0, 16, 57, 156, 8, kLabel, 0},
    {-1, "STATIC", "(c) 2026 Velmora Imaging. All rights reserved.", 0, 16, 68, 156, 8, kLabel, 0},
    {1, "BUTTON", "OK", 0, 69, 96, 50, 14, BS_DEFPUSHBUTTON | kTab, 0},
    {-1, "STATIC", nullptr, 104, 51, 12, 90, 15, SS_BITMAP, 0},
    {-1, "STATIC", "www.velmora.example", 0, 16, 79, 156, 8, kLabel, 0},
};

std::vector<Expected> ControlDialogControls() {
    std::vector<Expected> v = {
        {1101, "LISTBOX", "", 0, 225, 117, 150, 115,
         LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | kTab, 0},
        {1009, "BUTTON", "Whole Image", 0, 25, 51, 95, 10, BS_AUTORADIOBUTTON | WS_GROUP, 0},
        {1010, "BUTTON", "Material Effects Channel", 0, 25, 66, 95, 10, BS_AUTORADIOBUTTON, 0},
        {1012, "CustEdit", "", 0, 152, 66, 28, 10, kTab, 0},
        {1011, "BUTTON", "Object Channel", 0, 25, 81, 67, 10, BS_AUTORADIOBUTTON, 0},
        {1013, "CustEdit", "", 0, 152, 81, 28, 10, kTab, 0},
        {1, "BUTTON", "OK", 0, 50, 245, 50, 14, BS_DEFPUSHBUTTON | kTab, 0},
        {2, "BUTTON", "Cancel", 0, 120, 245, 50, 14, BS_PUSHBUTTON | kTab, 0},
        {3, "BUTTON", "Preview", 0, 240, 245, 50, 14, BS_PUSHBUTTON | kTab, 0},
        {4, "BUTTON", "Save", 0, 310, 245, 50, 14, BS_PUSHBUTTON | kTab, 0},
        {-1, "BUTTON", "Filter", 0, 6, 105, 210, 135, BS_GROUPBOX, 0},
        {-1, "BUTTON", "", 0, 6, 0, 210, 32, BS_GROUPBOX, 0},
        {-1, "STATIC", "Velmora Filter, Version 1.1", 0, 8, 8, 203, 8, kLabel, 0},
        {-1, "STATIC", "A convolution you type in, for rendered frames", 0, 8, 19, 203, 8, kLabel, 0},
        {1014, "SpinnerControl", "", 0, 180, 66, 10, 10, kTab, 0},
        {1015, "SpinnerControl", "", 0, 180, 81, 10, 10, kTab, 0},
        {-1, "BUTTON", "Source", 0, 6, 34, 210, 70, BS_GROUPBOX, 0},
    };
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c)
            v.push_back({1016 + 9 * r + c, "CustEdit", "", 0, 13 + 22 * c, 118 + 11 * r, 20, 10, kTab, 0});
    const std::vector<Expected> tail = {
        {-1, "STATIC", "Divide:", 0, 14, 224, 30, 8, SS_RIGHT | WS_GROUP, 0},
        {1007, "CustEdit", "", 0, 45, 223, 25, 10, kTab, 0},
        {1008, "SpinnerControl", "", 0, 70, 223, 7, 10, 0, 0},
        {-1, "STATIC", "Offset:", 0, 84, 224, 25, 8, SS_RIGHT | WS_GROUP, 0},
        {1097, "CustEdit", "", 0, 110, 223, 25, 10, kTab, 0},
        {1098, "SpinnerControl", "", 0, 135, 223, 7, 10, 0, 0},
        {1099, "BUTTON", "Invert", 0, 160, 223, 40, 10, BS_AUTOCHECKBOX | kTab, 0},
        {1102, "STATIC", nullptr, 106, 245, 6, 111, 78, SS_BITMAP | WS_BORDER, WS_EX_DLGMODALFRAME},
        {-1, "BUTTON", "Filter list", 0, 220, 105, 160, 135, BS_GROUPBOX, 0},
        {1103, "EDIT", "", 0, 245, 90, 135, 12, ES_AUTOHSCROLL | WS_BORDER | kTab, 0},
        {-1, "STATIC", "Name:", 0, 220, 91, 25, 8, SS_LEFT | WS_GROUP, 0},
    };
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
}

class Resources : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExA("VLM.FLT", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "VLM.FLT not loadable from the working directory, error "
                                    << GetLastError();
    }
    static Blob Raw(int id, LPCSTR type) {
        Blob b;
        HRSRC res = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!res) return b;
        HGLOBAL mem = LoadResource(module_, res);
        b.data = mem ? static_cast<const uint8_t*>(LockResource(mem)) : nullptr;
        b.size = b.data ? SizeofResource(module_, res) : 0;
        return b;
    }
    static HMODULE module_;
};
HMODULE Resources::module_ = nullptr;

TEST_F(Resources, AboutTemplate) {
    Blob raw = Raw(101, MAKEINTRESOURCEA(5));  // RT_DIALOG
    ASSERT_NE(raw.data, nullptr);
    Dialog d = ParseDialog(raw);
    EXPECT_FALSE(d.extended);
    EXPECT_EQ(d.style, uint32_t(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT))
        << std::hex << d.style;
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.cx, 189);
    EXPECT_EQ(d.cy, 115);
    EXPECT_TRUE(!d.menu.isOrdinal && d.menu.name.empty());
    EXPECT_TRUE(!d.cls.isOrdinal && d.cls.name.empty());
    EXPECT_EQ(d.title, "About Velmora Filter");
    EXPECT_EQ(d.points, 8);
    EXPECT_EQ(d.face, "MS Sans Serif");
    ExpectControls(d, kAboutControls);
    EXPECT_LT(raw.size - d.end, 4u) << "bytes after the last control";
}

TEST_F(Resources, ControlTemplate) {
    Blob raw = Raw(102, MAKEINTRESOURCEA(5));
    ASSERT_NE(raw.data, nullptr);
    Dialog d = ParseDialog(raw);
    EXPECT_TRUE(d.extended);
    EXPECT_EQ(d.style, uint32_t(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT))
        << std::hex << d.style;
    EXPECT_EQ(d.exStyle, 0u);
    EXPECT_EQ(d.cx, 385);
    EXPECT_EQ(d.cy, 263);
    EXPECT_TRUE(!d.menu.isOrdinal && d.menu.name.empty());
    EXPECT_TRUE(!d.cls.isOrdinal && d.cls.name.empty());
    EXPECT_EQ(d.title, "Velmora Filter Control");
    EXPECT_EQ(d.points, 8);
    EXPECT_EQ(d.face, "MS Sans Serif");
    EXPECT_EQ(d.italic, 0);
    ExpectControls(d, ControlDialogControls());
    EXPECT_LT(raw.size - d.end, 4u) << "bytes after the last control";

    // GetDlgItem finds only the first control of an id.
    std::set<int32_t> seen;
    for (const Item& it : d.items) {
        if (it.id != -1) {
            EXPECT_TRUE(seen.insert(it.id).second) << "id " << it.id << " twice";
        }
    }
}

// The 40-byte header of a BITMAP resource (the file header is not stored).
struct BitmapInfo {
    uint32_t headerSize, compression, colorsUsed, imageSize;
    int32_t width, height;
    uint16_t planes, bitCount;
};

BitmapInfo ReadBitmapInfo(Blob b) {
    Reader r(b);
    BitmapInfo h{};
    h.headerSize = r.u32();
    h.width = static_cast<int32_t>(r.u32());
    h.height = static_cast<int32_t>(r.u32());
    h.planes = r.u16();
    h.bitCount = r.u16();
    h.compression = r.u32();
    h.imageSize = r.u32();
    r.u32(), r.u32();  // resolution
    h.colorsUsed = r.u32();
    EXPECT_TRUE(r.ok());
    return h;
}

size_t Stride(int width, int bits) { return (size_t(width) * bits / 8 + 3) & ~size_t(3); }

TEST_F(Resources, LogoBitmap) {
    Blob raw = Raw(104, MAKEINTRESOURCEA(2));  // RT_BITMAP
    ASSERT_NE(raw.data, nullptr);
    BitmapInfo h = ReadBitmapInfo(raw);
    EXPECT_EQ(h.headerSize, 40u);
    EXPECT_EQ(h.width, 130);
    EXPECT_EQ(h.height, 32);
    EXPECT_EQ(h.planes, 1);
    ASSERT_EQ(h.bitCount, 8);
    EXPECT_EQ(h.compression, uint32_t(BI_RGB));
    const size_t colours = h.colorsUsed ? h.colorsUsed : 256;
    ASSERT_LE(colours, 256u);
    const size_t stride = Stride(130, 8);
    ASSERT_GE(raw.size, 40 + 4 * colours + stride * 32);

    // Every pixel names a palette entry, and the picture is more than a fill.
    const uint8_t* pixels = raw.data + 40 + 4 * colours;
    std::set<uint8_t> used;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 130; ++x) used.insert(pixels[y * stride + x]);
    EXPECT_LT(*used.rbegin(), colours);
    EXPECT_GE(used.size(), 8u);
}

TEST_F(Resources, SampleBitmap) {
    Blob raw = Raw(106, MAKEINTRESOURCEA(2));
    ASSERT_NE(raw.data, nullptr);
    BitmapInfo h = ReadBitmapInfo(raw);
    EXPECT_EQ(h.headerSize, 40u);
    EXPECT_EQ(h.width, 160);
    EXPECT_EQ(h.height, 120);  // positive: bottom-up
    EXPECT_EQ(h.planes, 1);
    ASSERT_EQ(h.bitCount, 24);
    EXPECT_EQ(h.compression, uint32_t(BI_RGB));
    EXPECT_EQ(h.colorsUsed, 0u);
    const size_t stride = Stride(160, 24);
    ASSERT_GE(raw.size, 40 + stride * 120);

    // Enough of every kind of detail for a kernel to show: many colours, hard
    // edges, smooth gradients and features 1 px wide.
    const uint8_t* p = raw.data + 40;
    auto diff = [&](int x0, int x1, int y) {
        int m = 0;
        for (int k = 0; k < 3; ++k)
            m = std::max(m, std::abs(p[y * stride + 3 * x0 + k] - p[y * stride + 3 * x1 + k]));
        return m;
    };
    std::set<uint32_t> colours;
    int hard = 0, smooth = 0, thin = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 160; ++x) {
            const uint8_t* q = p + y * stride + 3 * x;
            colours.insert(q[0] | q[1] << 8 | q[2] << 16);
        }
        for (int x = 0; x + 1 < 160; ++x) {
            const int d = diff(x, x + 1, y);
            hard += d >= 128;
            smooth += d >= 1 && d <= 4;
            if (x > 0) thin += d >= 64 && diff(x, x - 1, y) >= 64;
        }
    }
    EXPECT_GE(colours.size(), 1000u);
    EXPECT_GE(hard, 500);
    EXPECT_GE(smooth, 1000);
    EXPECT_GE(thin, 200);
}

// What the About box and the preview actually do with them: let the system load them.
TEST_F(Resources, BitmapsLoadThroughTheSystem) {
    for (auto [id, w, hgt] : {std::tuple{104, 130, 32}, std::tuple{106, 160, 120}}) {
        SCOPED_TRACE(id);
        HBITMAP bmp = LoadBitmapA(module_, MAKEINTRESOURCEA(id));
        ASSERT_NE(bmp, nullptr);
        BITMAP info{};
        EXPECT_EQ(GetObjectA(bmp, sizeof info, &info), int(sizeof info));
        EXPECT_EQ(info.bmWidth, w);
        EXPECT_EQ(info.bmHeight, hgt);
        DeleteObject(bmp);
    }
}

}  // namespace
