#include "library/file_length.h"

#include <unistd.h>

bool CutFileTo(const char* path, long length) { return length >= 0 && truncate(path, length) == 0; }
