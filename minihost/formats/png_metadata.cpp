#include "minihost/formats/png_metadata.h"

#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const png_byte kColourChunks[] = "gAMA\0cHRM\0sRGB\0iCCP";
constexpr int kColourChunkCount = 4;

bool Is(const png_unknown_chunk& chunk, const char* type) {
    return std::memcmp(chunk.name, type, 4) == 0;
}

std::string Be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const char* type, const png_byte* data, size_t size) {
    std::string body = std::string(type, 4) + std::string(reinterpret_cast<const char*>(data), size);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return Be32(uint32_t(size)) + body + Be32(uint32_t(crc));
}

// A 1 x 1 RGB PNG, as frames are RGB, that holds the chosen chunks, for
// libpng to judge them: a profile is checked against the colour type.
std::string Probe(const std::string& chunks) {
    static const png_byte kIhdr[] = {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
    const png_byte row[4] = {};  // the filter byte and one black pixel
    png_byte idat[32];
    uLongf size = sizeof idat;
    compress(idat, &size, row, sizeof row);
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", kIhdr, sizeof kIhdr) + chunks +
           Chunk("IDAT", idat, size) + Chunk("IEND", nullptr, 0);
}

struct ProbeState {
    const std::string* bytes;
    size_t at;
    char warning[160];
};

void ProbeRead(png_structp png, png_bytep data, size_t length) {
    auto* state = static_cast<ProbeState*>(png_get_io_ptr(png));
    if (length > state->bytes->size() - state->at) png_error(png, "probe ends early");
    std::memcpy(data, state->bytes->data() + state->at, length);
    state->at += length;
}

void ProbeError(png_structp png, png_const_charp message) {
    auto* state = static_cast<ProbeState*>(png_get_error_ptr(png));
    if (!state->warning[0]) std::snprintf(state->warning, sizeof state->warning, "%s", message);
    png_longjmp(png, 1);
}

void ProbeWarning(png_structp png, png_const_charp message) {
    auto* state = static_cast<ProbeState*>(png_get_error_ptr(png));
    if (!state->warning[0]) std::snprintf(state->warning, sizeof state->warning, "%s", message);
}

// Reads the chosen colour chunks back through libpng; what it takes as
// valid goes into meta. A plain function: libpng leaves it by longjmp.
bool ReadColour(const std::string& probe, bool gamma, bool chromaticities, FrameMetadata* meta, ProbeState* state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state, ProbeError, ProbeWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, state, ProbeRead);
    png_read_info(png, info);
    // libpng derives gAMA and cHRM from sRGB: kept only where the file said them.
    png_fixed_point g = 0;
    if (gamma && png_get_gAMA_fixed(png, info, &g)) meta->hasGamma = true, meta->gamma = g;
    png_fixed_point c[8];
    if (chromaticities && png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7])) {
        meta->hasChromaticities = true;
        std::memcpy(meta->chromaticities, c, sizeof c);
    }
    int intent = 0;
    if (png_get_sRGB(png, info, &intent)) meta->srgbIntent = intent;
    png_charp name = nullptr;
    int method = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &method, &profile, &length)) {
        meta->iccName = name;
        meta->iccProfile.assign(reinterpret_cast<const char*>(profile), length);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

void Note(std::string* dropped, const std::string& what) { *dropped += (dropped->empty() ? "" : ", ") + what; }

// The first of each colour chunk, and of iCCP and sRGB, which PNG forbids
// together, the first; then what libpng reads of them.
void ChooseColour(const png_unknown_chunk* chunks, int count, FrameMetadata* meta) {
    std::string chosen, dropped;
    bool seen[kColourChunkCount] = {};
    bool profile = false;
    for (int i = 0; i < count; ++i) {
        const png_unknown_chunk& c = chunks[i];
        int kind = 0;
        while (kind < kColourChunkCount && !Is(c, reinterpret_cast<const char*>(kColourChunks) + 5 * kind)) ++kind;
        if (kind == kColourChunkCount) continue;
        const std::string type(reinterpret_cast<const char*>(c.name), 4);
        const bool isProfile = type == "iCCP" || type == "sRGB";
        if (seen[kind]) Note(&dropped, "a second " + type);
        else if (isProfile && profile) Note(&dropped, type + " beside the profile before it");
        else {
            chosen += Chunk(type.c_str(), c.data, c.size);
            seen[kind] = true;
            profile = profile || isProfile;
        }
    }
    if (!chosen.empty()) {
        const std::string probe = Probe(chosen);
        ProbeState state{&probe, 0, ""};
        if (!ReadColour(probe, seen[0], seen[1], meta, &state)) *meta = FrameMetadata{};
        const bool kept[kColourChunkCount] = {meta->hasGamma, meta->hasChromaticities, meta->srgbIntent >= 0,
                                              !meta->iccProfile.empty()};
        for (int kind = 0; kind < kColourChunkCount; ++kind)
            if (seen[kind] && !kept[kind])
                Note(&dropped, std::string(reinterpret_cast<const char*>(kColourChunks) + 5 * kind) +
                                   ", which libpng finds invalid (" + state.warning + ")");
    }
    if (!dropped.empty()) meta->dropped = "its colour chunks are kept as PNG allows, without " + dropped;
}

}  // namespace

void TakeIccProfile(const std::string& profile, FrameMetadata* meta) {
    uLongf size = compressBound(uLong(profile.size()));
    std::string data = std::string("ICC profile") + '\0' + '\0';  // its name, then the compression method
    const size_t head = data.size();
    data.resize(head + size);
    if (compress(reinterpret_cast<Bytef*>(&data[head]), &size, reinterpret_cast<const Bytef*>(profile.data()),
                 uLong(profile.size())) != Z_OK)
        return;
    data.resize(head + size);
    png_unknown_chunk chunk{};
    std::memcpy(chunk.name, "iCCP", 5);
    chunk.data = reinterpret_cast<png_byte*>(&data[0]);
    chunk.size = data.size();
    FrameMetadata judged;
    ChooseColour(&chunk, 1, &judged);
    meta->iccName = judged.iccName;
    meta->iccProfile = judged.iccProfile;
    if (judged.dropped.empty()) return;
    const size_t why = judged.dropped.find(" (");  // libpng's words
    meta->dropped += (meta->dropped.empty() ? "" : "; ") +
                     std::string("a PNG holds no ICC profile libpng finds invalid, so the output is without it") +
                     (why == std::string::npos ? "" : judged.dropped.substr(why));
}

void TakeColourChunksRaw(png_structp png) {
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kColourChunks, kColourChunkCount);
}

void ReadMetadata(png_structp png, png_infop info, int depth, FrameMetadata* meta) {
    png_unknown_chunkp chunks = nullptr;
    ChooseColour(chunks, png_get_unknown_chunks(png, info, &chunks), meta);
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &x, &y, &unit)) {
        meta->hasResolution = true;
        meta->pixelsPerUnitX = x;
        meta->pixelsPerUnitY = y;
        meta->unit = unit;
    }
    png_textp text = nullptr;
    const int texts = png_get_text(png, info, &text, nullptr);
    for (int i = 0; i < texts; ++i) {
        FrameText t;
        t.key = text[i].key;
        t.text.assign(text[i].text ? text[i].text : "", text[i].compression >= PNG_ITXT_COMPRESSION_NONE
                                                          ? text[i].itxt_length
                                                          : text[i].text_length);
        if (text[i].lang) t.language = text[i].lang;
        if (text[i].lang_key) t.translatedKey = text[i].lang_key;
        t.compression = text[i].compression;
        meta->texts.push_back(t);
    }
    png_uint_32 exifSize = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &exifSize, &exif)) meta->exif.assign(reinterpret_cast<const char*>(exif), exifSize);
    png_color_16p background = nullptr;
    if (png_get_bKGD(png, info, &background)) {
        const int scale = depth == 8 ? 257 : 1;
        meta->hasBackground = true;
        meta->background[0] = uint16_t(background->red * scale);
        meta->background[1] = uint16_t(background->green * scale);
        meta->background[2] = uint16_t(background->blue * scale);
    }
}

std::vector<png_text> TextsToWrite(const FrameMetadata& meta) {
    std::vector<png_text> texts(meta.texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const FrameText& t = meta.texts[i];
        texts[i] = png_text{};
        texts[i].compression = t.compression;
        texts[i].key = const_cast<png_charp>(t.key.c_str());  // libpng copies them
        texts[i].text = const_cast<png_charp>(t.text.c_str());
        (t.compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length : texts[i].text_length) = t.text.size();
        texts[i].lang = const_cast<png_charp>(t.language.c_str());
        texts[i].lang_key = const_cast<png_charp>(t.translatedKey.c_str());
    }
    return texts;
}

void WriteMetadata(png_structp png, png_infop info, const FrameMetadata& meta, std::vector<png_text>& texts) {
    if (meta.hasGamma) png_set_gAMA_fixed(png, info, meta.gamma);
    if (meta.hasChromaticities) {
        const int32_t* c = meta.chromaticities;
        png_set_cHRM_fixed(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    if (!meta.iccProfile.empty())
        png_set_iCCP(png, info, meta.iccName.c_str(), PNG_COMPRESSION_TYPE_BASE,
                     reinterpret_cast<png_const_bytep>(meta.iccProfile.data()), png_uint_32(meta.iccProfile.size()));
    else if (meta.srgbIntent >= 0)
        png_set_sRGB(png, info, meta.srgbIntent);
    if (meta.hasResolution) png_set_pHYs(png, info, meta.pixelsPerUnitX, meta.pixelsPerUnitY, meta.unit);
    if (!texts.empty()) png_set_text(png, info, texts.data(), int(texts.size()));
    if (!meta.exif.empty())
        png_set_eXIf_1(png, info, png_uint_32(meta.exif.size()),
                       reinterpret_cast<png_bytep>(const_cast<char*>(meta.exif.data())));
    if (meta.hasBackground) {
        png_color_16 background{};
        background.red = meta.background[0];
        background.green = meta.background[1];
        background.blue = meta.background[2];
        png_set_bKGD(png, info, &background);
    }
}
