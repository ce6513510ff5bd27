// Arbitrary bytes as a library file: the reader must stay in bounds and make
// progress, and every entry it yields must survive Append and a second read
// exactly when the independent oracle says it should be taken. The same
// bytes, damaged as they may be, then take one more entry: it reads back
// last, under its name, with every earlier entry read as before, or (only a
// name that begins like a number) is refused as damaged with the file
// untouched. Entries the oracle does not take are refused silently.
#include <vector>

#include "fuzz/fuzz_oracle.h"

namespace {

std::vector<ParsedEntry> AllEntries(const std::string& path) {
    std::vector<ParsedEntry> all;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) __builtin_trap();
    const size_t bytes = FileBytes(path).size();
    ParsedEntry e;
    std::memset(&e, 0, sizeof e);
    while (ReadFilterEntry(f, e.name, &e.record)) {
        if (all.size() > bytes) __builtin_trap();
        all.push_back(e);
    }
    std::fclose(f);
    return all;
}

bool SameEntry(const ParsedEntry& a, const ParsedEntry& b) {
    return std::strcmp(a.name, b.name) == 0 && std::memcmp(&a.record, &b.record, sizeof(KernelRecord)) == 0;
}

void AppendAfter(const uint8_t* data, size_t size, const char* name, bool likeNumber) {
    const std::string& path = ScratchPath();
    const std::string raw(reinterpret_cast<const char*>(data), size);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (std::fwrite(raw.data(), 1, raw.size(), f) != raw.size()) __builtin_trap();
        std::fclose(f);
    }
    const std::vector<ParsedEntry> before = AllEntries(path);
    ParsedEntry added;
    std::memset(&added, 0, sizeof added);
    std::strcpy(added.name, name);
    added.record.kernelSize = 3;
    added.record.weights[40] = -7;
    added.record.divide = 2;
    const FilterFileStatus result = AppendFilterEntry(path.c_str(), name, &added.record);
    if (result != FilterFileStatus::kOk) {
        if (result != FilterFileStatus::kDamagedAtEnd || !likeNumber) __builtin_trap();
        if (FileBytes(path) != raw) __builtin_trap();
        return;
    }
    if (FileBytes(path).compare(0, raw.size(), raw) != 0) __builtin_trap();
    const std::vector<ParsedEntry> after = AllEntries(path);
    if (after.size() != before.size() + 1) __builtin_trap();
    for (size_t i = 0; i < before.size(); ++i)
        if (!SameEntry(before[i], after[i])) __builtin_trap();
    if (!SameEntry(after.back(), added)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // fmemopen refuses an empty buffer
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    ParsedEntry parsed[2];
    const size_t count = ReadEntries(f, size, parsed, 2);
    std::fclose(f);

    // A name the reader would take as a number, and one it would not.
    AppendAfter(data, size, "3x3 blur", true);
    AppendAfter(data, size, "Blur", false);

    const std::string& path = ScratchPath();
    std::remove(path.c_str());
    ParsedEntry accepted[2];
    size_t taken = 0;
    for (size_t i = 0; i < count && i < 2; ++i) {
        const bool expected = ShouldAccept(parsed[i].name, parsed[i].record, taken == 0);
        const std::string before = FileBytes(path);
        const FilterFileStatus result = AppendFilterEntry(path.c_str(), parsed[i].name, &parsed[i].record);
        if (result != (expected ? FilterFileStatus::kOk : FilterFileStatus::kRefused)) __builtin_trap();
        if (result == FilterFileStatus::kOk) accepted[taken++] = parsed[i];
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
