#include "minihost/formats/tiff_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "minihost/files/paths.h"
#include "minihost/files/temp_file.h"
#include "minihost/formats/ascii_case.h"
#include "minihost/formats/frame_tags.h"

namespace {

// The first bytes of a file: how many were there; -1 when it cannot be opened.
int ReadHead(const std::string& path, unsigned char (&head)[4]) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) return -1;
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return int(got);
}

// As a PNG output may, a TIFF output replaces an empty file.
bool IsTiffOrEmpty(const std::string& path) {
    unsigned char head[4];
    const int got = ReadHead(path, head);
    return got == 0 || (got > 0 && HasTiffSignature(head, size_t(got)));
}

}  // namespace

bool IsTiffFile(const std::string& path) {
    unsigned char head[4];
    const int got = ReadHead(path, head);
    return got > 0 && HasTiffSignature(head, size_t(got));
}

const OutputKind kTiffOutput = {"a TIFF", IsTiffOrEmpty};

bool IsTiffName(const std::string& path) { return EndsWithNoCase(path, ".tif") || EndsWithNoCase(path, ".tiff"); }

bool ReadTiff(const std::string& path, FrameImage* image, TiffFormat* format, std::string* error, FrameSize frameSize) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) {
        *error = path + (IsFolder(path) ? ": a folder, not a TIFF file; give the file's name"
                                        : ": no such file, or it cannot be read");
        return false;
    }
    TiffLimits limits;
    limits.width = frameSize.width;
    limits.height = frameSize.height;
    limits.maxSamples = kMaxFrameSamples;
    TiffPixels pixels;
    std::string reason;
    const bool ok = DecodeTiff(file, &pixels, format, limits, &reason);
    std::fclose(file);
    if (!ok) {
        *error = path + ": " + reason;
        return false;
    }
    TiffTagsToPng(*format, &image->meta);
    image->width = pixels.width;
    image->height = pixels.height;
    image->bitDepth = pixels.bitDepth;
    image->channels = pixels.channels;
    image->samples = std::move(pixels.samples);
    return true;
}

bool ReadTiffSize(const std::string& path, uint32_t* width, uint32_t* height) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) return false;
    TiffPixels pixels;
    TiffFormat format;
    std::string reason;
    const bool ok = DecodeTiff(file, &pixels, &format, TiffLimits{}, &reason, true);
    std::fclose(file);
    *width = pixels.width;
    *height = pixels.height;
    return ok;
}

bool WriteTiff16(const std::string& path, uint32_t width, uint32_t height, const uint16_t* rgba,
                 const TiffFormat& format, std::string* error) {
    return WriteWhole(
        path, [&](std::FILE* file, std::string* reason) { return EncodeTiff16(file, width, height, rgba, format, reason); },
        error);
}
