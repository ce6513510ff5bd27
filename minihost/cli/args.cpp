#include "minihost/cli/args.h"

#include <cerrno>
#include <cstdlib>

int32_t ParseInt32(const std::string& text, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        throw CommandError{what + ": '" + text + "' is not a 32-bit whole number"};
    return static_cast<int32_t>(v);
}

std::string RepeatedOption(const std::string& command, const std::string& name) {
    return command + ": " + name + " is given twice; give it once (no value is taken over another)";
}

std::string EmptyValue(const std::string& command, const std::string& name, const std::string& value) {
    return command + ": " + name + ": give " + value + ", not an empty value";
}

ParsedArgs::ParsedArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& table,
                       const std::string& command) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const OptionSpec* option = nullptr;
        for (const OptionSpec& s : table)
            if (a == s.name) option = &s;
        if (!option) {
            if (a.size() > 1 && a[0] == '-') throw CommandError{command + ": unknown option " + a};
            words_.push_back(a);
            continue;
        }
        std::vector<std::string>& values = values_[a];
        if (!values.empty() && !option->repeats) throw CommandError{RepeatedOption(command, a)};
        if (!option->value) {
            values.push_back("");
            continue;
        }
        if (i + 1 >= args.size()) throw CommandError{a + " needs a value"};
        const std::string& value = args[++i];
        if (value.empty()) throw CommandError{EmptyValue(command, a, option->value)};
        values.push_back(value);
    }
}

std::string ParsedArgs::Value(const char* name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::string() : found->second.back();
}

std::vector<std::string> ParsedArgs::Values(const char* name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::vector<std::string>() : found->second;
}
