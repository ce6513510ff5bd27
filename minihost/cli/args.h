#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "minihost/cli/commands.h"

// A whole decimal number within the 32-bit range, or a CommandError naming
// the option.
int32_t ParseInt32(const std::string& text, const std::string& what);

// One option of a command, as its table lists it.
struct OptionSpec {
    const char* name;          // "--frames"
    const char* value;         // what its value is called ("LIST"); null for a flag
    bool repeats = false;      // given once per item (--row), never "the last one wins"
};

// A command line read by its command's one table, so that every command
// refuses alike: an unknown option, one given twice that does not repeat, a
// value that is missing or empty (an empty --frames would widen the run to
// every frame). Each refusal is one CommandError naming the option.
class ParsedArgs {
public:
    ParsedArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& table,
               const std::string& command);
    bool Has(const char* name) const { return values_.count(name) != 0; }
    // The option's value, empty when it was not given.
    std::string Value(const char* name) const;
    // Every value of an option that repeats, in order.
    std::vector<std::string> Values(const char* name) const;
    // The arguments that are not options, in order.
    const std::vector<std::string>& Words() const { return words_; }

private:
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> words_;
};

// The lines the table and main's own options say.
std::string RepeatedOption(const std::string& command, const std::string& name);
std::string EmptyValue(const std::string& command, const std::string& name, const std::string& value);
