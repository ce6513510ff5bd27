#pragma once
// The filter library file: named kernels, one entry after another, each a
// name line, a kernel-size line, the rows of the centred block and a line
// with Divide, Offset and Invert. Lines end in CR LF on every platform; the
// reader also takes a bare LF. Files are opened in binary mode so that the
// native and the Windows build read and write the same bytes.
//
// Numbers are whitespace-separated decimal tokens: an optional sign, then
// digits. A value outside the signed 32-bit range saturates to INT32_MIN or
// INT32_MAX; every digit of it is still consumed. A token that is not a
// number stays in the file, and so does a sign not followed by a digit
// (it is put back with fseek, which every file opened here allows).
#include <cstdio>

#include "params/kernel_params.h"

constexpr int kMaxNameChars = kNameBytes - 1;

// What a call on the library file came to; telling the user is the caller's.
enum class FilterFileStatus {
    kOk,            // appended, or found
    kNotFound,      // read to its end, no entry of that name
    kRefused,       // an entry that would not read back as given; nothing is said
    kCantOpen,      // "Can't open file: %s"
    kCantWrite,     // "Can't write file, nothing saved: %s"
    kDamagedAtEnd,  // "File damaged at its end, nothing saved: %s"
};

// The text the user is shown for a status (%s: the path); null for none.
const char* FilterFileMessage(FilterFileStatus status);

// How an entry read by ReadFilterEntry ended, for a caller that tells the
// user (the dialog does not ask; the reading is the same either way).
enum class FilterEntryEnd {
    kWhole,     // every number of the entry was there
    kCutShort,  // the file ended before the entry's last number
    kDamaged,   // a token that is not a number stopped the entry's reads
};
struct FilterEntryReport {
    FilterEntryEnd end = FilterEntryEnd::kWhole;
    int numbersRead = 0;    // the size, the weights read, Divide, Offset, Invert
    int numbersWanted = 0;  // what an entry of the size read holds
};

// Reads the next entry: true when one was read, false at the end of the file
// (name and record untouched then). The name is cut after 255 characters.
// Weights outside the block of the size read are set to 0; a field whose
// number cannot be read keeps the record's earlier value, except that weights
// of the block not read become 0. A report, when asked for, says how the
// entry ended.
bool ReadFilterEntry(std::FILE* file, char name[kNameBytes], KernelRecord* record,
                     FilterEntryReport* report = nullptr);

// Appends one entry at the end of the file, creating the file when needed.
// kRefused, without touching the file, is for an entry that would not read
// back as given: an empty name, a name longer than 255 characters or holding
// CR or LF, a name beginning with a blank when the file already holds
// something (the reader skips blanks before every name but the first), or a
// nonzero weight outside the block of a size 3, 5 or 7 (only the block is
// written). Any other size value is written with all 81 weights, which is
// what the reader takes for it. A file whose last byte is not a line end gets
// one first, so the new name starts a line of its own.
//
// Two more refusals, for the user to be told of, leave the file as it was:
// - kDamagedAtEnd: the file ends part-way through an entry and the name
//   begins like a number: the cut entry's reads would take it, and the new
//   entry could never be found under its name. Other names read back after
//   such a tail.
// - kCantWrite: a write or the close fails (a full disk): the file is cut
//   back to its length before the append, so no part of the entry stays
//   behind.
FilterFileStatus AppendFilterEntry(const char* path, const char* name, const KernelRecord* record);

// Whether a name reads back as given wherever it lands in the file: 1 to 255
// characters, no CR or LF, and no blank first (blanks before every name but
// the file's first are skipped by the reader).
bool IsStorableName(const char* name);

// Reads entries into record until one is named name exactly (bytes, case):
// kOk then. After kNotFound the record holds whatever the last entry gave.
FilterFileStatus FindFilterEntry(const char* path, const char* name, KernelRecord* record);
