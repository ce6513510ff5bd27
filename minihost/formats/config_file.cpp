#include "minihost/formats/config_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "minihost/files/error.h"
#include "minihost/files/paths.h"
#include "minihost/files/temp_file.h"

namespace {

// The configuration at path, exactly size bytes (and one spare, which a
// longer file would have filled), or one line that says what is wrong with it.
std::vector<unsigned char> ReadConfigBytes(const std::string& path, size_t size) {
    errno = 0;
    FILE* file = OpenFile(path, L"rb");
    if (!file) {
        const int error = errno;
        throw CommandError{"cannot open configuration " + path +
                           (IsFolder(path)    ? ": a folder, not a configuration file; give the file's name"
                            : error == ENOENT ? ": no such file (make one with 'minihost config' or 'minihost setup')"
                            : error == 0      ? ": the path is longer than Windows allows"
                                              : ": " + OpenFailureReason(error))};
    }
    std::vector<unsigned char> bytes(size + 1);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    if (n != size)
        throw CommandError{path + ": a configuration is " + std::to_string(size) + " bytes, this file has " +
                           (n > size ? "more" : std::to_string(n))};
    return bytes;
}

const char kWrongStamp[] = ": not a configuration of this filter (wrong stamp)";

}  // namespace

void LoadConfigFile(ImageFilter& filter, const std::string& path) {
    std::vector<unsigned char> bytes = ReadConfigBytes(path, filter.EvaluateConfigure());
    if (!filter.LoadConfigure(bytes.data())) throw CommandError{path + kWrongStamp};
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
    const std::vector<unsigned char> bytes = ReadConfigBytes(path, sizeof(KernelParams));
    KernelParams p;
    std::memcpy(&p, bytes.data(), sizeof p);
    if (p.stamp != kParamsStamp) throw CommandError{path + kWrongStamp};
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
