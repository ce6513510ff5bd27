// minihost.exe takes HOSTLIB.DLL's functions when they are first called
// (through the table cli/host_library.cmake writes) rather than importing
// them, so that a copy without the library starts and says so in its one
// line: with an import, the loader would refuse the program before it runs,
// and under WINEDEBUG=-all without a word. The tests import it as usual.
#include <windows.h>

#include <cstdio>
#include <string>

#include "minihost/cli/commands.h"
#include "minihost/files/paths.h"

namespace {

constexpr char kHostLibrary[] = "HOSTLIB.DLL";

// Why the library could not be loaded, from the loader's error: a file that
// is there but is no 32-bit library is not "missing".
std::string NotLoadedLine(DWORD code) {
    const std::string where = "it must be in the folder of minihost.exe, " + ProgramDir() +
                              " (the package holds it beside minihost.exe and VLM.FLT)";
    const std::string name = ProgramDir() + "\\" + kHostLibrary;
    if (code == ERROR_MOD_NOT_FOUND || code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return std::string(kHostLibrary) + " is missing: " + where;
    if (code == ERROR_BAD_EXE_FORMAT || code == ERROR_INVALID_EXE_SIGNATURE || code == ERROR_EXE_MACHINE_TYPE_MISMATCH)
        return name + " is not a 32-bit Windows library (empty, damaged, or built for another processor): take the " +
               kHostLibrary + " that came with minihost.exe";
    if (code == ERROR_FILENAME_EXCED_RANGE)
        return name + " cannot be loaded: its path is longer than Windows allows; move minihost.exe's folder higher";
    if (code == ERROR_ACCESS_DENIED)
        return name + " cannot be loaded: this account may not read it; take the " + kHostLibrary +
               " that came with minihost.exe";
    return name + " cannot be loaded (error " + std::to_string(code) + "): take the " + kHostLibrary +
           " that came with minihost.exe";
}

// From the program's folder only, where the package puts it: a library of
// the name elsewhere (the working folder, PATH) is not taken for it.
HMODULE LoadHostLibrary(DWORD* code) {
    const std::wstring path = SystemPath(ProgramDir() + "\\" + kHostLibrary);
    const HMODULE library = path.empty() ? nullptr : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    *code = library ? 0 : path.empty() ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    return library;
}

[[noreturn]] void Fail(const std::string& line) {
    std::fflush(stdout);
    std::fprintf(stderr, "minihost: %s\n", line.c_str());
    ExitProcess(kExitError);
}

}  // namespace

// The table's thunk calls this for an entry not yet found; it answers the
// function and keeps it in the entry's slot. Any thread may call it: the
// slot is one aligned word, written with the same value by each.
extern "C" void* FindHostEntry(void** slot, const char* name) {
    DWORD code = 0;
    const HMODULE library = LoadHostLibrary(&code);
    if (!library) Fail(NotLoadedLine(code));
    void* entry = reinterpret_cast<void*>(GetProcAddress(library, name));
    if (!entry)
        Fail(ModulePath(library) + " lacks " + name + ", which minihost.exe needs: it is of another build; take the " +
             kHostLibrary + " that came with minihost.exe");
    *slot = entry;
    return entry;
}

std::string MissingHostLibrary() {
    DWORD code = 0;
    return LoadHostLibrary(&code) ? std::string() : NotLoadedLine(code);
}
