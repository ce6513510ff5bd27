#pragma once
#include <windows.h>

// The library's own instance handle, from which every template and bitmap
// is loaded; null before attach and after detach.
HINSTANCE ModuleHandle();
int ControlsInitialised();

void ModuleAttach(HINSTANCE module);
void ModuleDetach();
