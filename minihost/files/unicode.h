#pragma once
// minihost keeps every text in UTF-8 and turns it into UTF-16 only at the
// Windows call, so a name passes through whole whatever its language. The
// plug-in, like the host it stands in for, speaks the ANSI code page: text
// for it is converted exactly or not at all, never to a look-alike.
#include <string>

// False for text that is not valid UTF-8 (or UTF-16 with a lone surrogate).
bool ToUtf16(const std::string& utf8, std::wstring* out);
bool ToUtf8(const std::wstring& utf16, std::string* out);
// For a name known to be valid: an empty result otherwise.
std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);

// The ANSI code page's bytes for the text; false when it cannot hold every
// character (best-fit mapping would give 'a' for 'ā').
bool ToAnsi(const std::string& utf8, std::string* out);
std::string FromAnsi(const std::string& ansi);

// Text goes out as UTF-8; a console shows it as such for the life of the
// program, and is given its own code page back after.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned previous_ = 0;
};
