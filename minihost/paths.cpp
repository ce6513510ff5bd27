#include "minihost/paths.h"

#include <windows.h>

#include <cerrno>
#include <cstring>


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

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IdentifyFile(const std::string& path, FileId* id) {
    // No access is asked for, and backup semantics open folders too.
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (ok) *id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return ok;
}

std::string OpenFailureReason(int error) {
    if (error == ENOENT) return "the folder it goes in does not exist";
    if (error == EACCES) return "access denied (a read-only file or folder, or a folder of that name)";
    if (error == ENOSPC) return "the disk is full";
    return std::strerror(error);
}
