// minihost render as a render farm runs it: numbered sequences by pattern
// and frame list, tasks that resume and share one folder, and TIFF frames
// beside PNG ones. What each run writes is held to what the plain batch of
// a folder writes, byte for byte or sample for sample.
#include <png.h>
#include <tiffio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "minihost/formats/png_io.h"
#include "minihost/formats/tiff_io.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

class MinihostSequence : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return temp.File(name); }
    std::string Q(const std::string& name) const { return " \"" + P(name) + "\""; }
    std::string Cfg(const char* name) const { return " --config" + Q(name); }
    // A frame of random 16-bit RGBA samples and its object IDs (2 or 5).
    void WriteFrame(const std::string& frame, const std::string& ids, uint32_t w, uint32_t h, std::mt19937& rng) {
        std::vector<uint16_t> px(w * h * 4), id(w * h);
        for (auto& v : px) v = uint16_t(rng());
        for (auto& v : id) v = rng() % 2 ? 2 : 5;
        std::string error;
        ASSERT_TRUE(WritePng16(P(frame), w, h, 4, px.data(), &error)) << error;
        if (!ids.empty()) {
            ASSERT_TRUE(WritePng16(P(ids), w, h, 1, id.data(), &error)) << error;
        }
    }
    void InvertObjectTwo() {
        const MinihostOutcome r = RunMinihost("config" + Q("inv.cfg") + " --row \"1 -2 1\" --row \"0 1 0\" --row \"0 0 0\" "
                                              "--invert 1 --source object --object-id 2");
        ASSERT_EQ(r.status, 0u) << r.err;
    }
    TempDir temp{"minihost_sequence"};
};

// Frame numbers as renderers write them, negative ones in either padding,
// and the expected output of each: the batch of the folder, each frame with
// the ID image of its own name.
const char* const kNumbers[] = {"-003", "-0002", "0001", "0002", "0003", "0010"};

TEST_F(MinihostSequence, TakesFramesAndIdsByNumber) {
    for (const char* dir : {"seq", "ids", "ids_by_name"}) CreateDirectoryA(P(dir).c_str(), nullptr);
    std::mt19937 rng(36);
    for (const char* n : kNumbers) {
        WriteFrame("seq\\shot." + std::string(n) + ".png", "ids\\i." + std::string(n) + ".png", 6, 5, rng);
        ASSERT_TRUE(CopyFileA(P("ids\\i." + std::string(n) + ".png").c_str(),
                              P("ids_by_name\\shot." + std::string(n) + ".png").c_str(), FALSE));
    }
    InvertObjectTwo();
    MinihostOutcome r = RunMinihost("render" + Q("seq") + " --out-dir" + Q("expected") + Cfg("inv.cfg") +
                                    " --object-ids-dir" + Q("ids_by_name"));
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string ids = " --object-ids" + Q("ids\\i.####.png");

    const struct {
        std::string args;  // after "render"
        const char* out;   // the folder written
        std::vector<std::pair<const char*, const char*>> written;  // output name, the frame's number it holds
        unsigned status;
        std::vector<std::string> says;  // on stderr
    } rows[] = {
        {Q("seq\\shot.####.png") + " --out-dir" + Q("a") + ids, "a",
         {{"shot.-003.png", "-003"}, {"shot.-0002.png", "-0002"}, {"shot.0001.png", "0001"}, {"shot.0002.png", "0002"},
          {"shot.0003.png", "0003"}, {"shot.0010.png", "0010"}}, 0, {}},
        {Q("seq\\shot.%04d.png") + " --frames 1-3,10 --out-dir" + Q("b") + ids, "b",
         {{"shot.0001.png", "0001"}, {"shot.0002.png", "0002"}, {"shot.0003.png", "0003"}, {"shot.0010.png", "0010"}},
         0, {}},
        {Q("seq\\shot.####.png") + " --frames 0-4x2 --out-dir" + Q("c") + ids, "c", {{"shot.0002.png", "0002"}}, 2,
         {"shot.####.png: frames 0, 4 are missing (2 frames)", "2 of 3 frames failed"}},
        {Q("seq\\shot.####.png") + " --frames -3--1 --out" + Q("d\\g.####.png") + ids, "d",
         {{"g.-003.png", "-003"}, {"g.-0002.png", "-0002"}}, 2, {"frame -1 is missing (1 frame)", "1 of 3 frames failed"}},
        // A range far past the sequence's end: one listing, one line.
        {Q("seq\\shot.####.png") + " --frames 1-999999 --out-dir" + Q("g") + ids, "g",
         {{"shot.0001.png", "0001"}, {"shot.0002.png", "0002"}, {"shot.0003.png", "0003"}, {"shot.0010.png", "0010"}},
         2, {"frames 4-9, 11-999999 are missing (999,995 frames)", "999995 of 999999 frames failed"}},
        {Q("seq\\shot.####.png") + " --frames 2,3 --out" + Q("e\\g.#.png") + ids, "e",
         {{"g.2.png", "0002"}, {"g.3.png", "0003"}}, 0, {}},
        {Q("seq\\shot.#.png") + " --out-dir" + Q("f") + ids, "f", {}, 2, {"no frame of this pattern"}},
    };
    for (const auto& row : rows) {
        r = RunMinihost("render" + row.args + Cfg("inv.cfg"));
        EXPECT_EQ(r.status, row.status) << row.args << "\n" << r.err;
        for (const std::string& word : row.says) EXPECT_NE(r.err.find(word), std::string::npos) << row.args << "\n" << r.err;
        std::vector<std::string> names;
        size_t said = 0;
        for (const auto& [name, number] : row.written) {
            names.push_back(name);
            EXPECT_TRUE(ReadBytes(P(std::string(row.out) + "\\" + name)) ==
                        ReadBytes(P("expected\\shot." + std::string(number) + ".png")))
                << name << " of " << row.args;
            // Said in frame order.
            const size_t at = r.out.find(std::string(name) + ",");
            EXPECT_TRUE(at != std::string::npos && at >= said) << name << "\n" << r.out;
            said = at == std::string::npos ? said : at;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(FolderNames(P(row.out)), names) << row.args;
    }
}

// A re-queued task filters only what is missing: an output is left when it
// decodes whole at its input's size, whatever it holds; a half-written, empty
// or wrongly sized one (PNG or TIFF) is filtered again; a file of another kind
// at an output's name fails that frame alone.
TEST_F(MinihostSequence, SkipsOnlyOutputsAlreadyWhole) {
    CreateDirectoryA(P("seq").c_str(), nullptr);
    std::mt19937 rng(7);
    const char* const numbers[] = {"0001", "0002", "0003", "0004", "0005", "0006"};
    for (const char* n : numbers) WriteFrame("seq\\s." + std::string(n) + ".png", "", 9, 4, rng);
    const MinihostOutcome made = RunMinihost("config" + Q("k.cfg") + " --row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\"");
    ASSERT_EQ(made.status, 0u) << made.err;
    const std::string task = "render" + Q("seq\\s.####.png") + " --frames 1-6 --out-dir" + Q("out") + Cfg("k.cfg");
    MinihostOutcome r = RunMinihost(task);
    ASSERT_EQ(r.status, 0u) << r.err;
    std::vector<std::string> whole;
    for (const char* n : numbers) whole.push_back(ReadBytes(P("out\\s." + std::string(n) + ".png")));

    std::string error;
    const std::vector<uint16_t> other(9 * 4 * 4, 4321), small(2 * 2 * 4, 1);
    ASSERT_TRUE(WritePng16(P("out\\s.0001.png"), 9, 4, 4, other.data(), &error)) << error;  // whole: left
    const std::string decoy = ReadBytes(P("out\\s.0001.png"));
    ASSERT_TRUE(WriteBytes(P("out\\s.0002.png"), whole[1].substr(0, whole[1].size() / 2)));  // half-written
    ASSERT_TRUE(WritePng16(P("out\\s.0003.png"), 2, 2, 4, small.data(), &error)) << error;    // another size
    ASSERT_TRUE(DeleteFileA(P("out\\s.0004.png").c_str()));                                    // never written
    ASSERT_TRUE(WriteBytes(P("out\\s.0005.png"), ""));                    // a tool killed before its first byte
    ASSERT_TRUE(WriteBytes(P("out\\s.0006.png"), "notes, not a frame"));  // another kind: never replaced

    for (int run = 0; run < 2; ++run) {
        r = RunMinihost(task + " --skip-existing");
        EXPECT_EQ(r.status, 2u) << r.err;
        EXPECT_NE(r.out.find(run ? "skipped 5 of 6 frames" : "skipped 1 of 6 frames"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("s.0001.png"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("s.0006.png"), std::string::npos) << r.out;
        EXPECT_EQ(CountLines(r.err), 2) << r.err;
        EXPECT_NE(r.err.find("s.0006.png exists and is not a PNG, so it is left as it is"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("1 of " + std::string(run ? "1" : "5") + " frames failed"), std::string::npos) << r.err;
        EXPECT_TRUE(ReadBytes(P("out\\s.0001.png")) == decoy);
        for (int i = 1; i < 5; ++i) EXPECT_TRUE(ReadBytes(P("out\\s." + std::string(numbers[i]) + ".png")) == whole[i]) << i;
        EXPECT_EQ(ReadBytes(P("out\\s.0006.png")), "notes, not a frame");
        EXPECT_EQ(r.out.find("wrote") == std::string::npos, run == 1) << r.out;
    }

    // A TIFF output of another size is stale, however whole.
    const std::string tiffTask = "render" + Q("seq\\s.####.png") + " --frames 1-2 --out" + Q("t\\s.####.tif") + Cfg("k.cfg");
    r = RunMinihost(tiffTask);
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string tiff = ReadBytes(P("t\\s.0001.tif"));
    ASSERT_TRUE(WriteTiff16(P("t\\s.0001.tif"), 2, 2, small.data(), TiffFormat{}, &error)) << error;
    r = RunMinihost(tiffTask + " --skip-existing");
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_NE(r.out.find("skipped 1 of 2 frames"), std::string::npos) << r.out;
    EXPECT_TRUE(ReadBytes(P("t\\s.0001.tif")) == tiff);
}

// Two tasks of one sequence into one folder that neither has made yet, at
// once: every frame whole, and nothing else there, nothing removed.
TEST_F(MinihostSequence, TwoTasksShareOneFolder) {
    CreateDirectoryA(P("seq").c_str(), nullptr);
    std::mt19937 rng(11);
    for (int n = 1; n <= 12; ++n) WriteFrame("seq\\s." + std::to_string(100 + n) + ".png", "", 96, 64, rng);
    const MinihostOutcome made = RunMinihost("config" + Q("k.cfg") + " --row \"1 2 1\" --row \"2 4 2\" --row \"1 2 1\" --divide 16");
    ASSERT_EQ(made.status, 0u) << made.err;
    MinihostOutcome r = RunMinihost("render" + Q("seq") + " --out-dir" + Q("expected") + Cfg("k.cfg"));
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string task = "\"" + BinDir() + "\\minihost.exe\" render" + Q("seq\\s.###.png") + Cfg("k.cfg") +
                             " --out-dir" + Q("shared") + " --frames ";
    ChildProcess first(task + "101-106"), second(task + "107-112");
    EXPECT_EQ(first.Finish(), 0u) << first.Err();
    EXPECT_EQ(second.Finish(), 0u) << second.Err();
    const std::vector<std::string> names = FolderNames(P("expected"));
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(FolderNames(P("shared")), names);
    for (const std::string& name : names)
        EXPECT_TRUE(ReadBytes(P("shared\\" + name)) == ReadBytes(P("expected\\" + name))) << name;
}

// A TIFF written by libtiff itself, as a renderer would: samples in the
// layout asked for, with a resolution, an ICC profile and text.
struct TiffLayout {
    const char* name;
    int bits, channels;
    bool tiled;
    uint16_t compression;
    bool bigEndian;
    uint16_t alpha;
};

void WriteTestTiff(const std::string& path, const TiffLayout& l, uint32_t w, uint32_t h,
                   const std::vector<uint16_t>& samples) {
    TIFF* t = TIFFOpen(path.c_str(), l.bigEndian ? "wb" : "wl");
    ASSERT_NE(t, nullptr) << path;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.channels);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
    if (l.compression != COMPRESSION_NONE) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (l.channels == 4) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &l.alpha);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 150.0f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    const std::string icc = TestIccProfile();
    TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.data());
    TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, l.name);
    TIFFSetField(t, TIFFTAG_ARTIST, "lighting, shot 36");
    const size_t rowSamples = size_t(w) * l.channels, bytes = size_t(l.bits / 8);
    auto pack = [&](size_t at, size_t count, unsigned char* to) {
        for (size_t i = 0; i < count; ++i) {
            if (bytes == 1) to[i] = (unsigned char)samples[at + i];
            else std::memcpy(to + 2 * i, &samples[at + i], 2);  // libtiff swaps for a big-endian file
        }
    };
    if (l.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        std::vector<unsigned char> tile(size_t(TIFFTileSize(t)), 0xee);  // what overhangs is never read
        for (uint32_t ty = 0; ty < h; ty += 16)
            for (uint32_t tx = 0; tx < w; tx += 16) {
                for (uint32_t y = ty; y < std::min(h, ty + 16); ++y)
                    pack(y * rowSamples + tx * l.channels, std::min(16u, w - tx) * l.channels,
                         &tile[(y - ty) * 16 * l.channels * bytes]);
                ASSERT_GE(TIFFWriteTile(t, tile.data(), tx, ty, 0, 0), 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
        std::vector<unsigned char> row(rowSamples * bytes);
        for (uint32_t y = 0; y < h; ++y) {
            pack(y * rowSamples, rowSamples, row.data());
            ASSERT_EQ(TIFFWriteScanline(t, row.data(), y, 0), 1);
        }
    }
    TIFFClose(t);
}

// What libpng reads of a PNG's profile, resolution and text ("key=text").
struct PngChunks {
    std::string icc;
    png_uint_32 x = 0, y = 0;
    int unit = -1;
    std::vector<std::string> texts;
};

PngChunks ReadPngChunks(const std::string& path) {
    PngChunks c;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return c;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_charp name = nullptr;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        int method = 0;
        if (png_get_iCCP(png, info, &name, &method, &profile, &length))
            c.icc.assign(reinterpret_cast<char*>(profile), length);
        png_get_pHYs(png, info, &c.x, &c.y, &c.unit);
        png_textp text = nullptr;
        const int count = png_get_text(png, info, &text, nullptr);
        for (int i = 0; i < count; ++i) c.texts.push_back(std::string(text[i].key) + "=" + text[i].text);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return c;
}

// Every layout minihost reads, each filtered as a TIFF and as the same
// frame in a PNG: the samples written are the same, bit for bit, and the
// TIFF output keeps the input's layout and tags, in 16 bits and Deflate.
TEST_F(MinihostSequence, TiffFramesComeOutAsTheirPngTwins) {
    const TiffLayout layouts[] = {
        {"rgb8_strips", 8, 3, false, COMPRESSION_NONE, false, 0},
        {"rgb16_strips", 16, 3, false, COMPRESSION_LZW, true, 0},
        {"rgba8_strips", 8, 4, false, COMPRESSION_ADOBE_DEFLATE, false, EXTRASAMPLE_ASSOCALPHA},
        {"rgba16_strips", 16, 4, false, COMPRESSION_NONE, true, EXTRASAMPLE_UNASSALPHA},
        {"rgb8_tiles", 8, 3, true, COMPRESSION_LZW, false, 0},
        {"rgb16_tiles", 16, 3, true, COMPRESSION_ADOBE_DEFLATE, true, 0},
        {"rgba8_tiles", 8, 4, true, COMPRESSION_NONE, true, EXTRASAMPLE_UNASSALPHA},
        {"rgba16_tiles", 16, 4, true, COMPRESSION_LZW, false, EXTRASAMPLE_ASSOCALPHA},
    };
    const uint32_t w = 37, h = 21;  // tiles overhang both edges
    for (const char* dir : {"tif", "png"}) CreateDirectoryA(P(dir).c_str(), nullptr);
    std::mt19937 rng(16);
    std::string error;
    for (const TiffLayout& l : layouts) {
        std::vector<uint16_t> samples(w * h * l.channels);
        for (auto& v : samples) v = uint16_t(l.bits == 8 ? rng() % 256 : rng());
        WriteTestTiff(P("tif\\" + std::string(l.name) + ".tif"), l, w, h, samples);
        if (l.bits == 8)
            ASSERT_TRUE(WritePng8(P("png\\" + std::string(l.name) + ".png"), w, h, l.channels,
                                  std::vector<uint8_t>(samples.begin(), samples.end()), &error)) << error;
        else
            ASSERT_TRUE(WritePng16(P("png\\" + std::string(l.name) + ".png"), w, h, l.channels, samples.data(), &error))
                << error;
    }
    const MinihostOutcome made = RunMinihost("config" + Q("k.cfg") + " --row \"1 -2 3\" --row \"-4 21 -6\" --row \"7 -8 9\" --divide 21");
    ASSERT_EQ(made.status, 0u) << made.err;
    for (const char* dir : {"tif", "png"}) {
        const MinihostOutcome r = RunMinihost("render" + Q(dir) + " --out-dir" + Q(std::string(dir) + "_out") + Cfg("k.cfg"));
        ASSERT_EQ(r.status, 0u) << r.err;
    }
    for (const TiffLayout& l : layouts) {
        const std::string out = P("tif_out\\" + std::string(l.name) + ".tif");
        FrameImage tiff, png;
        TiffFormat format;
        ASSERT_TRUE(ReadTiff(out, &tiff, &format, &error)) << error;
        ASSERT_TRUE(ReadPng(P("png_out\\" + std::string(l.name) + ".png"), &png, &error)) << error;
        ASSERT_EQ(tiff.channels, l.channels) << l.name;
        EXPECT_EQ(tiff.bitDepth, 16) << l.name;
        bool same = tiff.samples.size() == size_t(w) * h * l.channels;
        for (size_t i = 0; same && i < size_t(w) * h; ++i)
            for (int c = 0; c < l.channels; ++c) same = same && tiff.samples[i * l.channels + c] == png.samples[i * 4 + c];
        EXPECT_TRUE(same) << l.name;

        TIFF* t = TIFFOpen(out.c_str(), "r");
        ASSERT_NE(t, nullptr) << l.name;
        uint16_t compression = 0, unit = 0, extraCount = 0, *extra = nullptr;
        uint32_t tileWidth = 0, rows = 0, iccSize = 0;
        float x = 0, y = 0;
        void* icc = nullptr;
        char *description = nullptr, *artist = nullptr;
        TIFFGetField(t, TIFFTAG_COMPRESSION, &compression);
        EXPECT_EQ(compression, COMPRESSION_ADOBE_DEFLATE) << l.name;
        EXPECT_EQ(TIFFIsTiled(t) != 0, l.tiled) << l.name;
        if (l.tiled) EXPECT_TRUE(TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth) && tileWidth == 16) << l.name;
        else EXPECT_TRUE(TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &rows) && rows == 4) << l.name;
        if (l.channels == 4) {
            EXPECT_TRUE(TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount == 1 && extra[0] == l.alpha)
                << l.name;
        }
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &y) &&
                    TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit) && x == 300 && y == 150 && unit == RESUNIT_CENTIMETER)
            << l.name;
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) &&
                    std::string(static_cast<char*>(icc), iccSize) == TestIccProfile())
            << l.name;
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description) && std::string(description) == l.name);
        EXPECT_TRUE(TIFFGetField(t, TIFFTAG_ARTIST, &artist) && std::string(artist) == "lighting, shot 36") << l.name;
        TIFFClose(t);
    }

    // Across formats a frame keeps what both hold, read back by libpng and
    // libtiff: TIFF to PNG (300 x 150 pixels a centimetre are 30000 x 15000 a
    // metre), and PNG to TIFF; what TIFF cannot hold is one warning.
    MinihostOutcome r = RunMinihost("render" + Q("tif\\rgb16_strips.tif") + Q("as.png") + Cfg("k.cfg"));
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    const PngChunks chunks = ReadPngChunks(P("as.png"));
    EXPECT_EQ(chunks.icc, TestIccProfile());
    EXPECT_TRUE(chunks.x == 30000 && chunks.y == 15000 && chunks.unit == PNG_RESOLUTION_METER)
        << chunks.x << " " << chunks.y << " " << chunks.unit;
    EXPECT_EQ(chunks.texts, (std::vector<std::string>{"Description=rgb16_strips", "Author=lighting, shot 36"}));

    FrameMetadata meta;
    meta.iccName = "camera";
    meta.iccProfile = TestIccProfile();
    meta.hasResolution = true, meta.pixelsPerUnitX = 11811, meta.pixelsPerUnitY = 5906, meta.unit = 1;
    meta.hasGamma = true, meta.gamma = 45455;
    meta.texts = {{"Description", "a PNG frame", "", "", -1}, {"Author", "lighting, shot 37", "", "", 1},
                  {"Comment", "held nowhere in a TIFF", "", "", -1}};
    std::vector<uint16_t> px(w * h * 4, 30000);
    ASSERT_TRUE(WritePng16(P("meta.png"), w, h, 4, px.data(), &error, meta)) << error;
    r = RunMinihost("render" + Q("meta.png") + Q("as.tif") + Cfg("k.cfg"));
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("meta.png: a TIFF holds no gAMA, the text 'Comment', so the output is without them"),
              std::string::npos) << r.err;
    TIFF* t = TIFFOpen(P("as.tif").c_str(), "r");
    ASSERT_NE(t, nullptr);
    uint32_t iccSize = 0;
    void* icc = nullptr;
    float x = 0, y = 0;
    uint16_t unit = 0;
    char *description = nullptr, *artist = nullptr;
    EXPECT_TRUE(TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) &&
                std::string(static_cast<char*>(icc), iccSize) == TestIccProfile());
    EXPECT_TRUE(TIFFGetField(t, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(t, TIFFTAG_YRESOLUTION, &y) &&
                TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &unit) && std::abs(x - 118.11) < 1e-4 && std::abs(y - 59.06) < 1e-4 && unit == RESUNIT_CENTIMETER)
        << x << " " << y << " " << unit;
    EXPECT_TRUE(TIFFGetField(t, TIFFTAG_IMAGEDESCRIPTION, &description) && std::string(description) == "a PNG frame");
    EXPECT_TRUE(TIFFGetField(t, TIFFTAG_ARTIST, &artist) && std::string(artist) == "lighting, shot 37");
    TIFFClose(t);

    // Associated alpha is never written as a PNG's straight alpha.
    r = RunMinihost("render" + Q("tif\\rgba16_tiles.tif") + Q("assoc.png") + Cfg("k.cfg"));
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("rgba16_tiles.tif: its alpha is associated (premultiplied), and a PNG's is straight"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("write it as TIFF"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(P("assoc.png")));

    // Object IDs from a TIFF select as the same IDs from a PNG do.
    std::vector<uint16_t> ids(w * h);
    for (auto& v : ids) v = rng() % 2 ? 2 : 5;
    WriteTestTiff(P("ids.tif"), {"ids", 16, 1, true, COMPRESSION_ADOBE_DEFLATE, true, 0}, w, h, ids);
    ASSERT_TRUE(WritePng16(P("ids.png"), w, h, 1, ids.data(), &error)) << error;
    InvertObjectTwo();
    for (const char* kind : {"tif", "png"}) {
        const MinihostOutcome r = RunMinihost("render" + Q("png\\rgba16_tiles.png") + Q(std::string("by_") + kind + ".png") +
                                              Cfg("inv.cfg") + " --object-ids" + Q(std::string("ids.") + kind));
        ASSERT_EQ(r.status, 0u) << r.err;
    }
    EXPECT_TRUE(ReadBytes(P("by_tif.png")) == ReadBytes(P("by_png.png")));
}

}  // namespace
