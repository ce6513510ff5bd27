#pragma once
#include <string>
#include <vector>

#include "minihost/formats/kernel_library.h"

// For a --kernel NAME that names no entry (the pick stays exact, as the
// dialog's list is): the entries it most likely meant, as " did you mean 'A'
// or 'B'?", or empty. Names equal but for case come first; else the nearest
// spellings (a few letters off), else the names that begin with it.
// typed is in the ANSI code page, as the library's names are.
std::string NearNames(const std::vector<NamedKernel>& kernels, const std::string& typed);
