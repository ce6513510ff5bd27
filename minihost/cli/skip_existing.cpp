#include "minihost/cli/skip_existing.h"

#include <cstdint>
#include <string>

#include "minihost/files/paths.h"
#include "minihost/formats/png_io.h"
#include "minihost/formats/tiff_io.h"

namespace {

// Whether job's output decodes to its end at its input's size (the input's
// header read by the reader its first bytes choose), as the format its name
// says: a TIFF under a .png name is no whole output.
bool OutputIsWhole(const FrameJob& job) {
    // Missing or empty, it cannot be whole: the input is then not read at all.
    if (FileSize(job.out) == 0) return false;
    uint32_t width = 0, height = 0;
    const bool sized = IsTiffFile(job.in) ? ReadTiffSize(job.in, &width, &height) : ReadPngSize(job.in, &width, &height);
    if (!sized) return false;
    FrameImage image;
    TiffFormat format;
    std::string error;
    return IsTiffName(job.out) ? ReadTiff(job.out, &image, &format, &error, {width, height})
                               : ReadPng(job.out, &image, &error, {width, height});
}

}  // namespace

std::vector<FrameJob> WithoutWholeOutputs(const std::vector<FrameJob>& jobs, int* skipped) {
    std::vector<FrameJob> left;
    *skipped = 0;
    for (const FrameJob& job : jobs) {
        if (OutputIsWhole(job)) ++*skipped;
        else left.push_back(job);
    }
    return left;
}
