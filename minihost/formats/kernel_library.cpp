#include "minihost/formats/kernel_library.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "library/filter_file.h"
#include "minihost/files/error.h"
#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/kernel_text.h"

namespace {
std::string g_settingsDir;
}

void SetSettingsDir(const std::string& dir) { g_settingsDir = dir; }

std::string SettingsDir() { return g_settingsDir.empty() ? ProgramDir() + "\\settings" : g_settingsDir; }

std::string KernelLibraryPath() { return Join(SettingsDir(), "VLM.SET"); }

std::vector<NamedKernel> ReadKernelLibrary() {
    const std::string path = KernelLibraryPath();
    std::FILE* file = OpenFile(path, L"rb");
    if (!file)
        throw CommandError{"no kernel library at " + path +
                           " (kernels are saved there from 'minihost setup'; --settings-dir DIR names another folder)"};
    std::vector<NamedKernel> kernels;
    NamedKernel entry{};
    char name[kNameBytes];
    std::map<std::string, int> firstOf;
    // The reader writes the name line and one zero after it, nothing beyond:
    // in a buffer of non-zero bytes its last zero ends the line, and a zero
    // before that is a NUL byte of the file.
    std::memset(name, 1, sizeof name);
    // Each entry starts from the record before it, as the reader is defined.
    while (ReadFilterEntry(file, name, &entry.record, &entry.report)) {
        const char* end = name + sizeof name;
        while (end > name && end[-1] != '\0') --end;
        entry.line.assign(static_cast<const char*>(name), end > name ? end - 1 : name);
        entry.name = name;
        std::memset(name, 1, sizeof name);
        const auto first = firstOf.emplace(entry.name, int(kernels.size()));
        entry.firstOfName = first.second ? -1 : first.first->second;
        kernels.push_back(entry);
    }
    std::fclose(file);
    return kernels;
}

void TakeKernel(const NamedKernel& k, KernelParams* p) {
    p->kernel = k.record;
    p->kernel.kernelSize = KernelSizeFromWeights(p->kernel.weights);
    p->kernel.invert = p->kernel.invert != 0;
    std::memcpy(p->name, k.name.c_str(), k.name.size() + 1);
}

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// What a name says to one who wrote it in UTF-8, when its bytes are that
// and more than ASCII; empty otherwise, and where the code page is UTF-8.
std::string AsUtf8(const std::string& name) {
    std::wstring wide;
    bool beyondAscii = false;
    for (const char c : name) beyondAscii |= (c & 0x80) != 0;
    return beyondAscii && GetACP() != CP_UTF8 && ToUtf16(name, &wide) ? Printable(name) : std::string();
}

}  // namespace

std::string EntryWarning(const NamedKernel& k, size_t index) {
    // A damaged file's names can be long lines of junk: the start says which.
    constexpr size_t kShown = 40;
    const std::string name =
        k.name.size() > kShown ? Printable(FromAnsi(k.name.substr(0, kShown))) + "..." : Printable(FromAnsi(k.name));
    const std::string entry = "VLM.SET entry " + std::to_string(index + 1) + " '" + name + "'";
    const std::string counted =
        std::to_string(k.report.numbersRead) + " of its " + std::to_string(k.report.numbersWanted) + " numbers";
    switch (k.report.end) {
    case FilterEntryEnd::kCutShort:
        return entry + " is cut short (" + counted +
               "): its missing weights are taken as 0 and a missing Divide, Offset or Invert from the entry "
               "before; mend it in a text editor";
    case FilterEntryEnd::kDamaged:
        return entry + " is damaged: something that is not a number follows " + counted +
               "; its missing weights are taken as 0, and the rest of that line as the next entry's name";
    case FilterEntryEnd::kWhole:
        break;
    }
    const std::string ansi = " (code page " + std::to_string(GetACP()) + ")";
    if (index == 0 && k.name.compare(0, 3, kByteOrderMark) == 0)
        return entry + " begins with a UTF-8 byte-order mark, which the plug-in and the dialog read as part of its "
                       "name, so it is not found as '" + Printable(k.name.substr(3)) + "'; save VLM.SET as ANSI text" +
               ansi + ", without the mark";
    if (k.line.size() != k.name.size())
        return entry + " has a NUL byte in its name, which ends the name there for the plug-in and the dialog ('" +
               Printable(FromAnsi(k.line.substr(k.name.size() + 1))) + "' after it is left out); remove the byte in "
               "an editor that shows it";
    const std::string utf8 = AsUtf8(k.name);
    if (!utf8.empty())
        return entry + " looks saved as UTF-8, for '" + utf8 + "': the plug-in and the dialog take names as ANSI "
                       "text" + ansi + " and show it as here; save VLM.SET as ANSI text";
    if (!IsKernelSize(k.record.kernelSize))
        return entry + " gives kernel size " + std::to_string(k.record.kernelSize) +
               ", not 3, 5, 7 or 9: it is read as 9 x 9";
    return {};
}
