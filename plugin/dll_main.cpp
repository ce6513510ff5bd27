#include <windows.h>

#include "module/module.h"
#include "render/cpu_features.h"

// The C runtime has constructed the static class descriptor before this runs.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ModuleAttach(module);
        // The processor is read here, at load, rather than in the first
        // frame's render: in a virtual machine each CPUID traps to the
        // hypervisor, and the reading takes a tenth of a millisecond.
        HostCpuFeatures();
    } else if (reason == DLL_PROCESS_DETACH) {
        ModuleDetach();
    }
    return TRUE;
}
