#include "module/message_box.h"

#include <cstdio>
#include <cstring>

void FormatMessageText(char (&out)[kMessageChars], const char* format, va_list args) {
    const int n = std::vsnprintf(out, kMessageChars, format, args);
    if (n < 0) {
        out[0] = '\0';
    } else if (static_cast<size_t>(n) >= kMessageChars) {
        std::memcpy(out + kMessageChars - 4, "...", 4);
    }
}
