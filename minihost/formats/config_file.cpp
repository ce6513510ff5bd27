#include "minihost/formats/config_file.h"

#include <cerrno>
#include <cstdio>

#include "minihost/files/error.h"
#include "minihost/files/paths.h"
#include "minihost/files/temp_file.h"

namespace {

const char kFolderGiven[] = ": a folder, not a configuration file; give the file's name";

}  // namespace

void LoadConfigFile(ImageFilter& filter, const std::string& path) {
    errno = 0;
    FILE* file = OpenFile(path, L"rb");
    if (!file) {
        const int error = errno;
        throw CommandError{"cannot open configuration " + path +
                           (IsFolder(path)    ? std::string(kFolderGiven)
                            : error == ENOENT ? ": no such file (make one with 'minihost config' or 'minihost setup')"
                            : error == 0      ? ": the path is longer than Windows allows"
                                              : ": " + OpenFailureReason(error))};
    }
    const size_t size = filter.EvaluateConfigure();
    std::vector<unsigned char> bytes(size + 1);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (n != size)
        throw CommandError{path + ": a configuration is " + std::to_string(size) + " bytes, this file has " +
                           (n > size ? "more" : std::to_string(n))};
    if (!filter.LoadConfigure(bytes.data()))
        throw CommandError{path + ": not a configuration of this filter (wrong stamp)"};
}

void ReplaceFile(const std::string& path, const void* bytes, size_t size) {
    TempFile temp;
    std::string reason;
    if (!temp.Create(path, &reason)) throw CommandError{"cannot write " + path + ": " + reason};
    errno = 0;
    if (std::fwrite(bytes, 1, size, temp.Stream()) != size || std::fflush(temp.Stream()) != 0)
        reason = WriteFailureReason(errno);
    else if (temp.Commit(&reason))
        return;
    throw CommandError{"cannot write " + path + " (" + reason + "); it was left as it was"};
}

KernelParams ReadConfigFile(const std::string& path) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file)
        throw CommandError{"cannot open configuration " + path +
                           (IsFolder(path) ? kFolderGiven : ": no such file, or it cannot be read")};
    KernelParams p;
    char extra;
    const size_t n = std::fread(&p, 1, sizeof p, file);
    const bool more = n == sizeof p && std::fread(&extra, 1, 1, file) == 1;
    std::fclose(file);
    if (n != sizeof p || more)
        throw CommandError{path + ": a configuration is " + std::to_string(sizeof p) + " bytes, this file has " +
                           (more ? "more" : std::to_string(n))};
    if (p.stamp != kParamsStamp) throw CommandError{path + ": not a configuration of this filter (wrong stamp)"};
    return p;
}

bool IsConfigFile(const std::string& path) {
    try {
        ReadConfigFile(path);
        return true;
    } catch (const CommandError&) {
        return false;
    }
}

const OutputKind kConfigOutput = {"a configuration (612 bytes with the filter's stamp)", IsConfigFile};
