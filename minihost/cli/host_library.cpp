// minihost.exe takes HOSTLIB.DLL by delay-load, so that a copy without it
// starts and says so in its one line: with an ordinary import, the loader
// would refuse the program before it runs, and under WINEDEBUG=-all without
// a word.
#include <windows.h>

#include <delayimp.h>

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

// The loader's last resort, for an entry HOSTLIB.DLL turns out not to have
// (a library of another build): one line, as for any error, rather than
// the loader's exception.
FARPROC WINAPI DelayLoadFailed(unsigned notice, PDelayLoadInfo info) {
    std::string line = MissingLine();
    if (notice == dliFailGetProc)
        line = std::string(info->szDll) + " in use lacks an entry that minihost.exe needs: it is of another build; "
                                           "take the one that came with minihost.exe";
    std::fflush(stdout);
    std::fprintf(stderr, "minihost: %s\n", line.c_str());
    ExitProcess(kExitError);
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliFailureHook2 = DelayLoadFailed;
}

std::string MissingHostLibrary() {
    return LoadLibraryA(kHostLibrary) ? std::string() : MissingLine();
}
