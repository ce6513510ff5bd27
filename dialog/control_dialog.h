#pragma once
#include <windows.h>

#include "host/custom_controls.h"
#include "params/kernel_params.h"

// What the control dialog edits of a filter: its parameters, and the host
// interfaces of its custom controls, right after them, which the dialog holds
// while it is open (null otherwise).
struct DialogFields {
    KernelParams params = DefaultParams();
    ICustEdit* weightEdits[kGridCells] = {};
    ICustEdit* divideEdit = nullptr;
    ICustEdit* offsetEdit = nullptr;
    ISpinnerControl* divideSpinner = nullptr;
    ISpinnerControl* offsetSpinner = nullptr;
};

// What the control dialog keeps once for the whole plug-in, which is why only
// one control dialog may be open at a time. The dialog and its filter are
// known only from WM_INITDIALOG until the dialog is destroyed: the host may
// delete the filter once ShowControl has returned.
struct ControlDialogState {
    HWND dialog = nullptr;                       // the dialog that opened; null when none is open
    DialogFields* filter = nullptr;              // the fields of the filter being edited
    ISpinnerControl* materialSpinner = nullptr;  // spinner 1014, null when not held
    ISpinnerControl* objectSpinner = nullptr;    // spinner 1015, null when not held
    KernelParams opening{};                      // the record as it stood when the dialog opened
};
extern ControlDialogState g_controlDialog;

// Runs the control dialog for filter, modal over parent: the dialog's answer
// (IDOK, IDCANCEL, or -1 when it could not be made).
int RunControlDialog(HWND parent, DialogFields* filter);

INT_PTR CALLBACK ControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Kernel record <-> controls. A weight of 0 shows as an empty cell. Both set
// the record's kernel size from its weights and answer it. A control whose
// interface is null is skipped: its field keeps its value.
int ParamsToControls(HWND dialog, ICustEdit* const weightEdits[kGridCells], ISpinnerControl* divideSpinner,
                     ISpinnerControl* offsetSpinner, int invertId, KernelRecord* record);
int ControlsToParams(HWND dialog, ICustEdit* const weightEdits[kGridCells], ISpinnerControl* divideSpinner,
                     ISpinnerControl* offsetSpinner, int invertId, KernelRecord* record);

// The ID edit and spinner of a channel are enabled exactly while its radio
// button is selected.
void UpdateSourceControls(HWND dialog);
// The first selected of 1009, 1010, 1011; 1009 when none is.
int SelectedSource(HWND dialog);

// The dialog's steps, which the procedure only dispatches to.
void OpenControlDialog(HWND dialog, DialogFields* filter);
void ConfirmControlDialog(HWND dialog);
void CancelControlDialog(HWND dialog);
void PreviewCommand(HWND dialog);
void SaveCommand(HWND dialog);
// A list selection change. A pick that finds no selected item, an item
// longer than a name, or a name no longer in the library file changes
// nothing but clearing the list's selection in the last case.
void FilterPicked(HWND dialog, HWND list);
// Gives back every interface the opening took, each on its own, and forgets
// the dialog and its filter. Does nothing for any window but the dialog that
// opened: one whose creation failed is destroyed without having opened.
void CloseControlDialog(HWND dialog);
