#include "library/filter_file.h"

#include <cstdint>
#include <cstring>

#include "library/file_length.h"

namespace {

// The blanks that "%ld" and "%ld\n" skip, without depending on a locale.
bool IsBlank(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// First row/column and side of the block read for a size value: the centred
// block for 3, 5 and 7, the whole grid for anything else.
void BlockFor(int32_t size, int* first, int* side) {
    const bool centred = size == 3 || size == 5 || size == 7;
    *side = centred ? size : kGridSide;
    *first = BlockStart(*side);
}

bool InBlock(int row, int col, int first, int side) {
    return row >= first && row < first + side && col >= first && col < first + side;
}

void SkipBlanks(std::FILE* f) {
    int c;
    do {
        c = std::getc(f);
    } while (c != EOF && IsBlank(c));
    if (c != EOF) std::ungetc(c, f);
}

// Reads one "%ld" token into *out; false leaves *out and the token as they
// were (the blanks before it are gone, as with fscanf).
bool ReadNumber(std::FILE* f, int32_t* out) {
    SkipBlanks(f);
    int c = std::getc(f);
    if (c == EOF) return false;
    const bool negative = c == '-';
    if (c == '-' || c == '+') {
        c = std::getc(f);
        if (!IsDigit(c)) {
            // ungetc promises one character of push-back; the sign is the
            // second, so step back over both instead.
            if (std::fseek(f, c == EOF ? -1 : -2, SEEK_CUR) != 0 && c != EOF) std::ungetc(c, f);
            return false;
        }
    } else if (!IsDigit(c)) {
        std::ungetc(c, f);
        return false;
    }
    // Saturate: the magnitude stops growing once past the 32-bit range, but
    // every digit is consumed so the rest of the token is not a new number.
    constexpr uint64_t kCap = uint64_t{1} << 31;
    uint64_t magnitude = 0;
    for (; IsDigit(c); c = std::getc(f)) {
        if (magnitude < kCap) magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    }
    if (c != EOF) std::ungetc(c, f);
    if (magnitude > kCap) magnitude = kCap;
    if (negative) {
        *out = magnitude == kCap ? INT32_MIN : -static_cast<int32_t>(magnitude);
    } else {
        *out = magnitude >= kCap ? INT32_MAX : static_cast<int32_t>(magnitude);
    }
    return true;
}

// Reads the name line as fgets would in text mode with a 256-byte buffer:
// CR LF and LF count as one character, taken only when it fits. A CR at the
// very end of the file is a line end cut short. False when nothing is left.
bool ReadNameLine(std::FILE* f, char name[kNameBytes]) {
    int n = 0;
    bool any = false;
    while (n < kMaxNameChars) {
        int c = std::getc(f);
        if (c == EOF) break;
        any = true;
        if (c == '\n') break;
        if (c == '\r') {
            const int next = std::getc(f);
            if (next == '\n' || next == EOF) break;
            std::ungetc(next, f);
        }
        name[n++] = static_cast<char>(c);
    }
    if (!any) return false;
    name[n] = '\0';
    return true;
}

// Length of name up to the 256 bytes of a name buffer; kNameBytes when it
// holds no terminating zero there (too long to store).
size_t BoundedLength(const char* name) {
    size_t n = 0;
    while (n < kNameBytes && name[n] != '\0') ++n;
    return n;
}

bool NameReadsBack(const char* name, size_t length, bool first) {
    if (length == 0 || length > static_cast<size_t>(kMaxNameChars)) return false;
    if (std::memchr(name, '\r', length) || std::memchr(name, '\n', length)) return false;
    return first || !IsBlank(static_cast<unsigned char>(name[0]));
}

bool WeightsOutsideBlockAreZero(const KernelRecord& r) {
    int first, side;
    BlockFor(r.kernelSize, &first, &side);
    for (int row = 0; row < kGridSide; ++row)
        for (int col = 0; col < kGridSide; ++col) {
            if (!InBlock(row, col, first, side) && r.weights[kGridSide * row + col] != 0) return false;
        }
    return true;
}

// Room for the longest entry: a 255-character name, 81 numbers of up to 11
// characters with their separators, and the size and last lines.
constexpr size_t kEntryBytes = 1536;

struct EntryText {
    char text[kEntryBytes];
    size_t used = 0;

    void Put(const char* s, size_t n) {
        std::memcpy(text + used, s, n);
        used += n;
    }
    void PutNumber(int32_t v) {
        char digits[16];
        const int n = std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(v));
        Put(digits, static_cast<size_t>(n));
    }
    void PutLineEnd() { Put("\r\n", 2); }
};

void ComposeEntry(const char* name, size_t length, const KernelRecord& r, EntryText* e) {
    int first, side;
    BlockFor(r.kernelSize, &first, &side);
    e->Put(name, length);
    e->PutLineEnd();
    e->PutNumber(r.kernelSize);
    e->PutLineEnd();
    for (int row = first; row < first + side; ++row) {
        for (int col = first; col < first + side; ++col) {
            if (col != first) e->Put(" ", 1);
            e->PutNumber(r.weights[kGridSide * row + col]);
        }
        e->PutLineEnd();
    }
    e->PutNumber(r.divide);
    e->Put(" ", 1);
    e->PutNumber(r.offset);
    e->Put(" ", 1);
    e->PutNumber(r.invert);
    e->PutLineEnd();
}

enum class EntryRead { kNone, kWhole, kCut };

// ReadFilterEntry, also telling whether every number of the entry was there.
// An entry cut short ends at the end of the file (a token that is not a
// number would start another entry instead), so its reads go on into
// whatever is appended next.
EntryRead ReadEntry(std::FILE* file, char name[kNameBytes], KernelRecord* record,
                    FilterEntryReport* report = nullptr) {
    if (!ReadNameLine(file, name)) return EntryRead::kNone;

    // Through locals: the record is packed, so its fields may sit unaligned.
    int32_t v = 0;
    bool reading = ReadNumber(file, &v);
    int numbers = reading ? 1 : 0;
    if (reading) record->kernelSize = v;
    int first, side;
    BlockFor(record->kernelSize, &first, &side);
    for (int row = 0; row < kGridSide; ++row)
        for (int col = 0; col < kGridSide; ++col) {
            v = 0;
            if (InBlock(row, col, first, side) && reading) {
                if (ReadNumber(file, &v)) ++numbers;
                else reading = false;
            }
            record->weights[kGridSide * row + col] = v;
        }
    int32_t tail[3];  // Divide, Offset, Invert
    int got = 0;
    while (reading && got < 3 && ReadNumber(file, &tail[got])) ++got;
    if (got > 0) record->divide = tail[0];
    if (got > 1) record->offset = tail[1];
    if (got > 2) {
        record->invert = tail[2];
        SkipBlanks(file);  // "%ld\n": the next name starts at its first non-blank
    }
    if (report) {
        report->numbersRead = numbers + got;
        report->numbersWanted = 1 + side * side + 3;
        report->end = FilterEntryEnd::kWhole;
        if (got != 3) {
            // A failed read has skipped the blanks: what follows is the file's
            // end or the token that stopped it, which stays unread.
            const int c = std::getc(file);
            if (c != EOF) std::ungetc(c, file);
            report->end = c == EOF ? FilterEntryEnd::kCutShort : FilterEntryEnd::kDamaged;
        }
    }
    return got == 3 ? EntryRead::kWhole : EntryRead::kCut;
}

// What appending needs to know of a file: how its last entry ended and its
// last byte.
struct FileTail {
    bool lastEntryCut = false;
    int lastByte = EOF;
};

FileTail ReadTail(std::FILE* f) {
    FileTail tail;
    std::rewind(f);
    char name[kNameBytes];
    KernelRecord scratch{};
    for (EntryRead read; (read = ReadEntry(f, name, &scratch)) != EntryRead::kNone;)
        tail.lastEntryCut = read == EntryRead::kCut;
    if (std::fseek(f, -1, SEEK_END) == 0) tail.lastByte = std::getc(f);
    return tail;
}

// Whether the reader would take the start of name as a number: a digit, or a
// sign and a digit.
bool StartsLikeNumber(const char* name) {
    const int c = static_cast<unsigned char>(name[0]);
    if (IsDigit(c)) return true;
    return (c == '-' || c == '+') && IsDigit(static_cast<unsigned char>(name[1]));
}

}  // namespace

const char* FilterFileMessage(FilterFileStatus status) {
    switch (status) {
    case FilterFileStatus::kCantOpen: return "Can't open file: %s";
    case FilterFileStatus::kCantWrite: return "Can't write file, nothing saved: %s";
    case FilterFileStatus::kDamagedAtEnd: return "File damaged at its end, nothing saved: %s";
    case FilterFileStatus::kOk:
    case FilterFileStatus::kNotFound:
    case FilterFileStatus::kRefused: break;
    }
    return nullptr;
}

bool ReadFilterEntry(std::FILE* file, char name[kNameBytes], KernelRecord* record, FilterEntryReport* report) {
    return ReadEntry(file, name, record, report) != EntryRead::kNone;
}

bool IsStorableName(const char* name) { return NameReadsBack(name, BoundedLength(name), false); }

FilterFileStatus AppendFilterEntry(const char* path, const char* name, const KernelRecord* record) {
    const size_t length = BoundedLength(name);
    if (!NameReadsBack(name, length, true) || !WeightsOutsideBlockAreZero(*record)) return FilterFileStatus::kRefused;

    // "a+" rather than "a": the file must be read before writing; every write
    // still lands at the end.
    std::FILE* f = std::fopen(path, "a+b");
    if (!f) return FilterFileStatus::kCantOpen;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    FileTail tail;
    // Without the length the file could not be put back after a failed
    // write; a tail not read to its end says nothing of how the file ends.
    if (size > 0) tail = ReadTail(f);
    FilterFileStatus refusal = FilterFileStatus::kOk;
    if (size < 0 || std::ferror(f)) refusal = FilterFileStatus::kCantWrite;
    else if (!NameReadsBack(name, length, size == 0)) refusal = FilterFileStatus::kRefused;
    else if (tail.lastEntryCut && StartsLikeNumber(name)) refusal = FilterFileStatus::kDamagedAtEnd;
    if (refusal != FilterFileStatus::kOk) {
        std::fclose(f);
        return refusal;
    }
    std::fseek(f, 0, SEEK_END);  // required between a read and a write

    EntryText entry;
    if (tail.lastByte == '\r') entry.Put("\n", 1);  // complete a CR LF cut after its CR
    else if (size > 0 && tail.lastByte != '\n') entry.PutLineEnd();
    ComposeEntry(name, length, *record, &entry);
    // The flush is asked for on its own: the Windows runtime's fclose does not
    // report a failed flush of what the stream still buffers (seen under Wine
    // on a full disk: 10 of 60 bytes written, fclose answering 0).
    const bool written = std::fwrite(entry.text, 1, entry.used, f) == entry.used && std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (written && closed) return FilterFileStatus::kOk;
    // A cut entry left behind would be listed, and the next append would
    // follow it: give the file back its old length, after the stream is
    // closed so nothing buffered can land after the cut.
    CutFileTo(path, size);
    return FilterFileStatus::kCantWrite;
}

FilterFileStatus FindFilterEntry(const char* path, const char* name, KernelRecord* record) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return FilterFileStatus::kCantOpen;
    char entryName[kNameBytes];
    bool found = false;
    while (!found && ReadFilterEntry(f, entryName, record))
        found = std::strncmp(entryName, name, kNameBytes) == 0;
    std::fclose(f);
    return found ? FilterFileStatus::kOk : FilterFileStatus::kNotFound;
}
