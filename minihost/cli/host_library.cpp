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

std::string MissingLine() {
    return std::string(kHostLibrary) + " is missing: it must be in the folder of minihost.exe, " + ProgramDir() +
           " (the package holds it beside minihost.exe and VLM.FLT)";
}

// From the program's folder only, where the package puts it: a library of
// the name elsewhere (the working folder, PATH) is not taken for it.
HMODULE LoadHostLibrary() {
    const std::wstring path = SystemPath(ProgramDir() + "\\" + kHostLibrary);
    return path.empty() ? nullptr : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
    const HMODULE library = LoadHostLibrary();
    if (!library) Fail(MissingLine());
    void* entry = reinterpret_cast<void*>(GetProcAddress(library, name));
    if (!entry)
        Fail(ModulePath(library) + " lacks " + name + ", which minihost.exe needs: it is of another build; take the " +
             kHostLibrary + " that came with minihost.exe");
    *slot = entry;
    return entry;
}

std::string MissingHostLibrary() {
    return LoadHostLibrary() ? std::string() : MissingLine();
}
