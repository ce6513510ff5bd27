#include <windows.h>

#include "module/module.h"

// The C runtime has constructed the static class descriptor before this runs.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ModuleAttach(module);
    else if (reason == DLL_PROCESS_DETACH) ModuleDetach();
    return TRUE;
}
