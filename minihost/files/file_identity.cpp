#include "minihost/files/file_identity.h"

#include <windows.h>

#include "minihost/files/paths.h"

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
