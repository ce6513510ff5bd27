#pragma once
// The files a run has committed, in order, and their words for a line that
// a fault or a stop handler prints. Each file costs the same to add however
// many came before it: the words are kept ready, never rebuilt, since a
// commit holds the gate that a Ctrl-C waits on.
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

class WrittenRecord {
public:
    void Add(const std::string& path);
    size_t Count() const { return count_; }
    std::vector<std::string> Files() const { return {files_.begin(), files_.end()}; }
    const char* Name(size_t i) const { return files_[i].c_str(); }  // allocates nothing
    // CommittedList's words into out, allocating nothing (a handler may run
    // on a damaged heap). Names that do not fit the record's own 4 KB are
    // left out, and the line says how many files there were.
    void Say(char* out, size_t size) const;

private:
    std::deque<std::string> files_;  // a deque: no commit moves the ones before it
    char names_[4096] = "";          // the first names, joined by ", "
    size_t used_ = 0, named_ = 0;
    volatile size_t count_ = 0;  // raised last: a handler that reads mid-Add sees the file absent
};

// The files in words: "nothing was written", or each named.
std::string CommittedList(const std::vector<std::string>& files);
