#include "library/file_length.h"

#include <fcntl.h>
#include <io.h>

bool CutFileTo(const char* path, long length) {
    if (length < 0) return false;
    const int fd = _open(path, _O_WRONLY | _O_BINARY);
    if (fd < 0) return false;
    const bool cut = _chsize(fd, length) == 0;
    return _close(fd) == 0 && cut;
}
