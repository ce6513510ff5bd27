#pragma once
#include <cstdarg>
#include <cstddef>

constexpr size_t kMessageChars = 256;

// Formats like vsnprintf into a 256-character buffer. Text that does not fit
// is cut, never written past the buffer; a cut text ends in "..." so the
// reader can see that something is missing.
void FormatMessageText(char (&out)[kMessageChars], const char* format, va_list args);

// Shows a modal message box owned by the active window, its text formatted
// as FormatMessageText does (Win32 only).
void ShowMessageBox(const char* caption, const char* format, ...);
