#include "params/kernel_params.h"

#include <cstring>

KernelParams DefaultParams() {
    KernelParams p;
    std::memset(&p, 0, sizeof p);
    p.stamp = kParamsStamp;
    p.source = kSourceWhole;
    p.kernel.kernelSize = 3;
    p.kernel.divide = 1;
    return p;
}

void ExtractKernel(const int32_t* weights, int k, int32_t* dest) {
    const int s = BlockStart(k);
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j)
            dest[k * i + j] = weights[kGridSide * (s + i) + (s + j)];
}

void PlaceKernel(const int32_t* block, int k, int32_t* weights) {
    const int s = BlockStart(k);
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) weights[kGridSide * (s + i) + (s + j)] = block[k * i + j];
}

size_t NameLength(const char (&name)[kNameBytes]) {
    // A name is at most 255 characters; the 256th byte is where its zero belongs.
    const void* zero = std::memchr(name, 0, kNameBytes - 1);
    return zero ? static_cast<size_t>(static_cast<const char*>(zero) - name) : kNameBytes - 1;
}

int KernelSizeFromWeights(const int32_t* weights) {
    int size = 3;
    for (int r = 0; r < kGridSide; ++r)
        for (int c = 0; c < kGridSide; ++c) {
            if (weights[kGridSide * r + c] == 0) continue;
            const int dr = r > 4 ? r - 4 : 4 - r, dc = c > 4 ? c - 4 : 4 - c;
            const int ring = 2 * (dr > dc ? dr : dc) + 1;
            if (ring > size) size = ring;
        }
    return size;
}
