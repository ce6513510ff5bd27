#pragma once
// The starter kernel library: a readable table of named kernels, turned into
// a filter library file through the file's own writer, so that every entry
// reads back exactly as the table gives it.
#include <cstdio>
#include <string>
#include <vector>

#include "params/kernel_params.h"

struct StarterKernel {
    std::string name;
    KernelRecord record;
};

// Reads the table (format: see kernels.txt). False, with a message naming
// the line, for anything it cannot take as it stands.
bool ParseStarterTable(std::FILE* table, std::vector<StarterKernel>* kernels, std::string* error);

// Appends every kernel to the library file at path, in table order. False,
// with a message naming the kernel, when the writer refuses one.
bool WriteStarterSet(const std::vector<StarterKernel>& kernels, const char* path, std::string* error);
