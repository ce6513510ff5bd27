#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// The name of a temporary: its owner, the writing process and thread, and a
// count. The owner is VLM_TEMP_OWNER (a letter, then letters, digits or _, up
// to 32), which a farm's task script sets to an id that the scheduler gives
// one live task only, so that the task's re-run can remove what a kill of
// the task's Wine server left; without it, as outside a farm, there is none
// and the name is ~minihost-PID-THREAD-N.tmp.
std::string TemporaryName(unsigned long pid, unsigned long thread, int n);
std::string TemporaryName(const std::string& owner, unsigned long pid, unsigned long thread, int n);
const std::string& TemporaryOwner();

// The step that puts a temporary in place as a second name of its file
// (handle, the output's NT name; false when refused). Swapped by the tests
// for one that refuses, as a file system of one name a file does; answers
// the step it replaces.
using LinkStep = bool (*)(void* handle, const std::wstring& ntName);
LinkStep SwapLinkStep(LinkStep step);

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
