// Arbitrary bytes as a library file: the reader must stay in bounds and make
// progress, and every entry it yields must survive Append and a second read
// exactly when the independent oracle says it should be taken.
#include "fuzz/fuzz_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // fmemopen refuses an empty buffer
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    ParsedEntry parsed[2];
    const size_t count = ReadEntries(f, size, parsed, 2);
    std::fclose(f);

    const std::string& path = ScratchPath();
    std::remove(path.c_str());
    ParsedEntry accepted[2];
    size_t taken = 0;
    for (size_t i = 0; i < count && i < 2; ++i) {
        const bool expected = ShouldAccept(parsed[i].name, parsed[i].record, taken == 0);
        const std::string before = FileBytes(path);
        const int result = AppendFilterEntry(path.c_str(), parsed[i].name, &parsed[i].record);
        if (result != (expected ? 1 : 0)) __builtin_trap();
        if (result) accepted[taken++] = parsed[i];
        else if (FileBytes(path) != before) __builtin_trap();
    }
    if (taken == 0) return 0;

    std::FILE* back = std::fopen(path.c_str(), "rb");
    if (!back) __builtin_trap();
    ParsedEntry reread[2];
    const size_t n = ReadEntries(back, FileBytes(path).size(), reread, 2);
    std::fclose(back);
    if (n != taken) __builtin_trap();
    for (size_t i = 0; i < taken; ++i) {
        if (std::strcmp(reread[i].name, accepted[i].name) != 0) __builtin_trap();
        if (std::memcmp(&reread[i].record, &accepted[i].record, sizeof(KernelRecord)) != 0) __builtin_trap();
    }
    return 0;
}
