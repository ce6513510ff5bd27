#include "minihost/config_file.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "minihost/commands.h"
#include "minihost/paths.h"

void LoadConfigFile(ImageFilter& filter, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw CommandError{"cannot open configuration " + path + ": " +
                           (errno == ENOENT ? "no such file (make one with 'minihost config' or 'minihost setup')"
                                            : OpenFailureReason(errno))};
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
    const std::string temp = path + ".part";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) throw CommandError{"cannot write " + path + ": " + OpenFailureReason(errno)};
    bool ok = std::fwrite(bytes, 1, size, file) == size;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        throw CommandError{"cannot write " + path + "; it was left as it was"};
    }
}
