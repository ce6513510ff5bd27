#pragma once
#include <string>

// Paths as the user typed them, kept in the user's own separator: a message
// shows "out/seq/a.png", not "out/seq\a.png".
std::string FileName(const std::string& path);
std::string Join(const std::string& dir, const std::string& name);
bool IsFolder(const std::string& path);

// What names an existing file or folder whatever the spelling of its path:
// ".\", case, links and either separator all come to one FileId.
struct FileId {
    unsigned long volume = 0, high = 0, low = 0;
    bool operator<(const FileId& o) const {
        return volume != o.volume ? volume < o.volume : high != o.high ? high < o.high : low < o.low;
    }
    bool operator==(const FileId& o) const { return volume == o.volume && high == o.high && low == o.low; }
};
// False when nothing exists at path (or it cannot be opened at all).
bool IdentifyFile(const std::string& path, FileId* id);

// Why a file could not be opened or made, from the errno of the failed open, in words
// that say what to do.
std::string OpenFailureReason(int error);
