#include "minihost/files/paths.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "minihost/files/unicode.h"

namespace {

// The longest name the wide calls take, prefix and all.
constexpr size_t kMaxSystemPath = 32767;

std::wstring FullPath(const std::string& path) {
    std::wstring wide;
    if (path.empty() || !ToUtf16(path, &wide)) return {};
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        const DWORD n = GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (n == 0 || n > kMaxSystemPath) return {};
        if (n < full.size()) return std::wstring(full.data(), n);
        full.resize(n);
    }
}

}  // namespace

std::wstring LongForm(const std::wstring& full) {
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
    const size_t last = dir.find_last_of("\\/");
    const char separator = last != std::string::npos ? dir[last] : dir.find(':') == 1 ? '\\' : '/';
    return dir + separator + name;
}

std::wstring SystemPath(const std::string& path) {
    const std::wstring full = LongForm(FullPath(path));
    return full.size() <= kMaxSystemPath ? full : std::wstring();
}

std::string ResolvedName(const std::string& path) {
    const std::wstring full = FullPath(path);
    const size_t slash = full.find_last_of(L'\\');
    return full.empty() ? FileName(path) : Utf8(slash == std::wstring::npos ? full : full.substr(slash + 1));
}

std::wstring NameKey(const std::string& path) {
    std::wstring key = SystemPath(path);
    if (!key.empty()) CharUpperBuffW(&key[0], DWORD(key.size()));
    return key;
}

bool NameFits(const std::string& path) {
    const std::string name = ResolvedName(path);
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine ? name.size() <= 255 : Utf16(name).size() <= 255;
}

std::FILE* OpenFile(const std::string& path, const wchar_t* mode) {
    const std::wstring name = SystemPath(path);
    return name.empty() ? nullptr : _wfopen(name.c_str(), mode);
}

bool IsFolder(const std::string& path) {
    const std::wstring name = SystemPath(path);
    const DWORD attributes = name.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::string& path) {
    const std::wstring name = SystemPath(path);
    return !name.empty() && GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ModulePath(void* module) {
    std::vector<wchar_t> path(MAX_PATH);
    DWORD n;
    while ((n = GetModuleFileNameW(static_cast<HMODULE>(module), path.data(), DWORD(path.size()))) >= path.size() &&
           path.size() < kMaxSystemPath)
        path.resize(path.size() * 2);
    return Utf8(std::wstring(path.data(), n < path.size() ? n : 0));
}

std::string ProgramDir() {
    const std::string name = ModulePath(nullptr);
    const size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? "." : name.substr(0, slash);
}

uint64_t FileSize(const std::string& path) {
    const std::wstring name = SystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (name.empty() || !GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data)) return 0;
    return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::string OpenFailureReason(int error) {
    if (error == ENOENT) return "the folder it goes in does not exist";
    if (error == EACCES) return "access denied (a read-only file or folder, or a folder of that name)";
    if (error == ENOSPC) return WriteFailureReason(error);
    return std::strerror(error);
}

std::string WriteFailureReason(int error) {
    if (error == ENOSPC) return "the disk is full; free some space on it or write elsewhere";
    return std::string("the disk did not take it whole (") + (error ? std::strerror(error) : "no reason given") + ")";
}
