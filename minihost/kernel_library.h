#pragma once
#include <string>
#include <vector>

#include "plugin/kernel_params.h"

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
    std::string name;
    KernelRecord record;
};

// Every entry, in file order. Throws CommandError when the file cannot be read.
std::vector<NamedKernel> ReadKernelLibrary();
