#include "minihost/files/temp_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "minihost/files/paths.h"

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
