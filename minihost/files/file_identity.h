#pragma once
#include <string>

// What names an existing file or folder whatever the spelling of its path:
// ".\", case, links and either separator all come to one FileId.
struct FileId {
    unsigned long volume = 0, high = 0, low = 0;
    bool operator<(const FileId& o) const {
        return volume != o.volume ? volume < o.volume : high != o.high ? high < o.high : low < o.low;
    }
    bool operator==(const FileId& o) const { return volume == o.volume && high == o.high && low == o.low; }
};
enum class Identity {
    kFound,    // *id is set
    kMissing,  // nothing exists at path
    kUnknown,  // something may exist but cannot be asked (rights, a name too long)
};
Identity IdentifyFile(const std::string& path, FileId* id);
