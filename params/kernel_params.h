#pragma once
#include <cstddef>
#include <cstdint>

#include "render/kernel_size.h"

// The filter's parameters, which are byte for byte the configuration the host
// stores in its scene files. The layout is a stored format: never reorder.
// The stamp that opens every saved configuration. The plug-in's class ID and
// version word start with it (module/identity.h), so the three can never drift.
constexpr uint32_t kParamsStamp = 0x33A25539u;

enum SourceId : int32_t {
    kSourceWhole = 1009,
    kSourceMaterial = 1010,
    kSourceObject = 1011,
};

constexpr int kGridSide = 9;
constexpr int kGridCells = kGridSide * kGridSide;
constexpr int kNameBytes = 256;

#pragma pack(push, 1)
// The part the filter library file stores: kernel size through Invert.
struct KernelRecord {
    int32_t kernelSize;
    int32_t weights[kGridCells];  // row by row, top row first: element 9 r + c
    int32_t divide;
    int32_t offset;
    int32_t invert;
};

struct KernelParams {
    uint32_t stamp;
    int32_t source;
    int32_t objectId;
    int32_t materialId;
    KernelRecord kernel;
    char name[kNameBytes];
};
#pragma pack(pop)

static_assert(sizeof(KernelRecord) == 340, "kernel record is 340 bytes");
static_assert(offsetof(KernelRecord, kernelSize) == 0, "layout");
static_assert(offsetof(KernelRecord, weights) == 4, "layout");
static_assert(offsetof(KernelRecord, divide) == 328, "layout");
static_assert(offsetof(KernelRecord, offset) == 332, "layout");
static_assert(offsetof(KernelRecord, invert) == 336, "layout");

static_assert(sizeof(KernelParams) == 612, "saved configuration is 612 bytes");
static_assert(offsetof(KernelParams, stamp) == 0, "layout");
static_assert(offsetof(KernelParams, source) == 4, "layout");
static_assert(offsetof(KernelParams, objectId) == 8, "layout");
static_assert(offsetof(KernelParams, materialId) == 12, "layout");
static_assert(offsetof(KernelParams, kernel) == 16, "layout");
static_assert(offsetof(KernelParams, kernel) + offsetof(KernelRecord, weights) == 20, "layout");
static_assert(offsetof(KernelParams, kernel) + offsetof(KernelRecord, divide) == 344, "layout");
static_assert(offsetof(KernelParams, kernel) + offsetof(KernelRecord, offset) == 348, "layout");
static_assert(offsetof(KernelParams, kernel) + offsetof(KernelRecord, invert) == 352, "layout");
static_assert(offsetof(KernelParams, name) == 356, "layout");

// A new filter's parameters.
KernelParams DefaultParams();

// First row and column of the centred k x k block in the 9 x 9 grid.
constexpr int BlockStart(int k) { return (kGridSide - k) / 2; }

// Copies the centred k x k block out of the grid, row by row. Defined for
// k = 3, 5, 7 and 9 only; dest has room for k x k values.
void ExtractKernel(const int32_t* weights, int k, int32_t* dest);

// The inverse: writes a k x k block, row by row, as the centred block of the
// grid, leaving the cells outside it as they are. Same k as ExtractKernel.
void PlaceKernel(const int32_t* block, int k, int32_t* weights);

// Length of a stored name. A loaded configuration may hold 256 name bytes
// without a terminating zero, so nothing may rely on finding one.
size_t NameLength(const char (&name)[kNameBytes]);  // at most 255

// The side of the smallest centred block holding every nonzero weight, but
// at least 3.
int KernelSizeFromWeights(const int32_t* weights);
