#include "module/module.h"

#include <commctrl.h>

#include "host/custom_controls.h"

namespace {
HINSTANCE g_module = nullptr;
int g_controlsInitialised = 0;
}  // namespace

HINSTANCE ModuleHandle() { return g_module; }
int ControlsInitialised() { return g_controlsInitialised; }

void ModuleAttach(HINSTANCE module) {
    g_module = module;
    if (!g_controlsInitialised) {
        g_controlsInitialised = 1;
        InitCustomControls(module);
        InitCommonControls();
    }
}

void ModuleDetach() {
    g_module = nullptr;
    g_controlsInitialised = 0;
}
