#include <windows.h>

#include "minihost/cli/commands.h"
#include "minihost/files/paths.h"
#include "minihost/formats/kernel_library.h"

OutputGuard HostGuard(const std::string& command) {
    OutputGuard guard(command);
    guard.Keep(ModulePath(nullptr), "program");
    guard.Keep(ModulePath(GetModuleHandleW(L"HOSTLIB.DLL")), "host library");
    guard.Keep(PluginPath(), "plug-in");
    guard.Keep(DefaultPluginPath(), "plug-in");
    guard.Keep(KernelLibraryPath(), "kernel library");
    return guard;
}
