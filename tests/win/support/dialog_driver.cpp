#include "tests/win/support/dialog_driver.h"

#include <algorithm>
#include <cstdio>

#include "hostlib/host_control.h"

namespace {

// Removes the folder with everything in it, read-only files and subfolders
// included. Prefixed wide names: a test's names may be of any length.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName, path = folder + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring Prefixed(const std::string& path) {
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());  // the temp folder's name is ASCII
}

// Wine's DeleteFileW on a Unix symbolic link deletes what the link points to
// and leaves the link, so under Wine the Unix side removes the folder; on
// Windows, RemoveTree does, whose DeleteFileW removes links themselves.
void RemoveFolder(const std::string& path) {
    if (!FileExists(path)) return;  // nor may an rm still on its way find a folder made afresh
    const std::string unixPath = UnixName(path);
    if (unixPath.empty() || !RunUnix("/bin/rm", {"-rf", "--", unixPath})) RemoveTree(Prefixed(path));
    // Wine's handle of a Unix process may signal before the process ends:
    // the folder's going is waited for itself.
    for (int waited = 0; waited < 1000 && FileExists(path); ++waited) Sleep(10);
}

}  // namespace

std::string UnixName(const std::string& path) {
    using UnixNameOf = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixNameOf>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return "";
    std::wstring wide(path.size(), L'\0');
    wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, path.data(), int(path.size()), &wide[0], int(wide.size()))));
    char* name = unixName(wide.c_str());
    const std::string out = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

bool RunUnix(const std::string& program, const std::vector<std::string>& arguments) {
    if (UnixName("C:\\").empty()) return false;
    std::string command = program;
    for (const std::string& a : arguments) command += " \"" + a + "\"";
    STARTUPINFOA start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION process{};
    const std::string windowsName = "Z:" + program;
    if (!CreateProcessA(windowsName.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                        &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

TempDir::TempDir(const char* tag) {
    static LONG counter = 0;
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "vlm_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(InterlockedIncrement(&counter));
    // Wine reuses process ids: a folder of this name is an earlier run's.
    RemoveFolder(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveFolder(path_); }

std::string ReadBytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> FolderNames(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string EntryText(const std::string& name, const std::vector<std::vector<int>>& rows, int divide, int offset,
                      int invert) {
    std::string text = name + "\r\n" + std::to_string(rows.size()) + "\r\n";
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) text += (i ? " " : "") + std::to_string(row[i]);
        text += "\r\n";
    }
    return text + std::to_string(divide) + " " + std::to_string(offset) + " " + std::to_string(invert) + "\r\n";
}

HWND Cell(HWND dialog, int row, int column) { return GetDlgItem(dialog, 1016 + 9 * row + column); }

void SetText(HWND control, const std::string& text) {
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Type(HWND control, const std::string& text) {
    SendMessageA(control, EM_SETSEL, 0, -1);
    SendMessageA(control, WM_CHAR, VK_BACK, 0);
    for (char c : text) SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

std::string Text(HWND control) {
    char text[1024] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    text[sizeof text - 1] = '\0';
    return text;
}

std::string TextOf(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool Checked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

void ClickSpinner(HWND dialog, int id, bool up) {
    HWND spinner = GetDlgItem(dialog, id);
    RECT r;
    GetClientRect(spinner, &r);
    const int x = (r.left + r.right) / 2;
    const int y = up ? r.top + (r.bottom - r.top) / 4 : r.bottom - 1 - (r.bottom - r.top) / 4;
    SendMessageA(spinner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(spinner, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

namespace {
std::string ItemText(HWND list, LRESULT i) {
    const LRESULT n = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (n < 0 || n > 1000) return "<bad item>";
    std::string text(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(n));
    return text;
}
}  // namespace

std::vector<std::string> ListItems(HWND list) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) items.push_back(ItemText(list, i));
    return items;
}

std::string SelectedItem(HWND list) {
    const LRESULT i = SendMessageA(list, LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? std::string() : ItemText(list, i);
}

int ItemIndex(HWND list, const std::string& text) {
    const std::vector<std::string> items = ListItems(list);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return static_cast<int>(i);
    return -1;
}

void Pick(HWND dialog, int index, WORD notification) {
    HWND list = GetDlgItem(dialog, 1101);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1101, notification), reinterpret_cast<LPARAM>(list));
}

namespace {
BOOL CALLBACK HasUpdate(HWND child, LPARAM flag) {
    if (GetUpdateRect(child, nullptr, FALSE)) *reinterpret_cast<bool*>(flag) = true;
    return TRUE;
}
}  // namespace

bool WaitForPaint(HWND window, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        bool pending = GetUpdateRect(window, nullptr, FALSE) != FALSE;
        EnumChildWindows(window, HasUpdate, reinterpret_cast<LPARAM>(&pending));
        if (!pending) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

std::vector<COLORREF> CaptureClient(HWND window, int width, int height) {
    std::vector<COLORREF> pixels;
    RECT client;
    if (!GetClientRect(window, &client)) return pixels;
    if (width > client.right) width = client.right;
    if (height > client.bottom) height = client.bottom;
    if (width <= 0 || height <= 0) return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP dib = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = SelectObject(memory, dib);
        if (BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY)) {
            GdiFlush();
            const auto* bgrx = static_cast<const unsigned char*>(bits);
            pixels.resize(static_cast<size_t>(width) * height);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = RGB(bgrx[4 * i + 2], bgrx[4 * i + 1], bgrx[4 * i]);
        }
        SelectObject(memory, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return pixels;
}

void ControlDialogTest::SetUp() {
    // The filter's constructor builds the library path from this folder.
    HostSetSettingsDir(dir.Path().c_str());
    ASSERT_TRUE(WriteBytes(LibraryFile(), ""));
    PluginFilterTest::SetUp();
}

void ControlDialogTest::TearDown() {
    PluginFilterTest::TearDown();
    HostSetSettingsDir(nullptr);
}

int ControlDialogTest::Open(const std::function<void(HWND)>& drive) {
    bool driven = false;
    const int result = RunModal(kControlCaption, [&] { return filter->ShowControl(nullptr); }, drive, &driven);
    EXPECT_TRUE(driven) << "the control dialog never showed";
    return result;
}
