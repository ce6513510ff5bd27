#pragma once
#include <cstdarg>
#include <cstddef>

constexpr size_t kMessageChars = 256;

// Formats like vsnprintf into a 256-character buffer. Text that does not fit
// is cut, never written past the buffer; a cut text ends in "..." so the
// reader can see that something is missing.
void FormatMessageText(char (&out)[kMessageChars], const char* format, va_list args);

// Shows a modal message owned by the active window. The Win32 build shows a
// message box; the native build (no windows) hands the text to a sink that
// tests install. Returns the box's result, which no caller uses.
int ShowMessageBox(const char* caption, const char* format, ...);
