#pragma once
#include <string>
#include <vector>

#include "plugin/kernel_params.h"

// The filter library file VLM.SET of the host's settings folder, read
// without the plug-in (which would show its errors in message boxes).
std::string KernelLibraryPath();

struct NamedKernel {
    std::string name;
    KernelRecord record;
};

// Every entry, in file order. Throws CommandError when the file cannot be read.
std::vector<NamedKernel> ReadKernelLibrary();
