#include "minihost/files/temp_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>

#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"

namespace {

std::mutex g_committedLock;
std::vector<std::string> g_committed;

uint64_t ProcessStart(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return uint64_t(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// Whether the process that made a temporary has ended: its id is free, or
// another process's now, or names one that has exited. Unknown (no right to
// ask) is not ended.
bool Ended(unsigned long pid, uint64_t start) {
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const uint64_t found = ProcessStart(h);
    const bool exited = GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
    CloseHandle(h);
    return found != 0 && (found != start || exited);
}

// The writer of a temporary of ours by its name, or false for any other name.
bool ParseTemporary(const std::wstring& name, unsigned long* pid, uint64_t* start) {
    unsigned long thread = 0;
    int n = 0;
    unsigned long long when = 0;
    wchar_t tail[8] = L"";
    if (swscanf(name.c_str(), L"~minihost-%lu-%16llx-%lu-%d%7ls", pid, &when, &thread, &n, tail) != 5) return false;
    *start = when;
    return Utf16(TemporaryName(*pid, *start, thread, n)) == name;
}

}  // namespace

std::string TemporaryName(unsigned long pid, uint64_t start, unsigned long thread, int n) {
    char name[80];
    std::snprintf(name, sizeof name, "~minihost-%lu-%016llx-%lu-%d.tmp", pid, (unsigned long long)start, thread, n);
    return name;
}

void RemoveEndedTemporaries(const std::string& folder, const std::function<bool(const std::string&)>& spare) {
    const std::wstring dir = SystemPath(Join(folder, "x"));
    const size_t slash = dir.find_last_of(L'\\');
    if (slash == std::wstring::npos) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir.substr(0, slash + 1) + L"~minihost-*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        unsigned long pid;
        uint64_t start;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !ParseTemporary(found.cFileName, &pid, &start) ||
            !Ended(pid, start))
            continue;
        const std::string path = Join(folder, Utf8(found.cFileName));
        if (!spare(path)) DeleteFileW(LongForm(dir.substr(0, slash + 1) + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::vector<std::string> CommittedFiles() {
    const std::lock_guard<std::mutex> hold(g_committedLock);
    return g_committed;
}

bool TempFile::Create(const std::string& path, std::string* reason) {
    Discard();
    path_ = path;
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
    // The process and thread in the name keep writers apart, and the
    // process's start tells a later run whether its writer is gone; the
    // count steps past a name that is somehow taken already.
    static const uint64_t start = ProcessStart(GetCurrentProcess());
    const std::wstring folder = target_.substr(0, slash + 1);
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
        temp_ = LongForm(folder + Utf16(TemporaryName(GetCurrentProcessId(), start, GetCurrentThreadId(), n)));
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
    const std::lock_guard<std::mutex> hold(g_committedLock);
    g_committed.push_back(path_);
    return true;
}

void TempFile::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) DeleteFileW(temp_.c_str());
    temp_.clear();
}
