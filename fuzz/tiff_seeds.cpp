// Writes the TIFF reader's seed files with libtiff itself, so that no image
// of unknown origin is kept: every layout the reader takes (strips and
// tiles; none, LZW and Deflate; 8 and 16 bits; grey, RGB, RGBA with
// associated and unassociated alpha; both byte orders) and a few it refuses.
#include <tiffio.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Seed {
    const char* name;
    uint16_t samples, bits, compression, photometric, extra;
    bool tiled, bigEndian;
    uint16_t format = SAMPLEFORMAT_UINT;
};

bool Write(const std::string& path, const Seed& s) {
    TIFF* t = TIFFOpen(path.c_str(), s.bigEndian ? "wb" : "wl");
    if (!t) return false;
    const uint32_t w = 19, h = 17;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, s.format);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, s.compression);
    if (s.compression != COMPRESSION_NONE) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (s.extra) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &s.extra);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, "seed");
    const std::string icc(64, '\x11');
    TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.data());
    const size_t row = size_t(w) * s.samples * (s.bits / 8);
    std::vector<unsigned char> bytes(row * h);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (unsigned char)(i * 37 + i / row);
    bool ok = true;
    if (s.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<unsigned char> tile(size_t(TIFFTileSize(t)));
        for (uint32_t y = 0; y < h; y += 16)
            for (uint32_t x = 0; x < w; x += 16) {
                for (size_t i = 0; i < tile.size(); ++i) tile[i] = (unsigned char)(x + y + i);
                ok = ok && TIFFWriteTile(t, tile.data(), x, y, 0, 0) >= 0;
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 5);
        for (uint32_t y = 0; y < h; ++y) ok = ok && TIFFWriteScanline(t, &bytes[y * row], y, 0) == 1;
    }
    TIFFClose(t);
    return ok;
}

// A directory libtiff will not write: an InkNames tag of no characters,
// which libtiff's reader passes on as a null string of length 0.
bool WriteEmptyInkNames(const std::string& path) {
    struct Entry {
        uint16_t tag, type, count, value;
    };
    constexpr int kEntries = 10;
    constexpr uint16_t kSampleAt = 8 + 2 + 12 * kEntries + 4;  // past the header and the directory
    const Entry entries[kEntries] = {
        {256, 3, 1, 1}, {257, 3, 1, 1}, {258, 3, 1, 8}, {259, 3, 1, 1}, {262, 3, 1, 1},
        {273, 4, 1, kSampleAt}, {277, 3, 1, 1}, {278, 4, 1, 1}, {279, 4, 1, 1}, {333, 2, 0, 0},
    };
    std::vector<unsigned char> b = {'I', 'I', 42, 0, 8, 0, 0, 0, kEntries, 0};
    for (const Entry& e : entries) {
        const unsigned char bytes[12] = {(unsigned char)e.tag, (unsigned char)(e.tag >> 8), (unsigned char)e.type, 0,
                                         (unsigned char)e.count, 0, 0, 0,
                                         (unsigned char)e.value, (unsigned char)(e.value >> 8), 0, 0};
        b.insert(b.end(), bytes, bytes + 12);
    }
    b.insert(b.end(), {0, 0, 0, 0, 0x80});  // no next directory; the one sample
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tiff_seeds DIR\n");
        return 2;
    }
    const Seed seeds[] = {
        {"rgb8_strips_none", 3, 8, COMPRESSION_NONE, PHOTOMETRIC_RGB, 0, false, false},
        {"rgb16_strips_lzw_be", 3, 16, COMPRESSION_LZW, PHOTOMETRIC_RGB, 0, false, true},
        {"rgba16_tiles_deflate", 4, 16, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, EXTRASAMPLE_ASSOCALPHA, true, false},
        {"rgba8_tiles_lzw_be", 4, 8, COMPRESSION_LZW, PHOTOMETRIC_RGB, EXTRASAMPLE_UNASSALPHA, true, true},
        {"grey16_strips_deflate", 1, 16, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK, 0, false, false},
        {"grey8_tiles_none", 1, 8, COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK, 0, true, false},
        {"float32_refused", 3, 32, COMPRESSION_NONE, PHOTOMETRIC_RGB, 0, false, false, SAMPLEFORMAT_IEEEFP},
        {"cmyk8_refused", 4, 8, COMPRESSION_NONE, PHOTOMETRIC_SEPARATED, 0, false, false},
    };
    int failed = 0;
    for (const Seed& s : seeds)
        if (!Write(std::string(argv[1]) + "/" + s.name + ".tif", s)) ++failed;
    if (!WriteEmptyInkNames(std::string(argv[1]) + "/ink_names_empty.tif")) ++failed;
    return failed ? 1 : 0;
}
