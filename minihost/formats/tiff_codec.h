#pragma once
// TIFF frames through libtiff, on an open stdio stream: no Win32, so that a
// fuzzer holds the reader natively. tiff_io.h opens the files.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A text tag as the file holds it (ImageDescription, Software, ...).
struct TiffText {
    uint32_t tag;
    std::string text;
};

// What a TIFF frame carries beside its samples, which a TIFF output keeps:
// how it is laid out and what it says of itself.
struct TiffFormat {
    bool read = false;  // false: the frame was not a TIFF, and these are the defaults
    int channels = 4;   // 3 RGB, 4 RGBA
    bool tiled = false;
    uint32_t tileWidth = 0, tileLength = 0;
    uint32_t rowsPerStrip = 0;  // 0: libtiff's default
    // The fourth sample's meaning as written (associated, unassociated or
    // unspecified alpha): the samples are kept as they are, so is this.
    uint16_t alpha = 2;  // EXTRASAMPLE_UNASSALPHA, as a PNG's alpha is
    bool hasResolution = false;
    float xResolution = 0, yResolution = 0;
    uint16_t resolutionUnit = 2;  // RESUNIT_INCH
    std::string icc;              // the ICC profile, empty when none
    std::vector<TiffText> text;
};

// Decoded samples, as a PNG's are held: 8-bit samples stay 0..255.
struct TiffPixels {
    uint32_t width = 0, height = 0;
    int bitDepth = 0;  // 8 or 16
    int channels = 0;  // 1 grey, 3 RGB, 4 RGBA
    std::vector<uint16_t> samples;
};

struct TiffLimits {
    uint32_t width = 0, height = 0;  // the frame size an ID image must have; 0 takes any
    uint32_t maxSide = 65535;
    uint64_t maxSamples = uint64_t{1} << 28;
};

// Whether bytes (at least 4) begin as a TIFF or BigTIFF file does.
bool HasTiffSignature(const unsigned char* bytes, size_t size);

// Reads the first image of a TIFF: grey, RGB or RGBA, 8 or 16 bits, in
// strips or tiles, uncompressed, LZW or Deflate. Anything else is refused by
// name (a floating-point TIFF, a palette, CMYK, JPEG compression, ...). The
// size is checked against limits before any sample is decoded. header:
// stop once the size and layout are known. False with a one-line reason
// that does not name the file.
bool DecodeTiff(std::FILE* file, TiffPixels* pixels, TiffFormat* format, const TiffLimits& limits,
                std::string* error, bool header = false);

// Writes 16-bit RGBA samples (width x height x 4) as a 16-bit TIFF of
// format's channels (an RGB one drops the alpha), Deflate-compressed, laid
// out as format says, with its resolution, ICC profile and text. False with
// a reason; errno as the failed write left it.
bool EncodeTiff16(std::FILE* file, uint32_t width, uint32_t height, const uint16_t* rgba, const TiffFormat& format,
                  std::string* error);
