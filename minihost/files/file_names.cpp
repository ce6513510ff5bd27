#include "minihost/files/file_names.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string CharName(unsigned char c) {
    if (c == '\t') return "a tab";
    if (c < 0x20) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        return std::string("the control character ") + hex;
    }
    return std::string("'") + char(c) + "'";
}

// The device a name opens instead of a file, or empty. Windows takes the
// part before the first dot, blanks trimmed, in any case: "nul.png" and
// "Com1 .txt" are devices too.
std::string DeviceOf(const std::string& part) {
    std::string base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (base == device) return base;
    const bool numbered = base.size() == 4 && base[3] >= '1' && base[3] <= '9';
    return numbered && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) ? base : std::string();
}

}  // namespace

std::string DeviceNamed(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return DeviceOf(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string NameFault(const std::string& path) {
    if (path.empty()) return "the output's name is empty; give it a file name";
    size_t start = 0;
    // \\?\ hands names to the file system as they are, devices included;
    // \\.\ names a device or a file. Either separator serves.
    const bool prefixed = path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                          (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]);
    const bool literal = prefixed && path[2] == '?';
    if (prefixed) start = 4;
    if (path.size() >= start + 2 && IsLetter(path[start]) && path[start + 1] == ':') {
        const wchar_t root[] = {wchar_t(path[start]), L':', L'\\', 0};
        if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
            return path + ": there is no drive " + char(root[0] & ~0x20) + ":; give a path on a drive that exists";
        start += 2;
    }
    for (size_t i = start; i < path.size();) {
        size_t end = i;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        const std::string part = path.substr(i, end - i);
        for (const char ch : part) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c < 0x20 || std::strchr("<>:\"|?*", c))
                return path + ": a name may not hold " + CharName(c) +
                       (c == ':' ? " on Windows (only a drive letter takes one)" : " on Windows") +
                       "; choose a name without it";
        }
        const std::string device = literal ? std::string() : DeviceOf(part);
        if (!device.empty())
            return path + ": " + device + " is the name of a Windows device, with any extension, not of a file; "
                                          "choose another name";
        i = end + 1;
    }
    return {};
}
