#pragma once
#include <windows.h>

#include "library/filter_file.h"

// Fills the list box with the names of the library file's entries and
// selects the one named nameToSelect byte for byte (none when no entry has
// that name). Selecting sends the parent no notification. Answers 0, with
// the open-failure message and the list left as it was, when the file
// cannot be opened.
int LoadFilterList(HWND list, const char* path, const char* nameToSelect);

// Shows the box captioned "Error" that a status of the file at path calls
// for, if any.
void ShowFilterFileMessage(FilterFileStatus status, const char* path);
