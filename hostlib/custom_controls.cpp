#include <windows.h>
#include <windowsx.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "host/custom_controls.h"
#include "hostlib/host_control.h"

namespace {

const char kEditClass[] = "CustEdit";
const char kSpinnerClass[] = "SpinnerControl";

HINSTANCE g_hostModule = nullptr;
WNDPROC g_editProc = nullptr;
int g_initCount = 0;
HINSTANCE g_lastModule = nullptr;

HINSTANCE HostModule() {
    if (!g_hostModule) {
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&HostModule), &g_hostModule);
    }
    return g_hostModule;
}

bool HasClass(HWND window, const char* name) {
    char cls[32];
    return window && GetClassNameA(window, cls, sizeof cls) && lstrcmpiA(cls, name) == 0;
}

// Text to int as the host reads it: leading blanks and a sign, then digits;
// empty or non-numeric text reads 0, and values beyond 32 bits saturate.
int ParseInt(const char* text, BOOL* valid) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (valid) *valid = end != text;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int>(v);
}

int ReadWindowInt(HWND window, BOOL* valid) {
    char text[64] = "";
    GetWindowTextA(window, text, sizeof text);
    return ParseInt(text, valid);
}

// ---- CustEdit: a single-line edit ---------------------------------------

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // Templates give the cells no border; the host's edits always have one.
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        cs->style |= WS_BORDER | ES_AUTOHSCROLL;
        SetWindowLongA(window, GWL_STYLE, cs->style);
    }
    return CallWindowProcA(g_editProc, window, message, wParam, lParam);
}

class CustEdit final : public ICustEdit {
public:
    explicit CustEdit(HWND window) : window_(window) {}
    void ShowText(const char* text) override { SetWindowTextA(window_, text); }
    void ShowInt(int value) override {
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        SetWindowTextA(window_, text);
    }
    int ReadInt() override { return ReadWindowInt(window_, nullptr); }

private:
    HWND window_;
};

// ---- SpinnerControl: up/down arrows over an integer -----------------------

struct SpinnerState {
    int value = 0;
    int minimum = INT_MIN;
    int maximum = INT_MAX;
    HWND edit = nullptr;
};

SpinnerState* StateOf(HWND window) {
    return reinterpret_cast<SpinnerState*>(GetWindowLongPtrA(window, 0));
}

int Clamp(const SpinnerState& s, int v) { return v < s.minimum ? s.minimum : v > s.maximum ? s.maximum : v; }

// The value follows whatever the user typed into the linked edit.
int CurrentValue(SpinnerState& s) {
    if (s.edit) {
        BOOL valid = FALSE;
        const int typed = ReadWindowInt(s.edit, &valid);
        if (valid) s.value = Clamp(s, typed);
    }
    return s.value;
}

void ShowValue(const SpinnerState& s) {
    if (!s.edit) return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", s.value);
    SetWindowTextA(s.edit, text);
}

void SetSpinnerValue(HWND window, SpinnerState& s, int v, bool notify) {
    s.value = Clamp(s, v);
    ShowValue(s);
    if (notify) {
        SendMessageA(GetParent(window), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(window), 0), reinterpret_cast<LPARAM>(window));
    }
}

LRESULT CALLBACK SpinnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE: {
        // A spinner without its state could not work: the window is not made.
        auto* state = new (std::nothrow) SpinnerState;
        if (!state) return FALSE;
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
        break;
    }
    case WM_NCDESTROY:
        delete StateOf(window);
        SetWindowLongPtrA(window, 0, 0);
        break;
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT r;
        GetClientRect(window, &r);
        const int mid = (r.top + r.bottom) / 2;
        const UINT off = IsWindowEnabled(window) ? 0 : DFCS_INACTIVE;
        RECT up = {r.left, r.top, r.right, mid}, down = {r.left, mid, r.right, r.bottom};
        DrawFrameControl(dc, &up, DFC_SCROLL, DFCS_SCROLLUP | off);
        DrawFrameControl(dc, &down, DFC_SCROLL, DFCS_SCROLLDOWN | off);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SpinnerState* s = StateOf(window);
        if (!s) break;
        RECT r;
        GetClientRect(window, &r);
        const int step = GET_Y_LPARAM(lParam) < (r.top + r.bottom) / 2 ? 1 : -1;
        const int v = CurrentValue(*s);
        // Stepping past INT_MAX must not wrap.
        const long long next = static_cast<long long>(v) + step;
        SetSpinnerValue(window, *s, next > INT_MAX ? INT_MAX : next < INT_MIN ? INT_MIN : int(next), true);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class Spinner final : public ISpinnerControl {
public:
    explicit Spinner(HWND window) : window_(window) {}
    int ReadValue() override {
        SpinnerState* s = StateOf(window_);
        return s ? CurrentValue(*s) : 0;
    }
    void WriteValue(int value, int notify) override {
        if (SpinnerState* s = StateOf(window_)) SetSpinnerValue(window_, *s, value, notify != 0);
    }
    void SetRange(int minimum, int maximum, int limitCurrent) override {
        SpinnerState* s = StateOf(window_);
        if (!s || minimum > maximum) return;
        s->minimum = minimum;
        s->maximum = maximum;
        if (limitCurrent) SetSpinnerValue(window_, *s, s->value, false);
    }
    void AttachEdit(HWND edit, int) override {
        if (SpinnerState* s = StateOf(window_)) {
            s->edit = edit;
            ShowValue(*s);
        }
    }

private:
    HWND window_;
};

}  // namespace

void InitCustomControls(HINSTANCE module) {
    ++g_initCount;
    g_lastModule = module;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExA(HostModule(), kEditClass, &wc)) {
        WNDCLASSEXA edit = {};
        edit.cbSize = sizeof edit;
        if (GetClassInfoExA(nullptr, "EDIT", &edit)) {
            g_editProc = edit.lpfnWndProc;
            edit.cbSize = sizeof edit;
            edit.lpfnWndProc = EditProc;
            edit.hInstance = HostModule();
            edit.lpszClassName = kEditClass;
            edit.style |= CS_GLOBALCLASS;
            RegisterClassExA(&edit);
        }
    }
    if (!GetClassInfoExA(HostModule(), kSpinnerClass, &wc)) {
        WNDCLASSEXA spin = {};
        spin.cbSize = sizeof spin;
        spin.style = CS_GLOBALCLASS | CS_DBLCLKS;
        spin.lpfnWndProc = SpinnerProc;
        spin.cbWndExtra = sizeof(SpinnerState*);
        spin.hInstance = HostModule();
        spin.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        spin.lpszClassName = kSpinnerClass;
        RegisterClassExA(&spin);
    }
}

int HostCustomControlsInitCount() { return g_initCount; }
HINSTANCE HostCustomControlsLastModule() { return g_lastModule; }

void CenterWindow(HWND window, HWND parent) {
    RECT w, p;
    if (!GetWindowRect(window, &w)) return;
    if (!parent || !GetWindowRect(parent, &p)) SystemParametersInfoA(SPI_GETWORKAREA, 0, &p, 0);
    const int width = w.right - w.left, height = w.bottom - w.top;
    const int x = p.left + ((p.right - p.left) - width) / 2;
    const int y = p.top + ((p.bottom - p.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

ICustEdit* GetICustEdit(HWND control) {
    return HasClass(control, kEditClass) ? new (std::nothrow) CustEdit(control) : nullptr;
}
void ReleaseICustEdit(ICustEdit* edit) { delete static_cast<CustEdit*>(edit); }
ISpinnerControl* GetISpinner(HWND control) {
    return HasClass(control, kSpinnerClass) ? new (std::nothrow) Spinner(control) : nullptr;
}
void ReleaseISpinner(ISpinnerControl* spinner) { delete static_cast<Spinner*>(spinner); }

ISpinnerControl* SetupIntSpinner(HWND dialog, int spinnerId, int editId, int minimum, int maximum, int value) {
    ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinnerId));
    if (!spinner) return nullptr;
    spinner->AttachEdit(GetDlgItem(dialog, editId), kIntegerEdit);
    spinner->SetRange(minimum, maximum, FALSE);
    spinner->WriteValue(value, FALSE);
    return spinner;
}
