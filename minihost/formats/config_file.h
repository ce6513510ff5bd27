#pragma once
#include <string>
#include <vector>

#include "host/image_filter.h"

// Loads a configuration file into the filter: exactly the size the filter
// asks for, and a record it accepts. Throws CommandError otherwise.
void LoadConfigFile(ImageFilter& filter, const std::string& path);

// Writes the bytes to a file beside path and moves it over path in one step,
// so a failed write leaves whatever stood there whole. Throws CommandError.
void ReplaceFile(const std::string& path, const void* bytes, size_t size);
