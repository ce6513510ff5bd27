#pragma once
#include <map>
#include <set>
#include <string>

#include "minihost/files/file_identity.h"

// The kind of file a command writes: an existing file in an output's place
// is replaced only when it is one.
struct OutputKind {
    const char* name;                         // "a PNG", in messages
    bool (*holds)(const std::string& path);  // whether the file at path is one
};

// Every command that writes asks this first, so that nothing is refused
// half way: an output may not be a file the run reads or one the host is made
// of, whatever the spelling of either (case, "./", links, 8.3 and long forms
// all come to one file), nor an existing file of another kind, nor one
// marked read-only. A refusal is a CommandError, the one line.
class OutputGuard {
public:
    explicit OutputGuard(std::string command) : command_(std::move(command)) {}

    // A file the run reads or the host is made of, which it may not write.
    // One that exists but cannot be asked about stops the run: it might be
    // an output.
    void Keep(const std::string& path, const std::string& what);
    // Refuses path, or passes it; it removes nothing.
    void Check(const std::string& path, const OutputKind& kind);

    // Whether path exists (*id set); throws when it cannot be asked.
    bool Identify(const std::string& path, FileId* id) const;

private:
    std::string command_;
    std::map<FileId, std::string> keptIds_;         // -> what it is, for the message
    std::map<std::wstring, std::string> keptNames_;  // NameKey -> the same, for files not made yet
};
