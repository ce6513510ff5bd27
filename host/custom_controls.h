#pragma once
#include <windows.h>

#include "host/hostapi.h"

// The two interfaces' tables cross between the host and the plug-in: no
// destructor entries, overloads or records returned by value, so that
// Microsoft's compiler and g++ lay them out alike.

// The host's edit control (window class "CustEdit").
class ICustEdit {
public:
    virtual void ShowInt(int value) = 0;
    virtual void ShowText(const char* text) = 0;
    // The text as an integer; an empty control reads 0.
    virtual int ReadInt() = 0;

protected:
    ~ICustEdit() = default;
};

// The host's spinner (window class "SpinnerControl"): an integer within
// limits, shown in and following a linked edit.
class ISpinnerControl {
public:
    virtual int ReadValue() = 0;
    virtual void WriteValue(int value, int notify) = 0;
    virtual void SetRange(int minimum, int maximum, int limitCurrent) = 0;
    virtual void AttachEdit(HWND edit, int type) = 0;

protected:
    ~ISpinnerControl() = default;
};

constexpr int kIntegerEdit = 0;

HOST_API void InitCustomControls(HINSTANCE module);
HOST_API void CenterWindow(HWND window, HWND parent);
HOST_API ICustEdit* GetICustEdit(HWND control);
HOST_API void ReleaseICustEdit(ICustEdit* edit);
HOST_API ISpinnerControl* GetISpinner(HWND control);
HOST_API void ReleaseISpinner(ISpinnerControl* spinner);
HOST_API ISpinnerControl* SetupIntSpinner(HWND dialog, int spinnerId, int editId, int minimum,
                                          int maximum, int value);
