#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "minihost/cli/commands.h"

// A whole decimal number within the 32-bit range, or a CommandError naming
// the option.
int32_t ParseInt32(const std::string& text, const std::string& what);

// Walks "--flag value" pairs and bare words.
class ArgReader {
public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
    bool Done() const { return next_ >= args_.size(); }
    const std::string& Next() { return args_[next_++]; }
    std::string Value(const std::string& flag) {
        if (Done()) throw CommandError{flag + " needs a value"};
        return Next();
    }

private:
    const std::vector<std::string>& args_;
    size_t next_ = 0;
};
