#include "minihost/files/unicode.h"

#include <windows.h>

namespace {

bool Widen(unsigned codePage, DWORD flags, const std::string& text, std::wstring* out) {
    out->clear();
    if (text.empty()) return true;
    const int n = MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(size_t(n));
    return MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), &(*out)[0], n) == n;
}

}  // namespace

bool ToUtf16(const std::string& utf8, std::wstring* out) { return Widen(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, out); }

bool ToUtf8(const std::wstring& utf16, std::string* out) {
    out->clear();
    if (utf16.empty()) return true;
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), int(utf16.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return false;
    out->resize(size_t(n));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), int(utf16.size()), &(*out)[0], n,
                               nullptr, nullptr) == n;
}

std::wstring Utf16(const std::string& utf8) {
    std::wstring out;
    return ToUtf16(utf8, &out) ? out : std::wstring();
}

std::string Utf8(const std::wstring& utf16) {
    std::string out;
    return ToUtf8(utf16, &out) ? out : std::string();
}

bool ToAnsi(const std::string& utf8, std::string* out) {
    std::wstring wide;
    out->clear();
    if (!ToUtf16(utf8, &wide)) return false;
    if (wide.empty()) return true;
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    out->resize(size_t(n));
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), &(*out)[0], n, nullptr,
                            &lossy) != n || lossy)
        return false;
    // A code page may still map a character it lacks to one it has without
    // calling it lossy; only a round trip proves the bytes name the text.
    std::wstring back;
    return Widen(CP_ACP, 0, *out, &back) && back == wide;
}

std::string FromAnsi(const std::string& ansi) {
    std::wstring wide;
    return Widen(CP_ACP, 0, ansi, &wide) ? Utf8(wide) : std::string();
}

Utf8Console::Utf8Console() {
    DWORD mode;
    const bool console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
                         GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    if (!console) return;
    previous_ = GetConsoleOutputCP();
    if (previous_ == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) previous_ = 0;
}

Utf8Console::~Utf8Console() {
    if (previous_) SetConsoleOutputCP(previous_);
}
