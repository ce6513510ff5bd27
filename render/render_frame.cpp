#include "plugin/kernel_filter.h"
#include "render/work_image.h"

namespace {
// -1 is the convolution's "every pixel". As a stored channel ID (possible
// only in a loaded configuration) it names no pixel, since channel entries
// are never negative, so it must not turn into "filter everything".
int32_t ChannelMatchId(int32_t id) { return id == -1 ? INT32_MIN : id; }
}  // namespace

int KernelFilter::RenderFrame(HWND progressWindow) {
    Bitmap* bitmap = SourceBitmap();
    if (!bitmap) return 0;
    // The convolution's scratch lines are allocated by the standard library;
    // running out of memory there must not unwind into a host built by
    // another compiler. It happens before any line is written back, so the
    // frame stays as the host gave it, as when its copies cannot be had.
    try {
        return Filter(progressWindow, bitmap);
    } catch (...) {
        return 1;
    }
}

int KernelFilter::Filter(HWND progressWindow, Bitmap* bitmap) {

    // Read once: the convolution works on copies.
    const KernelParams p = params;
    WorkImage image(progressWindow, bitmap);
    // Without its two copies the frame is left exactly as the host gave it.
    if (!image.Valid()) return 1;

    int32_t kernel[kGridCells];
    // A size outside 3..9 can only come from a loaded configuration; reading
    // a block for it would leave the grid, so the frame stays as it is.
    bool run = IsKernelSize(p.kernel.kernelSize);
    if (run) ExtractKernel(p.kernel.weights, p.kernel.kernelSize, kernel);

    int32_t matchId = -1;
    switch (p.source) {
    case kSourceWhole: break;
    case kSourceMaterial:
        run = run && image.RequestChannel(kMaterialChannel);
        matchId = ChannelMatchId(p.materialId);
        break;
    case kSourceObject:
        run = run && image.RequestChannel(kObjectChannel);
        matchId = ChannelMatchId(p.objectId);
        break;
    default: run = false; break;
    }
    if (run) image.Convolve(matchId, kernel, p.kernel.kernelSize, p.kernel.divide, p.kernel.offset, p.kernel.invert);
    image.WriteBack();
    return 1;
}
