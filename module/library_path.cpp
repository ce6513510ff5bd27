#include "module/library_path.h"

#include <cstdio>

char g_libraryPath[kLibraryPathChars];

void BuildLibraryPath(const char* directory) {
    const int n = std::snprintf(g_libraryPath, kLibraryPathChars, "%s\\%s", directory ? directory : "", "VLM.SET");
    if (n < 0 || static_cast<size_t>(n) >= kLibraryPathChars) g_libraryPath[0] = '\0';
}
