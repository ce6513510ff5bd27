#pragma once
#include <string>
#include <vector>

#include "library/filter_file.h"
#include "params/kernel_params.h"

// The host's settings folder, where VLM.SET lives: the one given with
// --settings-dir, or "settings" beside minihost.exe. UTF-8.
void SetSettingsDir(const std::string& dir);
std::string SettingsDir();

// The filter library file VLM.SET of the host's settings folder, read
// without the plug-in (which would show its errors in message boxes).
std::string KernelLibraryPath();

// Names are kept as the file holds them: bytes of the ANSI code page, as the
// control dialog saves them.
struct NamedKernel {
    std::string name;  // up to a NUL byte, where the plug-in's name ends
    std::string line;  // the name line as the file holds it, NUL bytes and all
    KernelRecord record;
    FilterEntryReport report;  // how the entry ended in the file
    int firstOfName = -1;      // index of the first entry of this name when this one is a later one
};

// Every entry, in file order. Throws CommandError when the file cannot be read.
std::vector<NamedKernel> ReadKernelLibrary();

// What picking the entry in the control dialog's list puts into p: the
// record, with the size its weights imply and Invert as the check box gives
// it back (0 or 1), and the name.
void TakeKernel(const NamedKernel& k, KernelParams* p);

// A warning line for an entry (named by its place, 1 first) that the
// plug-in reads otherwise than its writer likely meant, saying what to do:
// cut short or damaged, a name that starts with a UTF-8 byte-order mark,
// holds a NUL byte or looks saved as UTF-8, or a size the plug-in reads as 9.
// The first of these that applies; empty for an entry read as written.
std::string EntryWarning(const NamedKernel& k, size_t index);
