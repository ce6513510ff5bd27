#include "minihost/files/output_guard.h"

#include <windows.h>

#include "minihost/files/error.h"
#include "minihost/files/file_names.h"
#include "minihost/files/paths.h"

bool OutputGuard::Identify(const std::string& path, FileId* id) const {
    const Identity found = IdentifyFile(path, id);
    const std::string device = found == Identity::kUnknown ? DeviceNamed(path) : std::string();
    if (!device.empty())
        throw CommandError{command_ + ": " + path + ": Windows opens the device " + device +
                           " for this name, never a file; rename the file (nothing was written)"};
    if (found == Identity::kUnknown)
        throw CommandError{command_ + ": cannot tell which file " + path +
                           (SystemPath(path).empty() ? " is: the path is longer than Windows allows"
                                                     : " is; nothing was written")};
    return found == Identity::kFound;
}

void OutputGuard::Keep(const std::string& path, const std::string& what) {
    if (path.empty()) return;
    const std::string named = what + " " + path;
    FileId id;
    if (Identify(path, &id)) keptIds_.emplace(id, named);
    keptNames_.emplace(NameKey(path), named);
}

void OutputGuard::Check(const std::string& path, const OutputKind& kind) {
    const std::string fault = NameFault(path);
    if (!fault.empty()) throw CommandError{command_ + ": " + fault};
    FileId id;
    const bool exists = Identify(path, &id);
    auto kept = exists ? keptIds_.find(id) : keptIds_.end();
    const std::string* what = kept != keptIds_.end() ? &kept->second : nullptr;
    const auto named = keptNames_.find(NameKey(path));
    if (!what && named != keptNames_.end()) what = &named->second;
    if (what) throw CommandError{command_ + ": writing " + path + " would replace the " + *what + "; choose another output"};
    if (exists) {
        const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw CommandError{command_ + ": " + path + " is a folder; give the output a file name"};
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            throw CommandError{command_ + ": " + path + " is marked read-only, so it is left as it is; clear the mark "
                               "or choose another output"};
        if (!kind.holds(path))
            throw CommandError{command_ + ": " + path + " exists and is not " + kind.name +
                               ", so it is left as it is; choose another output"};
    }
    if (!NameFits(path))
        throw CommandError{command_ + ": cannot write " + path + ": its name is longer than the file system holds "
                           "(255 characters; under Wine, 255 bytes of UTF-8)"};
}
