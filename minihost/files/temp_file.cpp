#include "minihost/files/temp_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "minihost/files/commit_gate.h"
#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"

namespace {

using SetInformation = LONG(NTAPI*)(HANDLE, void* status, void* information, ULONG size, int kind);
constexpr int kFileLinkInformation = 11;

// FILE_LINK_INFORMATION and FILE_RENAME_INFO are laid out alike: whether to
// replace, a root, the name's length and the name.
std::vector<char> NameInformation(const std::wstring& to) {
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, to.data(), info->FileNameLength);
    return buffer;
}

bool MarkForDeletion(HANDLE h, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove;
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The name the rename takes: an NT path, which every Windows accepts there.
std::wstring NtName(const std::wstring& name) {
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\??\\UNC\\" + name.substr(8);
    if (name.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + name.substr(4);
    if (name.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + name.substr(2);
    return L"\\??\\" + name;
}

std::string RenameFailure(DWORD code) {
    return code == ERROR_ACCESS_DENIED          ? "the file in its place cannot be replaced"
           : code == ERROR_FILENAME_EXCED_RANGE ? "the name is too long for the folder"
           : code == ERROR_INVALID_NAME         ? "the folder's file system takes no file of this name"
                                                : "it cannot take the file's place (error " + std::to_string(code) + ")";
}

bool LinkAsSecondName(void* handle, const std::wstring& ntName) {
    const auto set = reinterpret_cast<SetInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
    std::vector<char> link = NameInformation(ntName);
    ULONG_PTR status[2] = {};
    return set && set(handle, status, link.data(), ULONG(link.size()), kFileLinkInformation) == 0;
}

LinkStep g_link = LinkAsSecondName;

bool IsOwner(const char* owner) {
    size_t n = 0;
    for (; owner[n]; ++n)
        if (!std::isalnum(static_cast<unsigned char>(owner[n])) && owner[n] != '_') return false;
    return n > 0 && n <= 32 && std::isalpha(static_cast<unsigned char>(owner[0]));
}

}  // namespace

LinkStep SwapLinkStep(LinkStep step) { return std::exchange(g_link, step); }

const std::string& TemporaryOwner() {
    static const std::string owner = [] {
        const char* given = std::getenv("VLM_TEMP_OWNER");
        return std::string(given && IsOwner(given) ? given : "");
    }();
    return owner;
}

std::string TemporaryName(const std::string& owner, unsigned long pid, unsigned long thread, int n) {
    char name[96];
    std::snprintf(name, sizeof name, "~minihost-%s%s%lu-%lu-%d.tmp", owner.c_str(), owner.empty() ? "" : "-", pid,
                  thread, n);
    return name;
}

std::string TemporaryName(unsigned long pid, unsigned long thread, int n) {
    return TemporaryName(TemporaryOwner(), pid, thread, n);
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
    // The process and thread in the name keep writers apart; the count steps
    // past a name that is taken already (another machine's run on a share).
    const std::wstring folder = target_.substr(0, slash + 1);
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
        const std::wstring temp = LongForm(folder + Utf16(TemporaryName(GetCurrentProcessId(), GetCurrentThreadId(), n)));
        h = CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *reason = code == ERROR_PATH_NOT_FOUND   ? "its folder does not exist"
                  : code == ERROR_ACCESS_DENIED ? "its folder cannot be written"
                                                : "no file can be made in its folder (error " + std::to_string(code) + ")";
        return false;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) CloseHandle(h);
    file_ = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!file_) {
        if (fd >= 0) _close(fd);
        *reason = "out of file handles";
        return false;
    }
    return true;
}

// The temporary was made to be deleted when its handle closes, an attribute
// of its creation, so no moment exists in which a killed run would leave it.
// It is put in place as a second name of the same file, replacing the
// output; its own name then goes as it closes.
bool TempFile::PutInPlace(std::string* reason) {
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)));
    if (g_link(h, NtName(target_))) return true;
    // Whatever refused the link (no links here, the output in use, its name)
    // the copy meets again and says.
    return CopyInPlace(h, reason);
}

// For a file system of one name a file (FAT, some shares): a copy, held for
// deletion until the moment it is renamed into place. A run killed in that
// moment can leave the copy behind; nothing else can.
bool TempFile::CopyInPlace(void* from, std::string* reason) {
    const size_t slash = target_.find_last_of(L'\\');
    HANDLE to = INVALID_HANDLE_VALUE;
    for (int n = 100; n < 200 && to == INVALID_HANDLE_VALUE; ++n) {
        const std::wstring name = LongForm(target_.substr(0, slash + 1) +
                                           Utf16(TemporaryName(GetCurrentProcessId(), GetCurrentThreadId(), n)));
        to = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (to == INVALID_HANDLE_VALUE) {
        *reason = "no file can be made in its folder (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    bool ok = MarkForDeletion(to, true) && SetFilePointer(from, 0, nullptr, FILE_BEGIN) == 0;
    std::vector<char> block(1 << 20);
    for (DWORD got = 0, put = 0; ok && ReadFile(from, block.data(), DWORD(block.size()), &got, nullptr) && got > 0;)
        ok = WriteFile(to, block.data(), got, &put, nullptr) && put == got;
    if (!ok) *reason = "the disk did not take it whole";
    ok = ok && MarkForDeletion(to, false);
    if (ok) {
        std::vector<char> rename = NameInformation(NtName(target_));
        ok = SetFileInformationByHandle(to, FileRenameInfo, rename.data(), DWORD(rename.size())) != 0;
        if (!ok) {
            *reason = RenameFailure(GetLastError());
            MarkForDeletion(to, true);
        }
    }
    CloseHandle(to);
    return ok;
}

bool TempFile::Commit(std::string* reason) {
    if (!file_) {
        *reason = "nothing was written";
        return false;
    }
    if (std::fflush(file_) != 0) {
        *reason = "the disk did not take it whole";
        Discard();
        return false;
    }
    switch (CommitThroughGate(path_, [&] { return PutInPlace(reason); })) {
    case CommitResult::kCommitted:
        std::fclose(file_);  // flushed already: what the close could fail on has been said
        file_ = nullptr;
        return true;
    case CommitResult::kClosed:
        *reason = "the run was stopped before it was put in place";
        break;
    case CommitResult::kFailed:
        break;
    }
    Discard();
    return false;
}

void TempFile::Discard() {
    if (file_) std::fclose(file_);  // the temporary goes with its handle
    file_ = nullptr;
}

bool WriteWhole(const std::string& path, const std::function<bool(std::FILE*, std::string* reason)>& encode,
                std::string* error) {
    TempFile temp;
    std::string reason;
    bool ok = temp.Create(path, &reason);
    if (ok) {
        errno = 0;
        ok = encode(temp.Stream(), &reason);
        if (!ok && reason.empty()) reason = WriteFailureReason(errno);
    }
    // What the stream still holds meets a full disk here, not in the move.
    if (ok && (errno = 0, std::fflush(temp.Stream()) != 0)) {
        reason = WriteFailureReason(errno);
        ok = false;
    }
    ok = ok && temp.Commit(&reason);
    if (!ok) *error = "cannot write " + path + ": " + reason;
    return ok;
}
