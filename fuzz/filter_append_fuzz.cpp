// Arbitrary records and names given to AppendFilterEntry, after an optional
// first entry: it must take exactly what the oracle takes, refuse the rest
// silently with the file left alone, and what it writes must read back.
// Input: 340 record bytes, one flag byte (bit 0: file holds an entry first),
// then the name (zero-padded when short; longer than 256 bytes is cut).
#include "fuzz/fuzz_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KernelRecord record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, size < sizeof record ? size : sizeof record);
    const size_t rest = size > sizeof record ? size - sizeof record : 0;
    const bool prefilled = rest > 0 && (data[sizeof record] & 1);
    char name[kNameBytes + 1] = {};
    if (rest > 1) std::memcpy(name, data + sizeof record + 1, rest - 1 < kNameBytes ? rest - 1 : kNameBytes);

    const std::string& path = ScratchPath();
    std::remove(path.c_str());
    KernelRecord first;
    std::memset(&first, 0, sizeof first);
    first.kernelSize = 3;
    first.weights[40] = 1;
    if (prefilled && AppendFilterEntry(path.c_str(), "First", &first) != FilterFileStatus::kOk) __builtin_trap();

    const std::string before = FileBytes(path);
    const bool expected = ShouldAccept(name, record, !prefilled);
    const FilterFileStatus result = AppendFilterEntry(path.c_str(), name, &record);
    if (result != (expected ? FilterFileStatus::kOk : FilterFileStatus::kRefused)) __builtin_trap();
    const std::string after = FileBytes(path);
    if (result != FilterFileStatus::kOk) {
        if (after != before) __builtin_trap();
        return 0;
    }

    std::FILE* back = std::fopen(path.c_str(), "rb");
    if (!back) __builtin_trap();
    ParsedEntry reread[2];
    const size_t n = ReadEntries(back, after.size(), reread, 2);
    std::fclose(back);
    const ParsedEntry& mine = reread[prefilled ? 1 : 0];
    if (n != (prefilled ? 2u : 1u)) __builtin_trap();
    if (std::strcmp(mine.name, name) != 0) __builtin_trap();
    if (std::memcmp(&mine.record, &record, sizeof record) != 0) __builtin_trap();
    return 0;
}
