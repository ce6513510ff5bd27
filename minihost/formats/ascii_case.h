#pragma once
// minihost's one case-insensitive comparison of names: ASCII letters only,
// which is all an extension or a frame pattern's fixed text is compared by.
// No Win32, so that the native tests hold it.
#include <string>

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Whether text holds word at position at, whatever the case of its letters.
inline bool SameTextAt(const std::string& text, size_t at, const std::string& word) {
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (AsciiLower(text[at + i]) != AsciiLower(word[i])) return false;
    return true;
}

inline bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && SameTextAt(text, text.size() - end.size(), end);
}
