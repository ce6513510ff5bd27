#pragma once
// What the fuzz targets share: an independent statement of which entries
// AppendFilterEntry must take (exactly those that read back unchanged), a
// scratch file, and a reader that insists on progress.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "library/filter_file.h"

inline bool ShouldAccept(const char* name, const KernelRecord& r, bool fileEmpty) {
    size_t n = 0;
    while (n < kNameBytes && name[n]) ++n;
    if (n == 0 || n > 255) return false;
    for (size_t i = 0; i < n; ++i)
        if (name[i] == '\r' || name[i] == '\n') return false;
    const char c = name[0];
    if (!fileEmpty && (c == ' ' || c == '\t' || c == '\v' || c == '\f')) return false;
    const int32_t k = r.kernelSize;
    if (k == 3 || k == 5 || k == 7) {
        const int reach = k / 2;
        for (int row = 0; row < 9; ++row)
            for (int col = 0; col < 9; ++col)
                if ((std::abs(row - 4) > reach || std::abs(col - 4) > reach) && r.weights[9 * row + col] != 0)
                    return false;
    }
    return true;
}

// One scratch file per fuzzing process, in TMPDIR (run.sh points it at
// memory when it can).
inline const std::string& ScratchPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/vlm_fuzz_" + std::to_string(getpid()) + ".set";
    }();
    return path;
}

struct ParsedEntry {
    char name[kNameBytes];
    KernelRecord record;
};

// Reads every entry of an open file, keeping the first `keep` of them.
// Every entry consumes at least one byte, so more entries than bytes means
// the reader stopped making progress: trap, so libFuzzer reports it.
inline size_t ReadEntries(std::FILE* f, size_t bytes, ParsedEntry* kept, size_t keep) {
    ParsedEntry e;
    std::memset(&e, 0, sizeof e);
    size_t count = 0;
    while (ReadFilterEntry(f, e.name, &e.record)) {
        if (++count > bytes || !std::memchr(e.name, 0, kNameBytes)) __builtin_trap();
        if (count <= keep) kept[count - 1] = e;
    }
    return count;
}

inline std::string FileBytes(const std::string& path) {
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}
