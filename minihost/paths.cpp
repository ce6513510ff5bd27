#include "minihost/paths.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <vector>

#include "minihost/unicode.h"

namespace {

// The longest name the wide calls take, prefix and all.
constexpr size_t kMaxSystemPath = 32767;

// Short names go to Windows as they are (devices such as NUL stay devices);
// long ones get the prefix that lifts MAX_PATH, which they may carry only
// once fully normalised, as Windows then takes them literally.
std::wstring LongForm(const std::wstring& full) {
    if (full.size() < MAX_PATH || full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

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

std::string ProgramDir() {
    std::vector<wchar_t> path(MAX_PATH);
    DWORD n;
    while ((n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()))) >= path.size() &&
           path.size() < kMaxSystemPath)
        path.resize(path.size() * 2);
    const std::wstring name(path.data(), n < path.size() ? n : 0);
    const size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? "." : Utf8(name.substr(0, slash));
}

Identity IdentifyFile(const std::string& path, FileId* id) {
    const std::wstring name = SystemPath(path);
    if (name.empty()) return Identity::kUnknown;
    // No access is asked for, and backup semantics open folders too.
    HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return Identity::kMissing;
        default:
            return Identity::kUnknown;
        }
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok) return Identity::kUnknown;
    *id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return Identity::kFound;
}

bool TempFile::Create(const std::string& path, std::string* reason) {
    Discard();
    target_ = SystemPath(path);
    const size_t slash = target_.find_last_of(L'\\');
    if (target_.empty() || slash == std::wstring::npos) {
        *reason = "the path is longer than Windows allows";
        return false;
    }
    if (slash + 1 == target_.size()) {
        *reason = "it names a folder";
        return false;
    }
    // The process and thread in the name keep writers apart; the count steps
    // past a name that is somehow taken already.
    const std::wstring stem = target_.substr(0, slash + 1) + L"~minihost-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(GetCurrentThreadId()) + L"-";
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
        temp_ = LongForm(stem + std::to_wstring(n) + L".tmp");
        h = CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        temp_.clear();
        *reason = code == ERROR_PATH_NOT_FOUND   ? "its folder does not exist"
                  : code == ERROR_ACCESS_DENIED ? "its folder cannot be written"
                                                : "no file can be made in its folder (error " + std::to_string(code) + ")";
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) CloseHandle(h);
    file_ = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!file_) {
        if (fd >= 0) _close(fd);
        Discard();
        *reason = "out of file handles";
        return false;
    }
    return true;
}

bool TempFile::Commit(std::string* reason) {
    if (!file_) {
        *reason = "nothing was written";
        return false;
    }
    bool ok = std::fflush(file_) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) *reason = "the disk did not take it whole";
    else if (!MoveFileExW(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        ok = false;
        *reason = code == ERROR_ACCESS_DENIED ? "the file in its place cannot be replaced"
                  : code == ERROR_FILENAME_EXCED_RANGE || code == ERROR_INVALID_NAME
                      ? "the name is too long for the folder"
                      : "it cannot take the file's place (error " + std::to_string(code) + ")";
    }
    if (!ok) {
        Discard();
        return false;
    }
    temp_.clear();
    return true;
}

void TempFile::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) DeleteFileW(temp_.c_str());
    temp_.clear();
}
