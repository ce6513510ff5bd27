#pragma once
#include <cstdio>
#include <string>

// Paths as the user typed them, in UTF-8 and kept in the user's own
// separator: a message shows "out/seq/a.png", not "out/seq\a.png".
std::string FileName(const std::string& path);
std::string Join(const std::string& dir, const std::string& name);
bool IsFolder(const std::string& path);
// The folder of the running program, without a trailing separator.
std::string ProgramDir();

// The name Windows opens for path: in UTF-16, made full and normalised as
// Windows normalises a path ("." and "..", trailing dots and blanks), with
// the \\?\ prefix once it reaches MAX_PATH so that no length is cut. Empty
// when path cannot name a file: longer than Windows allows, or not UTF-8.
std::wstring SystemPath(const std::string& path);
// The last part of that name, as Windows will write it ("a.png" for "a.png. ").
std::string ResolvedName(const std::string& path);
// Equal for two paths that would name one file, whether it exists or not
// (case as Windows ignores it); empty where SystemPath is.
std::wstring NameKey(const std::string& path);
// Whether the last part of path is a name the file system holds whole:
// 255 UTF-16 units on Windows. Under Wine a Unix file system holds 255 bytes
// of UTF-8, and Wine cuts a longer name short without an error.
bool NameFits(const std::string& path);
// fopen through SystemPath.
std::FILE* OpenFile(const std::string& path, const wchar_t* mode);

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

// A file of a name of its own beside the output it will become, created new
// (so it is never anyone else's file), which replaces that output only at
// Commit. It is removed on every other way out, a failed commit included.
// Holds nothing shared: threads may write files side by side.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() { Discard(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the temporary for path, open for binary writing. False with a
    // short reason ("the folder does not exist").
    bool Create(const std::string& path, std::string* reason);
    std::FILE* Stream() const { return file_; }
    // Closes it and moves it over the output; false with a reason, the
    // temporary removed and the output as it was.
    bool Commit(std::string* reason);
    void Discard();

private:
    std::wstring target_, temp_;
    std::FILE* file_ = nullptr;
};
