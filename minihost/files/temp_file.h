#pragma once
#include <cstdio>
#include <string>

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
