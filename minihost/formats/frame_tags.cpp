#include "minihost/formats/frame_tags.h"

#include <tiffio.h>

#include <cmath>
#include <cstdint>

#include "minihost/formats/png_metadata.h"

namespace {

// The TIFF text tags and the PNG keywords that mean the same. Creation Time
// passes to DateTime only in DateTime's own form.
struct TextTag {
    uint32_t tag;
    const char* key;
};
const TextTag kTextTags[] = {
    {TIFFTAG_IMAGEDESCRIPTION, "Description"}, {TIFFTAG_ARTIST, "Author"},       {TIFFTAG_SOFTWARE, "Software"},
    {TIFFTAG_COPYRIGHT, "Copyright"},          {TIFFTAG_DATETIME, "Creation Time"}, {TIFFTAG_DOCUMENTNAME, "Document Name"},
    {TIFFTAG_PAGENAME, "Page Name"},           {TIFFTAG_MAKE, "Make"},           {TIFFTAG_MODEL, "Model"},
    {TIFFTAG_HOSTCOMPUTER, "Host Computer"},
};

constexpr double kMetresPerInch = 0.0254;
constexpr int kPngTextLatin1 = -1;  // tEXt
constexpr int kPngTextUtf8 = 1;     // iTXt, uncompressed

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// tEXt and zTXt hold Latin-1; a TIFF's text is read as UTF-8, as iTXt's is.
std::string Utf8FromLatin1(const std::string& text) {
    std::string utf8;
    for (unsigned char c : text) {
        if (c < 0x80) utf8 += char(c);
        else utf8 += char(0xC0 | (c >> 6)), utf8 += char(0x80 | (c & 0x3F));
    }
    return utf8;
}

// "YYYY:MM:DD HH:MM:SS", the only form DateTime takes.
bool IsTiffDateTime(const std::string& text) {
    static const char kForm[] = "dddd:dd:dd dd:dd:dd";
    if (text.size() != sizeof kForm - 1) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kForm[i] == 'd' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != kForm[i]) return false;
    return true;
}

bool FitsPng(double v) { return v >= 1 && v <= 2147483647.0; }

void Note(std::string* said, const std::string& what) { *said += (said->empty() ? "" : ", ") + what; }

}  // namespace

void TiffTagsToPng(const TiffFormat& format, FrameMetadata* meta) {
    if (!format.icc.empty()) TakeIccProfile(format.icc, meta);
    if (format.hasResolution) {
        // pHYs counts pixels a metre, or gives only the aspect.
        const double scale = format.resolutionUnit == RESUNIT_INCH        ? 1 / kMetresPerInch
                             : format.resolutionUnit == RESUNIT_CENTIMETER ? 100
                                                                           : 1;
        const double x = std::round(format.xResolution * scale), y = std::round(format.yResolution * scale);
        if (FitsPng(x) && FitsPng(y)) {
            meta->hasResolution = true;
            meta->pixelsPerUnitX = uint32_t(x), meta->pixelsPerUnitY = uint32_t(y);
            meta->unit = format.resolutionUnit == RESUNIT_NONE ? 0 : 1;
        }
    }
    for (const TiffText& t : format.text)
        for (const TextTag& tag : kTextTags)
            if (t.tag == tag.tag) {
                FrameText text;
                text.key = tag.key;
                text.text = t.text;
                text.compression = IsAscii(t.text) ? kPngTextLatin1 : kPngTextUtf8;
                meta->texts.push_back(text);
            }
}

std::string PngMetadataToTiff(const FrameMetadata& meta, TiffFormat* format) {
    std::string lost;
    if (meta.hasGamma) Note(&lost, "gAMA");
    if (meta.hasChromaticities) Note(&lost, "cHRM");
    if (meta.srgbIntent >= 0) Note(&lost, "sRGB");
    if (!meta.exif.empty()) Note(&lost, "eXIf");
    if (meta.hasBackground) Note(&lost, "bKGD");
    format->icc = meta.iccProfile;
    if (meta.hasResolution) {
        format->hasResolution = true;
        format->resolutionUnit = meta.unit == 1 ? RESUNIT_CENTIMETER : RESUNIT_NONE;
        const double scale = meta.unit == 1 ? 0.01 : 1;
        format->xResolution = float(meta.pixelsPerUnitX * scale);
        format->yResolution = float(meta.pixelsPerUnitY * scale);
    }
    for (const FrameText& t : meta.texts) {
        const TextTag* match = nullptr;
        for (const TextTag& tag : kTextTags)
            if (t.key == tag.key) match = &tag;
        bool taken = false;
        for (const TiffText& held : format->text) taken = taken || (match && held.tag == match->tag);
        const std::string text = t.compression >= kPngTextUtf8 ? t.text : Utf8FromLatin1(t.text);
        if (!match || taken || (match->tag == TIFFTAG_DATETIME && !IsTiffDateTime(text))) {
            Note(&lost, "the text '" + t.key + "'" + (taken ? " given twice" : ""));
            continue;
        }
        if (!t.language.empty() || !t.translatedKey.empty()) Note(&lost, "the language of '" + t.key + "'");
        format->text.push_back({match->tag, text});
    }
    return lost;
}

std::string CarryToOutput(const FrameMetadata& meta, bool tiffOutput, TiffFormat* format) {
    // A TIFF frame keeps its own tags in a TIFF, whatever a PNG would take of them.
    if (tiffOutput && format->read) return "";
    std::string said = meta.dropped;
    if (tiffOutput) {
        const std::string lost = PngMetadataToTiff(meta, format);
        if (!lost.empty()) said += (said.empty() ? "" : "; ") + std::string("a TIFF holds no ") + lost + ", so the output is without them";
    }
    return said;
}

std::string AlphaRefusal(const TiffFormat& format, const std::string& in, bool tiffOutput) {
    if (tiffOutput || !format.read || format.channels != 4 || format.alpha != EXTRASAMPLE_ASSOCALPHA) return "";
    return in + ": its alpha is associated (premultiplied), and a PNG's is straight, so a PNG of it would show "
                "other colours; write it as TIFF (an output named .tif)";
}
