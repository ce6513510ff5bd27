#pragma once
// The one file operation the C library lacks, done by each platform its own
// way: cutting a file back to a length it had. False when it could not be
// done (the file is gone, or is a device).
bool CutFileTo(const char* path, long length);
