#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The name of a temporary: the writing process, its start (a FILETIME
// count) and thread, and a count.
std::string TemporaryName(unsigned long pid, uint64_t start, unsigned long thread, int n);

// Removes from folder the temporaries of minihost processes known to have
// ended without removing them (killed); a live run's are never touched, nor
// a file spare(path) answers true for.
void RemoveEndedTemporaries(const std::string& folder, const std::function<bool(const std::string&)>& spare);

// The files this process committed, as their paths were given, in order.
std::vector<std::string> CommittedFiles();

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
    std::string path_;
    std::wstring target_, temp_;
    std::FILE* file_ = nullptr;
};
