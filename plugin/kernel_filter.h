#pragma once
#include <windows.h>

#include "dialog/control_dialog.h"
#include "host/image_filter.h"

// Identity answers and modal dialogs shared by the maker's filters.
class FilterPluginBase : public ImageFilter {
public:
    const char* FilterName() override;
    const char* FilterAuthor() override;
    const char* FilterNotice() override;
    uint32_t FilterVersion() override;
    uint32_t FilterCapabilities() override;
    int OpenAboutBox(HWND parent) override = 0;
    int RenderFrame(HWND progressWindow) override = 0;

    int RunAboutDialog(HWND parent);

protected:
    ~FilterPluginBase();
};

// Final: entry 1 runs this class's destructor, which is not virtual. Its
// parameters and control interface fields are the dialog's DialogFields, so
// the control dialog edits them without knowing the filter.
class KernelFilter final : public FilterPluginBase, public DialogFields {
public:
    KernelFilter();
    ~KernelFilter();
    void* DeletingDestructor(unsigned int flags) override;

    int OpenAboutBox(HWND parent) override;
    int ShowControl(HWND parent) override;
    int RenderFrame(HWND progressWindow) override;
    uint32_t EvaluateConfigure() override;
    int LoadConfigure(void* buffer) override;
    int SaveConfigure(void* buffer) override;
    uint32_t ChannelsRequired() override;

    Bitmap* SourceBitmap() const { return frameMap; }
};

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
