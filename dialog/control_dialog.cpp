#include "dialog/control_dialog.h"

#include <cstring>
#include <initializer_list>

#include "dialog/preview.h"
#include "library/filter_file.h"
#include "library/filter_list.h"
#include "module/identity.h"
#include "module/library_path.h"
#include "module/message_box.h"
#include "module/module.h"
#include "resources/resource.h"

ControlDialogState g_controlDialog;

int RunControlDialog(HWND parent, DialogFields* filter) {
    return static_cast<int>(DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(static_cast<WORD>(kControlTemplate)),
                                            parent, ControlDialogProc, reinterpret_cast<LPARAM>(filter)));
}

namespace {

constexpr int kUserIdle = WM_USER + 600;  // answered TRUE, never acted on
constexpr int kIdMaterialMax = 15;
constexpr int kIdObjectMax = 65535;
constexpr int kValueLimit = 99999;  // Divide and Offset: -99999 .. 99999

int CellId(int cell) { return IDC_WEIGHT_FIRST + cell; }

// A stored name may fill all 256 bytes without a zero (LoadConfigure takes a
// record as it comes), so it is cut to 255 characters before any Win32 call
// that expects a terminated string.
void BoundedName(const char (&stored)[kNameBytes], char (&out)[kNameBytes]) {
    const size_t n = NameLength(stored);
    std::memcpy(out, stored, n);
    out[n] = '\0';
}

// The name box's text, at most 255 characters, always terminated.
void ReadNameBox(HWND dialog, char (&out)[kNameBytes]) {
    char text[kNameBytes] = "";
    GetWindowTextA(GetDlgItem(dialog, IDC_FILTER_NAME), text, kNameBytes);
    text[kNameBytes - 1] = '\0';
    std::memcpy(out, text, kNameBytes);
}

// Takes the ID spinner, links it to its edit and shows the value. Null
// (control missing) is kept as "not held".
ISpinnerControl* TakeIdSpinner(HWND dialog, int spinnerId, int editId, int maximum, int value) {
    ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinnerId));
    if (spinner) {
        spinner->AttachEdit(GetDlgItem(dialog, editId), kIntegerEdit);
        spinner->SetRange(0, maximum, 0);
        spinner->WriteValue(value, 0);
    }
    return spinner;
}

// The picture control sizes its window, frame included, to the bitmap, so its
// frame would hide the picture's right and bottom edge (10 pixels each under
// Wine). The preview is painted at client coordinates, so the client area is
// made to hold the whole picture.
void FitPreviewControl(HWND dialog) {
    HWND control = GetDlgItem(dialog, IDC_PREVIEW_IMAGE);
    auto* bitmap = reinterpret_cast<HBITMAP>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info{};
    if (!bitmap || GetObjectA(bitmap, sizeof info, &info) != sizeof info) return;
    RECT frame = {0, 0, info.bmWidth, info.bmHeight};
    if (!AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)), FALSE,
                            static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE))))
        return;
    SetWindowPos(control, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Each interface on its own: one the host could not give leaves its partner
// still to be given back.
template <class T>
void Release(T*& held, void (*release)(T*)) {
    if (held) release(held);
    held = nullptr;
}

int ParamsToControlsOf(HWND dialog, DialogFields& f) {
    return ParamsToControls(dialog, f.weightEdits, f.divideSpinner, f.offsetSpinner, IDC_INVERT, &f.params.kernel);
}

int ControlsToParamsOf(HWND dialog, DialogFields& f) {
    return ControlsToParams(dialog, f.weightEdits, f.divideSpinner, f.offsetSpinner, IDC_INVERT, &f.params.kernel);
}

}  // namespace

int ParamsToControls(HWND dialog, ICustEdit* const weightEdits[kGridCells], ISpinnerControl* divideSpinner,
                     ISpinnerControl* offsetSpinner, int invertId, KernelRecord* record) {
    for (int cell = 0; cell < kGridCells; ++cell) {
        ICustEdit* edit = weightEdits[cell];
        if (!edit) continue;
        if (record->weights[cell] != 0) edit->ShowInt(static_cast<int>(record->weights[cell]));
        else edit->ShowText("");
    }
    if (divideSpinner) divideSpinner->WriteValue(record->divide, 0);
    if (offsetSpinner) offsetSpinner->WriteValue(record->offset, 0);
    // Only 1 inverts. Passing another value straight on would tick the box
    // (the button clamps it to 1), and OK would then store an Invert that
    // changes the picture.
    CheckDlgButton(dialog, invertId, record->invert == 1 ? BST_CHECKED : BST_UNCHECKED);
    record->kernelSize = KernelSizeFromWeights(record->weights);
    return record->kernelSize;
}

int ControlsToParams(HWND dialog, ICustEdit* const weightEdits[kGridCells], ISpinnerControl* divideSpinner,
                     ISpinnerControl* offsetSpinner, int invertId, KernelRecord* record) {
    for (int cell = 0; cell < kGridCells; ++cell)
        if (ICustEdit* edit = weightEdits[cell]) record->weights[cell] = edit->ReadInt();
    if (divideSpinner) record->divide = divideSpinner->ReadValue();
    if (offsetSpinner) record->offset = offsetSpinner->ReadValue();
    record->invert = IsDlgButtonChecked(dialog, invertId) == BST_CHECKED ? 1 : 0;
    record->kernelSize = KernelSizeFromWeights(record->weights);
    return record->kernelSize;
}

void UpdateSourceControls(HWND dialog) {
    const BOOL material = IsDlgButtonChecked(dialog, IDC_SOURCE_MATERIAL) == BST_CHECKED;
    const BOOL object = IsDlgButtonChecked(dialog, IDC_SOURCE_OBJECT) == BST_CHECKED;
    EnableWindow(GetDlgItem(dialog, IDC_MATERIAL_ID), material);
    EnableWindow(GetDlgItem(dialog, IDC_MATERIAL_ID_SPIN), material);
    EnableWindow(GetDlgItem(dialog, IDC_OBJECT_ID), object);
    EnableWindow(GetDlgItem(dialog, IDC_OBJECT_ID_SPIN), object);
}

int SelectedSource(HWND dialog) {
    for (int id : {IDC_SOURCE_WHOLE, IDC_SOURCE_MATERIAL, IDC_SOURCE_OBJECT})
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) return id;
    return IDC_SOURCE_WHOLE;
}

void OpenControlDialog(HWND dialog, DialogFields* filter) {
    g_controlDialog.dialog = dialog;
    g_controlDialog.filter = filter;
    DialogFields& f = *filter;
    CenterWindow(dialog, GetParent(dialog));
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    std::memcpy(&g_controlDialog.opening, &f.params, sizeof f.params);

    f.divideEdit = GetICustEdit(GetDlgItem(dialog, IDC_DIVIDE));
    f.divideSpinner = SetupIntSpinner(dialog, IDC_DIVIDE_SPIN, IDC_DIVIDE, -kValueLimit, kValueLimit,
                                      f.params.kernel.divide);
    f.offsetEdit = GetICustEdit(GetDlgItem(dialog, IDC_OFFSET));
    f.offsetSpinner = SetupIntSpinner(dialog, IDC_OFFSET_SPIN, IDC_OFFSET, -kValueLimit, kValueLimit,
                                      f.params.kernel.offset);
    for (int cell = 0; cell < kGridCells; ++cell)
        f.weightEdits[cell] = GetICustEdit(GetDlgItem(dialog, CellId(cell)));

    ParamsToControlsOf(dialog, f);
    char name[kNameBytes];
    BoundedName(f.params.name, name);
    LoadFilterList(GetDlgItem(dialog, IDC_FILTER_LIST), g_libraryPath, name);
    SetWindowTextA(GetDlgItem(dialog, IDC_FILTER_NAME), name);
    CheckRadioButton(dialog, IDC_SOURCE_WHOLE, IDC_SOURCE_OBJECT, f.params.source);

    g_controlDialog.materialSpinner =
        TakeIdSpinner(dialog, IDC_MATERIAL_ID_SPIN, IDC_MATERIAL_ID, kIdMaterialMax, f.params.materialId);
    g_controlDialog.objectSpinner =
        TakeIdSpinner(dialog, IDC_OBJECT_ID_SPIN, IDC_OBJECT_ID, kIdObjectMax, f.params.objectId);
    UpdateSourceControls(dialog);
    FitPreviewControl(dialog);
}

void ConfirmControlDialog(HWND dialog) {
    DialogFields& f = *g_controlDialog.filter;
    f.params.source = SelectedSource(dialog);
    if (g_controlDialog.materialSpinner) f.params.materialId = g_controlDialog.materialSpinner->ReadValue();
    if (g_controlDialog.objectSpinner) f.params.objectId = g_controlDialog.objectSpinner->ReadValue();
    ControlsToParamsOf(dialog, f);
    ReadNameBox(dialog, f.params.name);
    EndDialog(dialog, 1);
}

void CancelControlDialog(HWND dialog) {
    std::memcpy(&g_controlDialog.filter->params, &g_controlDialog.opening, sizeof(KernelParams));
    EndDialog(dialog, 0);
}

void PreviewCommand(HWND dialog) {
    DialogFields& f = *g_controlDialog.filter;
    HWND button = GetDlgItem(dialog, IDC_PREVIEW_BUTTON);
    EnableWindow(button, FALSE);
    const int k = ControlsToParamsOf(dialog, f);
    int32_t block[kGridCells];
    if (IsKernelSize(k)) {
        ExtractKernel(f.params.kernel.weights, k, block);
        PreviewKernel(GetDlgItem(dialog, IDC_PREVIEW_IMAGE), IDB_SAMPLE, block, k, f.params.kernel.divide,
                      f.params.kernel.offset, f.params.kernel.invert);
    }
    EnableWindow(button, TRUE);
}

void SaveCommand(HWND dialog) {
    DialogFields& f = *g_controlDialog.filter;
    ControlsToParamsOf(dialog, f);
    ReadNameBox(dialog, f.params.name);
    if (f.params.name[0] == '\0') {
        ShowMessageBox("Error", "Input the filter name!");
        return;
    }
    // A name the file cannot give back as typed (a leading blank) would be
    // refused by the append without a word; say so the way a clash is said.
    if (!IsStorableName(f.params.name)) {
        ShowMessageBox("Error", "Change the filter name!");
        return;
    }
    // The duplicate test parses entries on its way; it must not touch the
    // working kernel.
    KernelRecord scratch{};
    const FilterFileStatus found = FindFilterEntry(g_libraryPath, f.params.name, &scratch);
    if (found == FilterFileStatus::kOk) {
        ShowMessageBox("Error", "Change the filter name!");
        return;
    }
    // A file that cannot be opened is said, and the append still tries: it
    // creates the file on the first save.
    ShowFilterFileMessage(found, g_libraryPath);
    const FilterFileStatus saved = AppendFilterEntry(g_libraryPath, f.params.name, &f.params.kernel);
    ShowFilterFileMessage(saved, g_libraryPath);
    if (saved == FilterFileStatus::kOk)
        LoadFilterList(GetDlgItem(dialog, IDC_FILTER_LIST), g_libraryPath, f.params.name);
}

void FilterPicked(HWND dialog, HWND list) {
    const LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR) return;
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(item), 0);
    if (length < 0 || length > kNameBytes - 1) return;
    char name[kNameBytes] = "";
    if (SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(name)) != length) return;
    name[length] = '\0';

    // The search parses every entry it passes into its record; when the name
    // has gone from the file (changed behind the dialog's back, or unreadable)
    // the working kernel, the name and whatever was typed stay as they are.
    KernelRecord found{};
    const FilterFileStatus status = FindFilterEntry(g_libraryPath, name, &found);
    if (status != FilterFileStatus::kOk) {
        ShowFilterFileMessage(status, g_libraryPath);
        SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        return;
    }
    DialogFields& f = *g_controlDialog.filter;
    f.params.kernel = found;
    std::memcpy(f.params.name, name, kNameBytes);
    // The size the file gives is replaced by the one the weights imply.
    ParamsToControlsOf(dialog, f);
    SetWindowTextA(GetDlgItem(dialog, IDC_FILTER_NAME), f.params.name);
}

void CloseControlDialog(HWND dialog) {
    if (!dialog || dialog != g_controlDialog.dialog) return;
    Release(g_controlDialog.materialSpinner, ReleaseISpinner);
    Release(g_controlDialog.objectSpinner, ReleaseISpinner);
    if (DialogFields* f = g_controlDialog.filter) {
        Release(f->divideEdit, ReleaseICustEdit);
        Release(f->divideSpinner, ReleaseISpinner);
        Release(f->offsetEdit, ReleaseICustEdit);
        Release(f->offsetSpinner, ReleaseISpinner);
        for (ICustEdit*& edit : f->weightEdits) Release(edit, ReleaseICustEdit);
    }
    g_controlDialog.dialog = nullptr;
    g_controlDialog.filter = nullptr;
}

INT_PTR CALLBACK ControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* filter = reinterpret_cast<DialogFields*>(lParam);
        if (!filter) {
            // Nothing to edit: the dialog never opens, so closing has nothing to give back.
            EndDialog(dialog, -1);
            return TRUE;
        }
        OpenControlDialog(dialog, filter);
        return TRUE;  // focus to the first tab stop, the filter list
    }
    // Before WM_INITDIALOG (a dialog whose creation fails gets WM_DESTROY
    // all the same) nothing here is this dialog's to touch.
    if (dialog != g_controlDialog.dialog || !g_controlDialog.filter) return FALSE;
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        switch (id) {
        case IDOK: ConfirmControlDialog(dialog); break;
        case IDCANCEL: CancelControlDialog(dialog); break;
        case IDC_PREVIEW_BUTTON: PreviewCommand(dialog); break;
        case IDC_SAVE_BUTTON: SaveCommand(dialog); break;
        case IDC_FILTER_LIST:
            if (code == LBN_SELCHANGE) FilterPicked(dialog, reinterpret_cast<HWND>(lParam));
            break;
        case IDC_SOURCE_WHOLE:
        case IDC_SOURCE_MATERIAL:
        case IDC_SOURCE_OBJECT: UpdateSourceControls(dialog); break;
        default: break;
        }
        return TRUE;
    }
    case WM_DESTROY:
        CloseControlDialog(dialog);
        return TRUE;
    case kUserIdle:
        return TRUE;
    default:
        return FALSE;
    }
}
