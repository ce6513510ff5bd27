#include "minihost/formats/tiff_codec.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>

namespace {

#ifdef _WIN32
int64_t Tell(std::FILE* f) { return _ftelli64(f); }
int SeekTo(std::FILE* f, int64_t at, int whence) { return _fseeki64(f, at, whence); }
#else
int64_t Tell(std::FILE* f) { return ftello(f); }
int SeekTo(std::FILE* f, int64_t at, int whence) { return fseeko(f, at, whence); }
#endif

// libtiff's handle on one stream, and the first thing it said was wrong:
// each handle has its own, as frames are read and written on two threads.
struct Stream {
    std::FILE* file;
    char error[200] = "";
    int writeErrno = 0;
};

tmsize_t ReadProc(thandle_t h, void* data, tmsize_t size) {
    return tmsize_t(std::fread(data, 1, size_t(size), static_cast<Stream*>(h)->file));
}

tmsize_t WriteProc(thandle_t h, void* data, tmsize_t size) {
    Stream* s = static_cast<Stream*>(h);
    errno = 0;
    const size_t written = std::fwrite(data, 1, size_t(size), s->file);
    if (written != size_t(size) && !s->writeErrno) s->writeErrno = errno ? errno : EIO;
    return tmsize_t(written);
}

toff_t SeekProc(thandle_t h, toff_t at, int whence) {
    std::FILE* f = static_cast<Stream*>(h)->file;
    if (at > toff_t(INT64_MAX) || SeekTo(f, int64_t(at), whence) != 0) return toff_t(-1);
    return toff_t(Tell(f));
}

int CloseProc(thandle_t) { return 0; }  // the stream is its opener's to close

toff_t SizeProc(thandle_t h) {
    std::FILE* f = static_cast<Stream*>(h)->file;
    const int64_t at = Tell(f);
    if (at < 0 || SeekTo(f, 0, SEEK_END) != 0) return 0;
    const int64_t size = Tell(f);
    SeekTo(f, at, SEEK_SET);
    return size < 0 ? 0 : toff_t(size);
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    Stream* s = static_cast<Stream*>(user);
    if (!s->error[0]) {
        char said[160];
        std::vsnprintf(said, sizeof said, format, args);
        std::snprintf(s->error, sizeof s->error, "%s: %s", module ? module : "libtiff", said);
    }
    return 1;  // handled: libtiff prints nothing of its own
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// The largest buffer libtiff may take for one strip or tile: a frame's worth
// of 16-bit samples. A header that asks for more is refused, not trusted.
constexpr tmsize_t kMaxAlloc = tmsize_t(1) << 29;

struct Closer {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, Closer>;

TiffHandle Open(Stream* s, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, s);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, s);
    TIFF* tif = TIFFClientOpenExt("frame", mode, s, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                                  UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return TiffHandle(tif);
}

bool Damaged(const Stream& s, std::string* error) {
    *error = std::string("the file is damaged (libtiff: ") + (s.error[0] ? s.error : "no reason given") + ")";
    return false;
}

template <class T>
T Field(TIFF* tif, uint32_t tag, T otherwise) {
    T value = otherwise;
    return TIFFGetFieldDefaulted(tif, tag, &value) == 1 ? value : otherwise;
}

const char* CompressionName(uint16_t c) {
    switch (c) {
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4: return "CCITT fax";
        case COMPRESSION_OJPEG:
        case COMPRESSION_JPEG: return "JPEG";
        case COMPRESSION_PACKBITS: return "PackBits";
        case COMPRESSION_LZMA: return "LZMA";
        case COMPRESSION_ZSTD: return "Zstandard";
        case COMPRESSION_WEBP: return "WebP";
        case COMPRESSION_LERC: return "LERC";
        case COMPRESSION_PIXARLOG: return "PixarLog";
        case COMPRESSION_SGILOG:
        case COMPRESSION_SGILOG24: return "LogLuv";
        default: return nullptr;
    }
}

// What a TIFF is, in words, when minihost does not take it; empty when it does.
std::string Refusal(uint16_t photometric, uint16_t samples, uint16_t bits, uint16_t format,
                    uint16_t planar, uint16_t compression) {
    if (format == SAMPLEFORMAT_IEEEFP) return "a floating-point (" + std::to_string(bits) + "-bit) TIFF";
    if (format == SAMPLEFORMAT_INT) return "a signed-integer TIFF";
    if (format != SAMPLEFORMAT_UINT) return "a TIFF of sample format " + std::to_string(format);
    switch (photometric) {
        case PHOTOMETRIC_PALETTE: return "a palette (indexed-colour) TIFF";
        case PHOTOMETRIC_SEPARATED: return "a CMYK (separated) TIFF";
        case PHOTOMETRIC_YCBCR: return "a YCbCr TIFF";
        case PHOTOMETRIC_MINISWHITE: return "a white-is-zero grey TIFF";
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
        case PHOTOMETRIC_ITULAB: return "a L*a*b* TIFF";
        case PHOTOMETRIC_MASK: return "a transparency-mask TIFF";
        case PHOTOMETRIC_LOGL:
        case PHOTOMETRIC_LOGLUV: return "a LogLuv TIFF";
        case PHOTOMETRIC_RGB:
            // A fourth sample with no ExtraSamples entry is taken as alpha,
            // as viewers take it.
            if (samples != 3 && samples != 4)
                return "an RGB TIFF of " + std::to_string(samples) + " samples a pixel";
            break;
        case PHOTOMETRIC_MINISBLACK:
            if (samples == 2) return "a grey-and-alpha TIFF";
            if (samples != 1) return "a grey TIFF of " + std::to_string(samples) + " samples a pixel";
            break;
        default: return "a TIFF of photometric interpretation " + std::to_string(photometric);
    }
    if (bits != 8 && bits != 16) return "a TIFF of " + std::to_string(bits) + "-bit samples";
    if (planar != PLANARCONFIG_CONTIG && samples > 1) return "a TIFF with its colour planes apart (planar)";
    if (compression != COMPRESSION_NONE && compression != COMPRESSION_LZW &&
        compression != COMPRESSION_ADOBE_DEFLATE && compression != COMPRESSION_DEFLATE) {
        const char* name = CompressionName(compression);
        return std::string("a TIFF compressed with ") +
               (name ? name : "compression " + std::to_string(compression)).c_str();
    }
    return "";
}

const uint32_t kTextTags[] = {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,
                              TIFFTAG_MODEL,        TIFFTAG_PAGENAME,         TIFFTAG_SOFTWARE,
                              TIFFTAG_DATETIME,     TIFFTAG_ARTIST,           TIFFTAG_HOSTCOMPUTER,
                              TIFFTAG_COPYRIGHT};

void ReadFormat(TIFF* tif, TiffFormat* format) {
    float x = 0, y = 0;
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) == 1 && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) == 1) {
        format->hasResolution = true;
        format->xResolution = x, format->yResolution = y;
        format->resolutionUnit = Field<uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &icc) == 1 && icc)
        format->icc.assign(static_cast<const char*>(icc), iccSize);
    for (uint32_t tag : kTextTags) {
        char* text = nullptr;
        if (TIFFGetField(tif, tag, &text) == 1 && text) format->text.push_back({tag, text});
    }
}

// One row (or a tile's row) of samples as held: 8-bit bytes, or 16-bit
// samples libtiff has already put in this machine's byte order.
void Widen(const unsigned char* from, size_t count, int bits, uint16_t* to) {
    if (bits == 8) {
        for (size_t i = 0; i < count; ++i) to[i] = from[i];
    } else {
        std::memcpy(to, from, count * sizeof(uint16_t));
    }
}

// The part of each tile inside the image, in file order: tiles overhang the
// image's right and bottom edges, and only what is inside is read or written.
struct TileSpan {
    uint32_t x, y, width, height;
};

template <class Each>
bool ForEachTile(uint32_t width, uint32_t height, const TiffFormat& f, Each each) {
    for (uint32_t ty = 0; ty < height; ty += f.tileLength)
        for (uint32_t tx = 0; tx < width; tx += f.tileWidth)
            if (!each(TileSpan{tx, ty, std::min(f.tileWidth, width - tx), std::min(f.tileLength, height - ty)}))
                return false;
    return true;
}

// What a TIFF's samples are, refused in words when minihost does not take it.
std::string KindRefusal(TIFF* t, uint16_t samples, uint16_t bits) {
    uint16_t photometric = 0;
    if (TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
        return "a TIFF that does not say how its samples are colours (no PhotometricInterpretation)";
    const std::string refused =
        Refusal(photometric, samples, bits, Field<uint16_t>(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT),
                Field<uint16_t>(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG),
                Field<uint16_t>(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE));
    return refused.empty() ? "" : refused + "; frames must be 8- or 16-bit RGB or RGBA and ID images grey: save it as one";
}

std::string SizeRefusal(uint32_t width, uint32_t height, uint16_t samples, const TiffLimits& limits) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0) return "a TIFF of " + size + " pixels: no image";
    if (width > limits.maxSide || height > limits.maxSide)
        return size + " pixels: the host's frames are at most " + std::to_string(limits.maxSide) + " pixels a side";
    if ((limits.width && width != limits.width) || (limits.height && height != limits.height))
        return std::to_string(width) + "x" + std::to_string(height) + " does not match the frame's " +
               std::to_string(limits.width) + "x" + std::to_string(limits.height);
    if (uint64_t{width} * height * samples > limits.maxSamples)
        return size + " x " + std::to_string(samples) + " samples: too large (at most " +
               std::to_string(limits.maxSamples) + ")";
    return "";
}

// Strips or tiles, and the alpha's meaning; tiles are refused unless libtiff
// could write them back (multiples of 16) and a frame's size would hold one.
std::string ReadLayout(TIFF* t, uint32_t height, uint16_t samples, uint16_t bits, TiffFormat* f) {
    f->read = true;
    f->channels = samples;
    f->tiled = TIFFIsTiled(t) != 0;
    if (f->tiled) {
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &f->tileWidth);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &f->tileLength);
        if (f->tileWidth == 0 || f->tileLength == 0 || f->tileWidth % 16 || f->tileLength % 16 ||
            uint64_t{f->tileWidth} * f->tileLength * samples * (bits / 8) > uint64_t(kMaxAlloc))
            return "tiles of " + std::to_string(f->tileWidth) + " x " + std::to_string(f->tileLength) +
                   " pixels: a TIFF's tiles are multiples of 16 a side, and of a frame's size at most";
    } else {
        f->rowsPerStrip = Field<uint32_t>(t, TIFFTAG_ROWSPERSTRIP, height);
        if (f->rowsPerStrip == 0 || f->rowsPerStrip > height) f->rowsPerStrip = height;
    }
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    if (samples == 4) f->alpha = extraCount >= 1 && extra ? extra[0] : EXTRASAMPLE_UNSPECIFIED;
    ReadFormat(t, f);
    return "";
}

// One TIFF read: opened, its header checked, then its samples read.
class TiffReader {
public:
    explicit TiffReader(std::FILE* file) : s_{file}, tif_(Open(&s_, "rm")) {}  // "m": every byte through ReadProc

    bool Check(const TiffLimits& limits, TiffPixels* pixels, TiffFormat* format, std::string* error) {
        TIFF* t = tif_.get();
        uint32_t width = 0, height = 0;
        if (!t || TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) != 1)
            return Damaged(s_, error);
        const uint16_t samples = Field<uint16_t>(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        const uint16_t bits = Field<uint16_t>(t, TIFFTAG_BITSPERSAMPLE, 1);
        TiffFormat f;
        std::string refused = KindRefusal(t, samples, bits);
        if (refused.empty()) refused = SizeRefusal(width, height, samples, limits);
        if (refused.empty()) refused = ReadLayout(t, height, samples, bits, &f);
        if (!refused.empty()) {
            *error = refused;
            return false;
        }
        *pixels = TiffPixels{width, height, bits, samples, {}};
        *format = f;
        return true;
    }

    bool Read(const TiffFormat& f, TiffPixels* pixels, std::string* error) {
        pixels->samples.assign(size_t(pixels->width) * pixels->channels * pixels->height, 0);
        const bool read = f.tiled ? ReadTiles(f, pixels) : ReadStrips(pixels);
        return read || Damaged(s_, error);
    }

private:
    bool ReadStrips(TiffPixels* p) {
        const size_t rowSamples = size_t(p->width) * p->channels;
        const tmsize_t lineBytes = TIFFScanlineSize(tif_.get());
        if (lineBytes <= 0 || size_t(lineBytes) != rowSamples * (p->bitDepth / 8)) return false;
        std::vector<unsigned char> line(static_cast<size_t>(lineBytes));
        for (uint32_t y = 0; y < p->height; ++y) {
            if (TIFFReadScanline(tif_.get(), line.data(), y, 0) != 1) return false;
            Widen(line.data(), rowSamples, p->bitDepth, p->samples.data() + y * rowSamples);
        }
        return true;
    }

    bool ReadTiles(const TiffFormat& f, TiffPixels* p) {
        const size_t rowSamples = size_t(p->width) * p->channels, tileRow = size_t(f.tileWidth) * p->channels;
        const size_t bytes = size_t(p->bitDepth / 8);
        const tmsize_t tileBytes = TIFFTileSize(tif_.get());
        if (tileBytes <= 0 || size_t(tileBytes) != tileRow * f.tileLength * bytes) return false;
        std::vector<unsigned char> tile(static_cast<size_t>(tileBytes));
        return ForEachTile(p->width, p->height, f, [&](const TileSpan& span) {
            if (TIFFReadTile(tif_.get(), tile.data(), span.x, span.y, 0, 0) < 0) return false;
            for (uint32_t y = 0; y < span.height; ++y)
                Widen(tile.data() + y * tileRow * bytes, size_t(span.width) * p->channels, p->bitDepth,
                      p->samples.data() + (span.y + y) * rowSamples + size_t(span.x) * p->channels);
            return true;
        });
    }

    Stream s_;
    TiffHandle tif_;
};

// One TIFF written: opened, its tags set, its samples written, flushed.
class TiffWriter {
public:
    explicit TiffWriter(std::FILE* file) : s_{file}, tif_(Open(&s_, "w")) {}

    // False with the reason, or errno as the failed write left it.
    bool Failed(std::string* error) const {
        if (s_.writeErrno) errno = s_.writeErrno;
        *error = s_.writeErrno ? "" : std::string("libtiff: ") + (s_.error[0] ? s_.error : "the write failed");
        return false;
    }

    bool Write(uint32_t width, uint32_t height, const uint16_t* rgba, const TiffFormat& format) {
        if (!tif_) return false;
        const int channels = format.channels == 3 ? 3 : 4;
        SetTags(width, height, channels, format);
        const auto copy = [&](uint32_t y, uint32_t x0, uint32_t count, uint16_t* to) {
            const uint16_t* from = rgba + (size_t(y) * width + x0) * 4;
            if (channels == 4) std::memcpy(to, from, size_t(count) * 4 * sizeof(uint16_t));
            else for (uint32_t x = 0; x < count; ++x, from += 4, to += 3) to[0] = from[0], to[1] = from[1], to[2] = from[2];
        };
        const bool written = format.tiled ? WriteTiles(width, height, channels, format, copy)
                                          : WriteStrips(width, height, channels, format, copy);
        return written && TIFFWriteDirectory(tif_.get()) && TIFFFlush(tif_.get()) && !s_.writeErrno;
    }

private:
    void SetTags(uint32_t width, uint32_t height, int channels, const TiffFormat& format) {
        TIFF* t = tif_.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        // The level the PNG writer takes, for the same reason (bench/NOTES.md):
        // rendered frames gain little from more.
        TIFFSetField(t, TIFFTAG_ZIPQUALITY, 2);
        if (channels == 4) {
            const uint16_t alpha = format.alpha;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &alpha);
        }
        if (format.hasResolution) {
            TIFFSetField(t, TIFFTAG_XRESOLUTION, format.xResolution);
            TIFFSetField(t, TIFFTAG_YRESOLUTION, format.yResolution);
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, format.resolutionUnit);
        }
        if (!format.icc.empty()) TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(format.icc.size()), format.icc.data());
        for (const TiffText& text : format.text) TIFFSetField(t, text.tag, text.text.c_str());
    }

    template <class Copy>
    bool WriteTiles(uint32_t width, uint32_t height, int channels, const TiffFormat& format, const Copy& copy) {
        TIFFSetField(tif_.get(), TIFFTAG_TILEWIDTH, format.tileWidth);
        TIFFSetField(tif_.get(), TIFFTAG_TILELENGTH, format.tileLength);
        const size_t tileRow = size_t(format.tileWidth) * channels;
        std::vector<uint16_t> tile(tileRow * format.tileLength);
        return ForEachTile(width, height, format, [&](const TileSpan& span) {
            std::fill(tile.begin(), tile.end(), 0);
            for (uint32_t y = 0; y < span.height; ++y) copy(span.y + y, span.x, span.width, tile.data() + y * tileRow);
            return TIFFWriteTile(tif_.get(), tile.data(), span.x, span.y, 0, 0) >= 0;
        });
    }

    // A row at a time: a frame in one strip needs no second copy of it.
    template <class Copy>
    bool WriteStrips(uint32_t width, uint32_t height, int channels, const TiffFormat& format, const Copy& copy) {
        TIFFSetField(tif_.get(), TIFFTAG_ROWSPERSTRIP,
                     format.rowsPerStrip ? format.rowsPerStrip : TIFFDefaultStripSize(tif_.get(), 0));
        std::vector<uint16_t> row(size_t(width) * channels);
        for (uint32_t y = 0; y < height; ++y) {
            copy(y, 0, width, row.data());
            if (TIFFWriteScanline(tif_.get(), row.data(), y, 0) != 1) return false;
        }
        return true;
    }

    Stream s_;
    TiffHandle tif_;
};

}  // namespace

bool HasTiffSignature(const unsigned char* b, size_t size) {
    if (size < 4) return false;
    return (b[0] == 'I' && b[1] == 'I' && (b[2] == 42 || b[2] == 43) && b[3] == 0) ||
           (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && (b[3] == 42 || b[3] == 43));
}

bool DecodeTiff(std::FILE* file, TiffPixels* pixels, TiffFormat* format, const TiffLimits& limits,
                std::string* error, bool header) {
    TiffReader reader(file);
    if (!reader.Check(limits, pixels, format, error)) return false;
    return header || reader.Read(*format, pixels, error);
}

bool EncodeTiff16(std::FILE* file, uint32_t width, uint32_t height, const uint16_t* rgba, const TiffFormat& format,
                  std::string* error) {
    TiffWriter writer(file);
    return writer.Write(width, height, rgba, format) || writer.Failed(error);
}
