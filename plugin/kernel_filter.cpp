#include "plugin/kernel_filter.h"

#include <cstring>

#include "host/interface.h"
#include "plugin/identity.h"
#include "plugin/library_path.h"
#include "plugin/module.h"

FilterPluginBase::~FilterPluginBase() = default;
const char* FilterPluginBase::FilterName() { return kDisplayName; }
const char* FilterPluginBase::FilterAuthor() { return kAuthor; }
const char* FilterPluginBase::FilterNotice() { return kNotice; }
uint32_t FilterPluginBase::FilterVersion() { return kFilterVersion; }
uint32_t FilterPluginBase::FilterCapabilities() { return kCapabilities; }

int FilterPluginBase::RunAboutDialog(HWND parent) {
    return static_cast<int>(DialogBoxParamA(ModuleHandle(), MAKEINTRESOURCEA(static_cast<WORD>(kAboutTemplate)),
                                            parent, AboutBoxProc, reinterpret_cast<LPARAM>(this)));
}

KernelFilter::KernelFilter()
    : params(DefaultParams()), weightEdits{}, divideEdit(nullptr), offsetEdit(nullptr),
      divideSpinner(nullptr), offsetSpinner(nullptr) {
    Interface* host = HostInterface();
    BuildLibraryPath(host ? host->DirectoryPath(kSettingsDirCode) : nullptr);
}

KernelFilter::~KernelFilter() = default;
void* KernelFilter::DeletingDestructor(unsigned int flags) { return DestroyInPlace(this, flags); }

int KernelFilter::OpenAboutBox(HWND parent) { return RunAboutDialog(parent); }
int KernelFilter::ShowControl(HWND parent) { return RunControlDialog(parent); }

uint32_t KernelFilter::EvaluateConfigure() { return sizeof(KernelParams); }

int KernelFilter::LoadConfigure(void* buffer) {
    if (!buffer) return 0;
    uint32_t stamp;
    std::memcpy(&stamp, buffer, sizeof stamp);
    if (stamp != params.stamp) return 0;
    std::memcpy(&params, buffer, sizeof params);
    return 1;
}

int KernelFilter::SaveConfigure(void* buffer) {
    if (!buffer) return 0;
    std::memcpy(buffer, &params, sizeof params);
    return 1;
}

uint32_t KernelFilter::ChannelsRequired() {
    if (params.source == kSourceMaterial) return 2;
    if (params.source == kSourceObject) return 4;
    return 0;
}
