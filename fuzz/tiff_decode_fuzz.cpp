// Arbitrary bytes as a TIFF frame: the reader must stay in bounds, answer
// within its limits, and any frame it takes must survive the writer and a
// second read sample for sample (8-bit samples come back widened by 257).
#include <cstdint>
#include <cstdio>
#include <string>

#include "minihost/formats/tiff_codec.h"

namespace {

// Small enough that every execution stays fast; the limit is the same code
// path as the real one.
TiffLimits FuzzLimits() {
    TiffLimits limits;
    limits.maxSide = 4096;
    limits.maxSamples = uint64_t{1} << 20;
    return limits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!in) return 0;
    TiffPixels pixels;
    TiffFormat format;
    std::string error;
    const bool ok = DecodeTiff(in, &pixels, &format, FuzzLimits(), &error);
    std::fclose(in);
    if (!ok) {
        if (error.empty()) __builtin_trap();  // every refusal says why
        return 0;
    }
    const size_t count = size_t(pixels.width) * pixels.height;
    if (pixels.samples.size() != count * pixels.channels) __builtin_trap();
    if (pixels.channels == 1) return 0;  // an ID image: never written

    std::vector<uint16_t> rgba(count * 4);
    const int scale = pixels.bitDepth == 8 ? 257 : 1;
    for (size_t i = 0; i < count; ++i)
        for (int c = 0; c < 4; ++c)
            rgba[4 * i + c] = c < pixels.channels ? uint16_t(pixels.samples[i * pixels.channels + c] * scale) : 65535;
    std::FILE* out = std::tmpfile();
    if (!out) return 0;
    if (!EncodeTiff16(out, pixels.width, pixels.height, rgba.data(), format, &error)) __builtin_trap();
    std::rewind(out);
    TiffPixels back;
    TiffFormat backFormat;
    if (!DecodeTiff(out, &back, &backFormat, FuzzLimits(), &error)) __builtin_trap();
    std::fclose(out);
    if (back.bitDepth != 16 || back.channels != pixels.channels || back.width != pixels.width ||
        back.height != pixels.height || backFormat.tiled != format.tiled || backFormat.icc != format.icc ||
        backFormat.text.size() != format.text.size())
        __builtin_trap();
    for (size_t i = 0; i < count; ++i)
        for (int c = 0; c < pixels.channels; ++c)
            if (back.samples[i * pixels.channels + c] != rgba[4 * i + c]) __builtin_trap();
    return 0;
}
