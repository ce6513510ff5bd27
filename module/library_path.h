#pragma once
#include <cstddef>

constexpr size_t kLibraryPathChars = 260;

// The full path of the filter library file, shared by every filter of the
// process and rebuilt by every construction.
extern char g_libraryPath[kLibraryPathChars];

// Joins the host directory and the file name with one backslash, taking the
// directory as it comes. A path that would not fit leaves the buffer empty:
// a cut path could name some other file, an empty one names none and fails
// visibly with "Can't open file".
void BuildLibraryPath(const char* directory);
