#pragma once
#include <windows.h>

#include "host/hostapi.h"

// The host's edit control (window class "CustEdit").
class ICustEdit {
public:
    virtual void SetText(const char* text) = 0;
    virtual void SetText(int value) = 0;
    // The text as an integer; an empty control reads 0.
    virtual int GetInt(BOOL* valid = nullptr) = 0;

protected:
    ~ICustEdit() = default;
};

// The host's spinner (window class "SpinnerControl"): an integer within
// limits, shown in and following a linked edit.
class ISpinnerControl {
public:
    virtual int GetIVal() = 0;
    virtual void SetValue(int value, int notify) = 0;
    virtual void SetLimits(int minimum, int maximum, int limitCurrent) = 0;
    virtual void LinkToEdit(HWND edit, int type) = 0;

protected:
    ~ISpinnerControl() = default;
};

constexpr int EDITTYPE_INT = 0;

HOST_API void InitCustomControls(HINSTANCE module);
HOST_API void CenterWindow(HWND window, HWND parent);
HOST_API ICustEdit* GetICustEdit(HWND control);
HOST_API void ReleaseICustEdit(ICustEdit* edit);
HOST_API ISpinnerControl* GetISpinner(HWND control);
HOST_API void ReleaseISpinner(ISpinnerControl* spinner);
HOST_API ISpinnerControl* SetupIntSpinner(HWND dialog, int spinnerId, int editId, int minimum,
                                          int maximum, int value);
