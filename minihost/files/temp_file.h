#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// The name of a temporary: the writing process and thread, and a count.
std::string TemporaryName(unsigned long pid, unsigned long thread, int n);

// A file of a name of its own beside the output it will become, created new
// (so it is never anyone else's file), which replaces that output only at
// Commit. It is made to be deleted when its handle closes, so however its
// run ends (a failure, a kill, a crash, a lost machine) it goes with it, and
// no later run need guess which temporaries are dead.
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
    // Moves it over the output, through the commit gate: after a stop nothing
    // is put in place. False with a reason, the temporary gone and the output
    // as it was.
    bool Commit(std::string* reason);
    void Discard();

private:
    bool PutInPlace(std::string* reason);
    bool CopyInPlace(void* from, std::string* reason);

    std::string path_;
    std::wstring target_;
    std::FILE* file_ = nullptr;
};

// A file written whole or not at all: encode writes it to a temporary (false
// with a reason, or an empty one for what errno says), which then replaces
// path. False with the one line "cannot write PATH: reason".
bool WriteWhole(const std::string& path, const std::function<bool(std::FILE*, std::string* reason)>& encode,
                std::string* error);
