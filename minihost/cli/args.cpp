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
