#include "render/render_frame.h"

#include <climits>

#include "render/kernel_size.h"
#include "render/work_image.h"

namespace {
// -1 is the convolution's "every pixel". As a stored channel ID (possible
// only in a loaded configuration) it names no pixel, since channel entries
// are never negative, so it must not turn into "filter everything".
int32_t ChannelMatchId(int32_t id) { return id == -1 ? INT32_MIN : id; }
}  // namespace

int RenderBitmap(Bitmap* bitmap, HWND progressWindow, FrameSelection selection, int32_t id,
                 const KernelArgs& kernel) {
    if (!bitmap) return 0;
    WorkImage image(progressWindow, bitmap);
    // Without its working lines the frame is left exactly as the host gave it.
    if (!image.Valid()) return 1;

    bool run = kernel.block && IsKernelSize(kernel.k);
    int32_t matchId = -1;
    switch (selection) {
    case FrameSelection::kWhole: break;
    case FrameSelection::kMaterial:
        run = run && image.RequestChannel(kMaterialChannel);
        matchId = ChannelMatchId(id);
        break;
    case FrameSelection::kObject:
        run = run && image.RequestChannel(kObjectChannel);
        matchId = ChannelMatchId(id);
        break;
    case FrameSelection::kNothing: run = false; break;
    }
    if (run) image.Convolve(matchId, kernel);
    image.WriteBack();
    return 1;
}
