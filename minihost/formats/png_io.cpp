#include "minihost/formats/png_io.h"

#include <windows.h>

#include <png.h>

#include <csetjmp>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "minihost/files/paths.h"
#include "minihost/formats/ascii_case.h"
#include "minihost/formats/png_metadata.h"
#include "minihost/files/temp_file.h"

namespace {

struct ErrorText {
    char text[200];
};

// libpng's own words name chunks and codes, so they come after a plain one.
void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    if (error) std::snprintf(error->text, sizeof error->text, "the file is damaged (libpng: %s)", message);
    png_longjmp(png, 1);
}

void Fail(png_structp png, const char* message) {
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    if (error) std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// libpng's own reader says only "Read Error" when the file ends early.
void ReadBytes(png_structp png, png_bytep data, size_t length) {
    FILE* file = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) == length) return;
    Fail(png, std::ferror(file) ? "the file could not be read" : "the file is cut short: it ends inside the image");
}

// A failed write says why in the reason's words: a full disk is not a damaged file.
void WriteBytes(png_structp png, png_bytep data, size_t length) {
    FILE* file = static_cast<FILE*>(png_get_io_ptr(png));
    errno = 0;
    if (std::fwrite(data, 1, length, file) == length) return;
    const int failure = errno;
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    {
        const std::string reason = WriteFailureReason(failure);  // gone before the jump
        if (error) std::snprintf(error->text, sizeof error->text, "%s", reason.c_str());
    }
    png_longjmp(png, 1);
}

void FlushBytes(png_structp) {}

// Frames beyond this are refused before any allocation.
constexpr uint32_t kMaxSide = 65535;

int ChannelsOrRefuse(png_structp png, png_infop info, ErrorText* error);
void RefuseSize(png_structp png, png_uint_32 width, png_uint_32 height, int channels, FrameSize frameSize,
                ErrorText* error);
void TakeRows(png_bytep* rows, png_uint_32 width, png_uint_32 height, int channels, int depth, FrameImage* image);

// The libpng calls live in plain functions without C++ objects, because an
// error leaves them through longjmp.
bool DecodeRows(FILE* file, FrameImage* image, FrameSize frameSize, ErrorText* error) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_bytep* volatile rows = nullptr;
    volatile png_uint_32 rowCount = 0;
    if (!info || setjmp(png_jmpbuf(png))) {
        if (rows) {
            for (png_uint_32 i = 0; i < rowCount; ++i) std::free(rows[i]);
            std::free(rows);
        }
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, file, ReadBytes);
    TakeColourChunksRaw(png);
    // libpng's own limit would call a larger frame invalid: it is checked
    // below, in words.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int channels = ChannelsOrRefuse(png, info, error);
    RefuseSize(png, width, height, channels, frameSize, error);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB && channels == 4) png_set_tRNS_to_alpha(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    rows = static_cast<png_bytep*>(std::calloc(height ? height : 1, sizeof(png_bytep)));
    if (!rows) Fail(png, "not enough memory to decode it");
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = static_cast<png_bytep>(std::malloc(rowBytes));
        if (!rows[y]) Fail(png, "not enough memory to decode it");
        rowCount = y + 1;
    }
    png_read_image(png, rows);
    png_read_end(png, info);  // text and eXIf may follow the pixels

    image->width = width;
    image->height = height;
    image->bitDepth = depth;
    image->channels = channels;
    ReadMetadata(png, info, depth, &image->meta);
    TakeRows(rows, width, height, channels, depth, image);
    rows = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// What DecodeRows leaves by longjmp for: the sample layout and the size, in words.
int ChannelsOrRefuse(png_structp png, png_infop info, ErrorText* error) {
    const int depth = png_get_bit_depth(png, info);
    const int colour = png_get_color_type(png, info);
    int channels = 0;
    if (colour == PNG_COLOR_TYPE_GRAY) channels = 1;
    else if (colour == PNG_COLOR_TYPE_RGB) channels = png_get_valid(png, info, PNG_INFO_tRNS) ? 4 : 3;
    else if (colour == PNG_COLOR_TYPE_RGB_ALPHA) channels = 4;
    if (channels != 0 && (depth == 8 || depth == 16)) return channels;
    const char* kind = colour == PNG_COLOR_TYPE_PALETTE      ? "a palette (indexed-colour) PNG"
                       : colour == PNG_COLOR_TYPE_GRAY_ALPHA ? "a grey-and-alpha PNG"
                                                             : "a PNG of fewer than 8 bits a sample";
    std::snprintf(error->text, sizeof error->text,
                  "%s (%d-bit); frames must be 8- or 16-bit RGB or RGBA and ID images grey: save it as one", kind,
                  depth);
    png_longjmp(png, 1);
}

void RefuseSize(png_structp png, png_uint_32 width, png_uint_32 height, int channels, FrameSize frameSize,
                ErrorText* error) {
    if (width > kMaxSide || height > kMaxSide) {
        std::snprintf(error->text, sizeof error->text,
                      "%lu x %lu pixels: the host's frames are at most %lu pixels a side",
                      static_cast<unsigned long>(width), static_cast<unsigned long>(height),
                      static_cast<unsigned long>(kMaxSide));
        png_longjmp(png, 1);
    }
    if ((frameSize.width && width != frameSize.width) || (frameSize.height && height != frameSize.height)) {
        std::snprintf(error->text, sizeof error->text, "%lux%lu does not match the frame's %lux%lu",
                      static_cast<unsigned long>(width), static_cast<unsigned long>(height),
                      static_cast<unsigned long>(frameSize.width), static_cast<unsigned long>(frameSize.height));
        png_longjmp(png, 1);
    }
    if (uint64_t{width} * height * channels > kMaxFrameSamples) {
        std::snprintf(error->text, sizeof error->text, "%lu x %lu x %d samples: too large (at most %llu)",
                      static_cast<unsigned long>(width), static_cast<unsigned long>(height), channels,
                      static_cast<unsigned long long>(kMaxFrameSamples));
        png_longjmp(png, 1);
    }
}

// The decoded rows as 16-bit samples; each row is freed once taken.
void TakeRows(png_bytep* rows, png_uint_32 width, png_uint_32 height, int channels, int depth, FrameImage* image) {
    image->samples.resize(size_t(width) * height * channels);
    uint16_t* out = image->samples.data();
    for (png_uint_32 y = 0; y < height; ++y) {
        const png_bytep row = rows[y];
        for (size_t i = 0; i < size_t(width) * channels; ++i)
            *out++ = depth == 16 ? uint16_t(row[2 * i] << 8 | row[2 * i + 1]) : row[i];
        std::free(rows[y]);
    }
    std::free(rows);
}

// 16-bit samples are turned into PNG's big-endian bytes a row at a time, so
// writing a frame needs no second copy of it.
bool EncodeRows(FILE* file, uint32_t width, uint32_t height, int depth, int channels, const void* samples,
                png_bytep row, const FrameMetadata& meta, std::vector<png_text>& texts, ErrorText* error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, file, WriteBytes, FlushBytes);
    png_set_IHDR(png, info, width, height, depth,
                 channels == 4   ? PNG_COLOR_TYPE_RGB_ALPHA
                 : channels == 3 ? PNG_COLOR_TYPE_RGB
                                 : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Choosing a filter for every row costs more than it saves on rendered
    // frames: Sub alone at level 2 keeps them within a few percent of what
    // twice the time would give (bench/NOTES.md).
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 2);
    WriteMetadata(png, info, meta, texts);
    png_write_info(png, info);
    const size_t rowSamples = size_t(width) * channels;
    for (uint32_t y = 0; y < height; ++y) {
        if (depth == 16) {
            const uint16_t* in = static_cast<const uint16_t*>(samples) + y * rowSamples;
            for (size_t i = 0; i < rowSamples; ++i) {
                row[2 * i] = png_byte(in[i] >> 8);
                row[2 * i + 1] = png_byte(in[i]);
            }
            png_write_row(png, row);
        } else {
            png_write_row(png, static_cast<const png_byte*>(samples) + y * rowSamples);
        }
    }
    png_write_end(png, nullptr);  // everything was written before the pixels; with info, eXIf would come twice
    png_destroy_write_struct(&png, &info);
    return true;
}

bool WriteThroughTemp(const std::string& path, uint32_t width, uint32_t height, int depth, int channels,
                      const void* samples, const FrameMetadata& meta, std::string* error) {
    std::vector<png_byte> row(size_t(width) * channels * (depth / 8));
    std::vector<png_text> texts = TextsToWrite(meta);
    return WriteWhole(
        path,
        [&](std::FILE* file, std::string* reason) {
            ErrorText text{"write failed"};
            if (EncodeRows(file, width, height, depth, channels, samples, row.data(), meta, texts, &text)) return true;
            *reason = text.text;
            return false;
        },
        error);
}

}  // namespace

bool ReadPng(const std::string& path, FrameImage* image, std::string* error, FrameSize frameSize) {
    FILE* file = OpenFile(path, L"rb");
    if (!file) {
        *error = path + (IsFolder(path) ? ": a folder, not a PNG file; give the file's name"
                                        : ": no such file, or it cannot be read");
        return false;
    }
    unsigned char signature[8] = {};
    const bool isPng = std::fread(signature, 1, 8, file) == 8 && png_sig_cmp(signature, 0, 8) == 0;
    std::rewind(file);
    ErrorText text{"corrupt PNG"};
    const bool ok = isPng && DecodeRows(file, image, frameSize, &text);
    std::fclose(file);
    if (!ok) *error = path + ": " + (isPng ? text.text : "not a PNG file");
    return ok;
}

bool WritePng16(const std::string& path, uint32_t width, uint32_t height, int channels, const uint16_t* samples,
                std::string* error, const FrameMetadata& meta) {
    return WriteThroughTemp(path, width, height, 16, channels, samples, meta, error);
}

bool WritePng8(const std::string& path, uint32_t width, uint32_t height, int channels,
               const std::vector<uint8_t>& samples, std::string* error) {
    return WriteThroughTemp(path, width, height, 8, channels, samples.data(), {}, error);
}

bool IsFrameImage(const FrameImage& image) {
    return (image.channels == 3 || image.channels == 4) && (image.bitDepth == 8 || image.bitDepth == 16);
}

void ToHostPixels(const FrameImage& frame, BMM_Color_64* out) {
    const int scale = frame.bitDepth == 8 ? 257 : 1;
    for (size_t i = 0; i < size_t(frame.width) * frame.height; ++i) {
        const uint16_t* s = &frame.samples[i * frame.channels];
        out[i] = {uint16_t(s[0] * scale), uint16_t(s[1] * scale), uint16_t(s[2] * scale),
                  uint16_t(frame.channels == 4 ? s[3] * scale : 65535)};
    }
}

bool IsPngFile(const std::string& path) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) return false;
    unsigned char signature[8];
    const bool whole = std::fread(signature, 1, sizeof signature, file) == sizeof signature;
    std::fclose(file);
    return whole && png_sig_cmp(signature, 0, sizeof signature) == 0;
}

bool ReadPngSize(const std::string& path, uint32_t* width, uint32_t* height) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) return false;
    unsigned char head[24];
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got < sizeof head || png_sig_cmp(head, 0, 8) != 0 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
    *width = png_get_uint_32(head + 16);
    *height = png_get_uint_32(head + 20);
    return true;
}

namespace {

// An empty file is what a tool killed before its first byte leaves: it holds
// nothing to lose, so an output may replace it.
bool IsPngOrEmpty(const std::string& path) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) return false;
    unsigned char signature[8];
    const size_t got = std::fread(signature, 1, sizeof signature, file);
    std::fclose(file);
    return got == 0 || (got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0);
}

}  // namespace

const OutputKind kPngOutput = {"a PNG", IsPngOrEmpty};

bool IsPngName(const std::string& path) { return EndsWithNoCase(path, ".png"); }

std::string ImageKind(const FrameImage& image) {
    const char* layout = image.channels == 1   ? "grey"
                         : image.channels == 2 ? "grey with alpha"
                         : image.channels == 3 ? "RGB"
                                               : "RGBA";
    return std::to_string(image.bitDepth) + "-bit " + layout;
}
