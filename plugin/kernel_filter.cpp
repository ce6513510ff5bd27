#include "plugin/kernel_filter.h"

#include <cstring>

#include "dialog/control_dialog.h"
#include "host/interface.h"
#include "module/identity.h"
#include "module/library_path.h"
#include "module/module.h"
#include "render/render_frame.h"

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

KernelFilter::KernelFilter() {
    Interface* host = HostInterface();
    BuildLibraryPath(host ? host->DirectoryPath(kSettingsDirCode) : nullptr);
}

KernelFilter::~KernelFilter() = default;
void* KernelFilter::DeletingDestructor(unsigned int flags) { return DestroyInPlace(this, flags); }

int KernelFilter::OpenAboutBox(HWND parent) { return RunAboutDialog(parent); }
int KernelFilter::ShowControl(HWND parent) { return RunControlDialog(parent, this); }

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

int KernelFilter::RenderFrame(HWND progressWindow) {
    Bitmap* bitmap = SourceBitmap();
    if (!bitmap) return 0;
    // Read once: the render works on copies.
    const KernelParams p = params;
    int32_t block[kGridCells] = {};
    // A size outside 3..9 can only come from a loaded configuration; reading
    // a block for it would leave the grid, so the frame stays as it is.
    if (IsKernelSize(p.kernel.kernelSize)) ExtractKernel(p.kernel.weights, p.kernel.kernelSize, block);
    const KernelArgs kernel{block, p.kernel.kernelSize, p.kernel.divide, p.kernel.offset, p.kernel.invert};
    FrameSelection selection = FrameSelection::kNothing;
    int32_t id = 0;
    switch (p.source) {
    case kSourceWhole: selection = FrameSelection::kWhole; break;
    case kSourceMaterial:
        selection = FrameSelection::kMaterial;
        id = p.materialId;
        break;
    case kSourceObject:
        selection = FrameSelection::kObject;
        id = p.objectId;
        break;
    default: break;
    }
    // The convolution's scratch lines are allocated by the standard library;
    // running out of memory there must not unwind into a host built by
    // another compiler. It happens before any line is written back, so the
    // frame stays as the host gave it, as when its copies cannot be had.
    try {
        return RenderBitmap(bitmap, progressWindow, selection, id, kernel);
    } catch (...) {
        return 1;
    }
}
