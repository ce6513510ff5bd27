#pragma once
#include <string>
#include <vector>

#include "host/image_filter.h"
#include "minihost/files/output_guard.h"
#include "params/kernel_params.h"

// Loads a configuration file into the filter: exactly the size the filter
// asks for, and a record it accepts. Throws CommandError otherwise.
void LoadConfigFile(ImageFilter& filter, const std::string& path);

// Reads a configuration without the plug-in: exactly its size, with the
// filter's stamp. Throws CommandError saying which it lacks.
KernelParams ReadConfigFile(const std::string& path);
// Whether path holds such a configuration: what config and setup may replace.
bool IsConfigFile(const std::string& path);
extern const OutputKind kConfigOutput;

// Writes the bytes to a file beside path and moves it over path in one step,
// so a failed write leaves whatever stood there whole. Throws CommandError.
void ReplaceFile(const std::string& path, const void* bytes, size_t size);
