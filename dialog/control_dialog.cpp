#include "dialog/control_dialog.h"

#include "plugin/kernel_filter.h"
#include "plugin/module.h"
#include "plugin/identity.h"

int FilterPluginBase::RunControlDialog(HWND parent) {
    return static_cast<int>(DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(static_cast<WORD>(kControlTemplate)),
                                            parent, ControlDialogProc, reinterpret_cast<LPARAM>(this)));
}

INT_PTR CALLBACK ControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND) {
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}
