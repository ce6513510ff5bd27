// minihost as users run it: a separate process, PNG files in and out, and one
// clear error line with a non-zero status for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <io.h>
#include <zlib.h>

#include "host/progress.h"
#include "hostlib/host_control.h"
#include "minihost/files/error.h"
#include "minihost/formats/png_io.h"
#include "minihost/runtime/progress_window.h"
#include "params/kernel_params.h"
#include "module/version.h"
#include "render/convolve_route.h"
#include "render/convolver.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string NoCr(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

// Runs minihost with the arguments, collecting its exit status, output and
// error output (line ends as "\n"); minihost_stops.exe is the build the
// tests stop.
MinihostOutcome RunMinihost(const std::string& args, const char* program = "minihost.exe") {
    ChildProcess child("\"" + BinDir() + "\\" + program + "\" " + args);
    const DWORD status = child.Finish();
    return {status, NoCr(child.Err()), NoCr(child.Out())};
}

std::string Be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return Be32(uint32_t(data.size())) + body + Be32(uint32_t(crc));
}

// A PNG of the given header whose pixel data is idat (empty: none at all),
// with the chunks of before ahead of it.
std::string PngFile(uint32_t width, uint32_t height, char depth, char colourType, const std::string& idat,
                    const std::string& before = "") {
    const std::string ihdr = Be32(width) + Be32(height) + std::string{depth, colourType, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + before +
           (idat.empty() ? "" : Chunk("IDAT", idat)) + Chunk("IEND", "");
}

// The chunk types of a PNG file, in order, as one line.
std::string ChunkTypes(const std::string& file) {
    std::string types;
    for (size_t at = 8; at + 8 <= file.size();) {
        const uint32_t size = uint32_t(uint8_t(file[at])) << 24 | uint32_t(uint8_t(file[at + 1])) << 16 |
                              uint32_t(uint8_t(file[at + 2])) << 8 | uint8_t(file[at + 3]);
        types += (types.empty() ? "" : " ") + file.substr(at + 4, 4);
        at += 12 + size;
    }
    return types;
}

std::string Zipped(const std::string& rows) {
    uLongf size = compressBound(uLong(rows.size()));
    std::string idat(size, '\0');
    compress(reinterpret_cast<Bytef*>(&idat[0]), &size, reinterpret_cast<const Bytef*>(rows.data()), uLong(rows.size()));
    idat.resize(size);
    return idat;
}

// An iCCP chunk's data: the name, then the test profile, compressed.
std::string Iccp(const std::string& name) { return name + std::string(2, '\0') + Zipped(TestIccProfile()); }

// An 8-bit grey PNG whose header says side x side pixels and whose data
// holds one row of zeros: only its header can refuse it before decoding.
std::string OneRowGreyPng(uint32_t side) {
    const std::string row(side + 1, '\0');  // filter byte, then the pixels
    uLongf size = compressBound(uLong(row.size()));
    std::string idat(size, '\0');
    compress(reinterpret_cast<Bytef*>(&idat[0]), &size, reinterpret_cast<const Bytef*>(row.data()), uLong(row.size()));
    idat.resize(size);
    return PngFile(side, side, 8, 0, idat);
}

// A whole 2 x 2 8-bit PNG of zero samples in a layout minihost does not
// take: palette (3, with its palette) or grey and alpha (4).
std::string TinyPng(char colourType, int bytesPerPixel) {
    const std::string idat = Zipped(std::string(2 * (1 + 2 * bytesPerPixel), '\0'));
    const std::string ihdr = Be32(2) + Be32(2) + std::string{8, colourType, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) +
           (colourType == 3 ? Chunk("PLTE", std::string(3, '\0')) : "") + Chunk("IDAT", idat) + Chunk("IEND", "");
}

// A little-endian TIFF of one uncompressed strip, its tags as given, the
// strip at stripAt (0: after the tags) and data there; a palette gets a
// grey colour map.
std::string HandTiff(uint32_t w, uint32_t h, uint16_t spp, uint16_t bits, uint16_t photometric, uint16_t format = 1,
                     uint32_t stripAt = 0, std::string data = "") {
    auto le16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    auto le32 = [&](uint32_t v) { return le16(v) + le16(v >> 16); };
    const bool palette = photometric == 3;
    const uint32_t colours = palette ? 3u << bits : 0, count = palette ? 11 : 10;
    const uint32_t mapAt = 8 + 2 + 12 * count + 4, dataAt = mapAt + 2 * colours;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t n, uint32_t value) {
        return le16(tag) + le16(type) + le32(n) + (type == 3 && n == 1 ? le16(value) + le16(0) : le32(value));
    };
    std::string ifd = entry(256, 4, 1, w) + entry(257, 4, 1, h) + entry(258, 3, 1, bits) + entry(259, 3, 1, 1) +
                      entry(262, 3, 1, photometric) + entry(273, 4, 1, stripAt ? stripAt : dataAt) + entry(277, 3, 1, spp) +
                      entry(278, 4, 1, h) + entry(279, 4, 1, uint32_t(uint64_t{w} * h * spp * bits / 8)) +
                      (palette ? entry(320, 3, colours, mapAt) : "") + entry(339, 3, 1, format);
    std::string map;
    for (uint32_t i = 0; i < colours; ++i) map += le16((i % (1u << bits)) * 257);
    return std::string("II*\0", 4) + le32(8) + le16(count) + ifd + le32(0) + map + data;
}

class MinihostTest : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return temp.File(name); }
    MinihostOutcome Host(const std::string& args) { return RunMinihost(args); }

    void WriteConfig(const char* name, const KernelParams& p) {
        std::ofstream(P(name), std::ios::binary).write(reinterpret_cast<const char*>(&p), sizeof p);
    }
    TempDir temp{"minihost"};
};

TEST_F(MinihostTest, SixteenBitFramesPassThroughExactly) {
    std::string error;
    ASSERT_TRUE(WritePng8(P("gray.png"), 2, 2, 1, {1, 2, 3, 4}, &error)) << error;
    // An identity configuration leaves every pixel: the output shows the scaling.
    KernelParams p = DefaultParams();
    p.kernel.weights[40] = 1;
    WriteConfig("identity.cfg", p);
    std::vector<uint16_t> rgba16(2 * 2 * 4);
    std::mt19937 rng(1);
    for (auto& v : rgba16) v = uint16_t(rng());
    ASSERT_TRUE(WritePng16(P("in16.png"), 2, 2, 4, rgba16.data(), &error)) << error;
    MinihostOutcome r = Host("render \"" + P("in16.png") + "\" \"" + P("out16.png") + "\" --config \"" + P("identity.cfg") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    FrameImage out;
    ASSERT_TRUE(ReadPng(P("out16.png"), &out, &error)) << error;
    EXPECT_EQ(out.bitDepth, 16);
    EXPECT_EQ(out.channels, 4);
    EXPECT_EQ(out.samples, rgba16);

    // 8-bit samples become 16-bit by 257 (255 is 65535); no alpha means opaque.
    const std::vector<uint8_t> rgb8 = {0, 1, 2, 127, 128, 255, 254, 3, 200, 10, 20, 30};
    ASSERT_TRUE(WritePng8(P("in8.png"), 2, 2, 3, rgb8, &error)) << error;
    r = Host("render \"" + P("in8.png") + "\" \"" + P("out8.png") + "\" --config \"" + P("identity.cfg") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    ASSERT_TRUE(ReadPng(P("out8.png"), &out, &error)) << error;
    ASSERT_EQ(out.samples.size(), 16u);
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out.samples[4 * i + c], rgb8[3 * i + c] * 257) << i;
        EXPECT_EQ(out.samples[4 * i + 3], 65535);
    }

    // What a frame carries is kept, alone and in a batch: how it is to be
    // shown (the first profile of two, and no sRGB beside it, as PNG allows,
    // said once), its resolution, text, Exif and background (widened as its
    // samples are); sBIT and tIME, which the filter makes untrue, are not.
    const std::string gama = Be32(45455), phys = Be32(11811) + Be32(11811) + '\1', exif = "MM\0*exif bytes";
    const std::string itxt = std::string("Title\0\0\0en\0Titel\0", 17) + "a frame", text = std::string("Author\0me", 9);
    std::string meta = Chunk("gAMA", gama) + Chunk("iCCP", Iccp("first")) + Chunk("iCCP", Iccp("second")) +
                       Chunk("sRGB", std::string(1, '\0')) + Chunk("pHYs", phys) + Chunk("tEXt", text) +
                       Chunk("iTXt", itxt) + Chunk("eXIf", exif) + Chunk("bKGD", std::string("\0\x10\0\x20\0\xff", 6)) +
                       Chunk("sBIT", "\x08\x08\x08") + Chunk("tIME", std::string("\x07\xea\x0c\x08\x01\x02\x03", 7));
    std::ofstream(P("meta.png"), std::ios::binary) << PngFile(2, 1, 8, 2, Zipped(std::string(1, '\0') + std::string(6, '\x40')), meta);
    const std::string identity = " --config \"" + P("identity.cfg") + "\"";
    r = Host("render \"" + P("meta.png") + "\" \"" + P("meta_out.png") + "\"" + identity);
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, "minihost: warning: " + P("meta.png") + ": its colour chunks are kept as PNG allows, without a "
                     "second iCCP, sRGB beside the profile before it\n");
    ASSERT_EQ(Host("render \"" + P("meta.png") + "\" --out-dir \"" + P("batch") + "\"" + identity).status, 0u);
    for (const char* name : {"meta_out.png", "batch\\meta.png"}) {
        const std::string file = ReadAll(P(name));
        EXPECT_EQ(ChunkTypes(file), "IHDR gAMA iCCP bKGD eXIf pHYs tEXt iTXt IDAT IEND") << name;
        for (const std::string& kept : {Chunk("gAMA", gama), Chunk("pHYs", phys), Chunk("tEXt", text),
                                        Chunk("iTXt", itxt), Chunk("eXIf", exif)})
            EXPECT_NE(file.find(kept), std::string::npos) << name << ": " << kept.substr(4, 4);
        EXPECT_NE(file.find("iCCPfirst"), std::string::npos) << name;
        EXPECT_NE(file.find(Chunk("bKGD", std::string("\x10\x10\x20\x20\xff\xff", 6))), std::string::npos) << name;
    }
    // Alone, an sRGB intent is kept, and libpng's gAMA and cHRM for it are not added.
    std::ofstream(P("srgb.png"), std::ios::binary)
        << PngFile(2, 1, 8, 2, Zipped(std::string(7, '\0')), Chunk("sRGB", std::string(1, '\3')));
    r = Host("render \"" + P("srgb.png") + "\" \"" + P("srgb_out.png") + "\"" + identity);
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ChunkTypes(ReadAll(P("srgb_out.png"))), "IHDR sRGB IDAT IEND");
    EXPECT_NE(ReadAll(P("srgb_out.png")).find(Chunk("sRGB", std::string(1, '\3'))), std::string::npos);
    // A tRNS colour key becomes alpha, at 8 and 16 bits.
    for (const char depth : {8, 16}) {
        std::string row(1, '\0');  // the key (1, 2, 3), then a pixel one sample off it
        for (const char v : {1, 2, 3, 1, 2, 4}) row += std::string(depth / 8 - 1, '\0') + v;
        std::ofstream(P("key.png"), std::ios::binary)
            << PngFile(2, 1, depth, 2, Zipped(row), Chunk("tRNS", std::string("\0\1\0\2\0\3", 6)));
        ASSERT_EQ(Host("render \"" + P("key.png") + "\" \"" + P("key_out.png") + "\"" + identity).status, 0u);
        ASSERT_TRUE(ReadPng(P("key_out.png"), &out, &error)) << error;
        EXPECT_EQ(out.samples[3], 0) << int(depth);
        EXPECT_EQ(out.samples[7], 65535) << int(depth);
    }

    // The gray 8-bit file is not a frame.
    r = Host("render \"" + P("gray.png") + "\" \"" + P("x.png") + "\"");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
}

TEST_F(MinihostTest, SelectsByObjectIdsAndStopsWhenAsked) {
    const uint32_t w = 8, h = 6;
    std::vector<uint16_t> frame(w * h * 4), ids(w * h);
    std::mt19937 rng(2);
    for (auto& v : frame) v = uint16_t(rng() % 60000);
    for (uint32_t i = 0; i < w * h; ++i) ids[i] = i % 3 == 0 ? 2 : 9;
    std::string error;
    ASSERT_TRUE(WritePng16(P("frame.png"), w, h, 4, frame.data(), &error));
    ASSERT_TRUE(WritePng16(P("ids.png"), w, h, 1, ids.data(), &error));
    MinihostOutcome r = Host("config \"" + P("inv.cfg") + "\" --row \"0 0 0\" --row \"0 0 0\" --row \"0 0 0\" --invert 1 "
                 "--source object --object-id 2 --name Negative");
    ASSERT_EQ(r.status, 0u) << r.err;
    r = Host("render \"" + P("frame.png") + "\" \"" + P("out.png") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids \"" + P("ids.png") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    FrameImage out;
    ASSERT_TRUE(ReadPng(P("out.png"), &out, &error));
    for (uint32_t i = 0; i < w * h; ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(out.samples[4 * i + c], ids[i] == 2 && c < 3 ? 65535 : frame[4 * i + c]) << i << "," << c;

    r = Host("render \"" + P("frame.png") + "\" \"" + P("stop.png") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids \"" + P("ids.png") + "\" --abort-at-line 3");
    EXPECT_EQ(r.status, 4u);
    ASSERT_TRUE(ReadPng(P("stop.png"), &out, &error));
    for (uint32_t i = 0; i < w * h; ++i) {
        const bool filtered = ids[i] == 2 && i / w < 3;
        EXPECT_EQ(out.samples[4 * i], filtered ? 65535 : frame[4 * i]) << i;
    }
    r = Host("render \"" + P("frame.png") + "\" \"" + P("stop.png") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids \"" + P("ids.png") + "\" --abort-at-line 0");
    EXPECT_EQ(r.status, 4u);
    EXPECT_NE(r.err.find("stopped before its first line"), std::string::npos) << r.err;
}

// A batch: one filter for every frame, each frame with its own ID image by
// name; a bad frame is reported by name while the others are filtered; a
// stop leaves only whole frames behind.
TEST_F(MinihostTest, BatchFiltersEveryFrameWithItsOwnIds) {
    const uint32_t w = 7, h = 5;
    const char* names[] = {"a.png", "b.png", "c.png"};
    CreateDirectoryA(P("frames").c_str(), nullptr);
    CreateDirectoryA(P("ids").c_str(), nullptr);
    std::vector<std::vector<uint16_t>> frames, ids;
    std::mt19937 rng(3);
    std::string error;
    for (const char* name : names) {
        std::vector<uint16_t> frame(w * h * 4), id(w * h);
        for (auto& v : frame) v = uint16_t(rng());
        for (auto& v : id) v = rng() % 2 ? 2 : 5;
        ASSERT_TRUE(WritePng16(P("frames") + "\\" + name, w, h, 4, frame.data(), &error)) << error;
        ASSERT_TRUE(WritePng16(P("ids") + "\\" + name, w, h, 1, id.data(), &error)) << error;
        frames.push_back(frame);
        ids.push_back(id);
    }
    // Its header promises pixels that never come.
    std::ofstream(P("frames") + "\\d.png", std::ios::binary) << PngFile(w, h, 16, 6, "");
    MinihostOutcome r = Host("config \"" + P("inv.cfg") + "\" --row \"0 0 0\" --row \"0 0 0\" --row \"0 0 0\" --invert 1 "
                     "--source object --object-id 2");
    ASSERT_EQ(r.status, 0u) << r.err;
    auto expectFiltered = [&](const std::string& path, size_t f) {
        FrameImage out;
        ASSERT_TRUE(ReadPng(path, &out, &error)) << error;
        ASSERT_EQ(out.samples.size(), frames[f].size());
        for (uint32_t i = 0; i < w * h; ++i)
            for (int c = 0; c < 4; ++c)
                EXPECT_EQ(out.samples[4 * i + c], ids[f][i] == 2 && c < 3 ? 65535 : frames[f][4 * i + c])
                    << path << " pixel " << i << " channel " << c;
    };

    r = Host("render \"" + P("frames") + "\" --out-dir \"" + P("out") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids-dir \"" + P("ids") + "\"");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(CountLines(r.err), 2) << r.err;
    EXPECT_NE(r.err.find("d.png: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 4 frames failed"), std::string::npos) << r.err;
    for (size_t f = 0; f < 3; ++f) expectFiltered(P("out") + "\\" + names[f], f);
    EXPECT_EQ(GetFileAttributesA((P("out") + "\\d.png").c_str()), INVALID_FILE_ATTRIBUTES);

    // Stopped in the second frame: the first is whole, nothing else written.
    const std::string list = "\"" + P("frames") + "\\a.png\" \"" + P("frames") + "\\b.png\" \"" + P("frames") +
                             "\\c.png\"";
    r = Host("render " + list + " --out-dir \"" + P("stopped") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids-dir \"" + P("ids") + "\" --abort-at-line " + std::to_string(h + 2));
    EXPECT_EQ(r.status, 4u) << r.err;
    EXPECT_NE(r.err.find("stopped at line 2 of"), std::string::npos) << r.err;
    expectFiltered(P("stopped") + "\\a.png", 0);
    EXPECT_EQ(GetFileAttributesA((P("stopped") + "\\b.png").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((P("stopped") + "\\c.png").c_str()), INVALID_FILE_ATTRIBUTES);

    // A stop after a failure still counts the failure.
    r = Host("render \"" + P("frames") + "\\d.png\" " + list + " --out-dir \"" + P("stopped2") + "\" --config \"" +
             P("inv.cfg") + "\" --object-ids-dir \"" + P("ids") + "\" --abort-at-line " + std::to_string(h + 2));
    EXPECT_EQ(r.status, 4u) << r.err;
    EXPECT_NE(r.err.find("1 of 4 frames written: " + P("stopped2") + "\\a.png; 1 of 4 frames failed\n"),
              std::string::npos) << r.err;

    // Two frames of one name would overwrite each other: refused up front.
    r = Host("render \"" + P("frames") + "\\a.png\" \"" + P("ids") + "\\a.png\" --out-dir \"" + P("twice") + "\"");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
}

// A batch decodes and encodes other frames while one renders; what it leaves
// is what single renders of the same frames write, byte for byte, whatever
// fails or stops among them, and never a partial frame.
TEST_F(MinihostTest, BatchWritesWhatSingleRendersWrite) {
    struct Frame {
        const char* name;
        uint32_t w, h;
        bool broken;  // cut short: its decode fails
    };
    // Lines of the run, in order: a 0-5, b 6-10, d 11-18, e 19-22; c has none.
    const Frame frames[] = {{"a.png", 9, 6, false}, {"b.png", 12, 5, false}, {"c.png", 6, 6, true},
                            {"d.png", 7, 8, false}, {"e.png", 5, 4, false}};
    CreateDirectoryA(P("in").c_str(), nullptr);
    CreateDirectoryA(P("single").c_str(), nullptr);
    std::mt19937 rng(5);
    std::string error;
    for (const Frame& f : frames) {
        std::vector<uint16_t> px(f.w * f.h * 4);
        for (auto& v : px) v = uint16_t(rng());
        const std::string path = P("in") + "\\" + f.name;
        ASSERT_TRUE(WritePng16(path, f.w, f.h, 4, px.data(), &error)) << error;
        if (f.broken) {
            const std::string whole = ReadAll(path);
            std::ofstream(path, std::ios::binary | std::ios::trunc) << whole.substr(0, whole.size() - 30);
        }
    }
    MinihostOutcome r = Host("config \"" + P("k.cfg") + "\" --row \"1 -2 3\" --row \"-4 21 -6\" --row \"7 -8 9\" --divide 21");
    ASSERT_EQ(r.status, 0u) << r.err;
    const std::string cfg = " --config \"" + P("k.cfg") + "\"";
    std::vector<std::string> single;  // each whole frame's bytes, rendered alone
    for (const Frame& f : frames) {
        if (f.broken) {
            single.emplace_back();
            continue;
        }
        r = Host("render \"" + P("in") + "\\" + f.name + "\" \"" + P("single") + "\\" + f.name + "\"" + cfg);
        ASSERT_EQ(r.status, 0u) << r.err;
        single.push_back(ReadAll(P("single") + "\\" + f.name));
    }

    // A stop names its frame and line, and leaves the whole frames before it.
    struct Run {
        int abortAt;  // -1: runs to its end
        int written;  // frames 0 .. written - 1 (c excepted) are left, nothing else
        const char* says;
    } runs[] = {
        {-1, 5, "1 of 5 frames failed"},
        {0, 0, "stopped at line 0 of"},
        {5, 0, "stopped at line 5 of"},
        {6, 1, "stopped at line 0 of"},
        {13, 3, "stopped at line 2 of"},
        {22, 4, "stopped at line 3 of"},
    };
    for (const Run& run : runs) {
        const std::string out = P(("out" + std::to_string(run.abortAt + 1)).c_str());
        r = Host("render \"" + P("in") + "\" --out-dir \"" + out + "\"" + cfg +
                 (run.abortAt < 0 ? "" : " --abort-at-line " + std::to_string(run.abortAt)));
        const std::string what = "stop at " + std::to_string(run.abortAt) + ": " + r.err;
        EXPECT_EQ(r.status, run.abortAt < 0 ? 2u : 4u) << what;
        EXPECT_NE(r.err.find(run.says), std::string::npos) << what;
        EXPECT_EQ(CountLines(r.err), run.written > 2 ? 2 : 1) << what;  // c's failure once the batch reaches it
        std::vector<std::string> expected;
        for (int i = 0; i < run.written; ++i)
            if (!frames[i].broken) {
                expected.push_back(frames[i].name);
                EXPECT_TRUE(ReadAll(out + "\\" + frames[i].name) == single[i]) << frames[i].name << ", " << what;
            }
        EXPECT_EQ(FolderNames(out), expected) << what;
        if (run.abortAt >= 0) {
            EXPECT_NE(r.err.find(std::to_string(expected.size()) + " of 5 frames written"), std::string::npos) << what;
        }
    }

    // A frame the plug-in cannot filter while others are held is tried alone,
    // and then fails as it does alone; the frames around it are written.
    const std::vector<uint16_t> big(65 * 65 * 4, 500), small(8 * 8 * 4, 700);
    CreateDirectoryA(P("mem").c_str(), nullptr);
    for (const char* name : {"a.png", "c.png"})
        ASSERT_TRUE(WritePng16(P("mem") + "\\" + name, 8, 8, 4, small.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("mem\\b.png"), 65, 65, 4, big.data(), &error)) << error;
    r = Host("--plugin \"" + BinDir() + "\\SHORTMEM.FLT\" render \"" + P("mem") + "\" --out-dir \"" + P("memout") +
             "\"" + cfg);
    EXPECT_EQ(r.status, 2u) << r.err;
    EXPECT_EQ(CountLines(r.err), 2) << r.err;
    EXPECT_NE(r.err.find("not enough memory to filter " + P("mem") + "\\b.png (65 x 65)"), std::string::npos) << r.err;
    EXPECT_EQ(FolderNames(P("memout")), (std::vector<std::string>{"a.png", "c.png"}));
}

// --time names the path and instruction set of the render: what this
// processor runs for the configuration, or none when nothing is convolved.
TEST_F(MinihostTest, TimeNamesThePathTheRenderTakes) {
    std::string error;
    std::vector<uint16_t> frame(20 * 9 * 4, 30000), ids(20 * 9, 1);
    ASSERT_TRUE(WritePng16(P("t.png"), 20, 9, 4, frame.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("t_ids.png"), 20, 9, 1, ids.data(), &error)) << error;
    // The level is the processor's to choose, and differs by kernel on some.
    auto level = [](int k, bool narrow, bool separable) {
        KernelTraits t;
        t.k = k;
        t.narrow = narrow;
        t.splittable = !narrow;
        t.separable = separable;
        return std::string(SimdName(ChooseRoute(HostCpuFeatures(), t, ConvolveOptions()).simd));
    };
    struct Case {
        const char* config;
        const char* extra;
        std::string path;
    };
    const Case cases[] = {
        {"--row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\"", "", "planar, " + level(3, true, false)},
        {"--row \"1 2 3 4 3 2 1\" --row \"2 4 6 8 6 4 2\" --row \"3 6 9 12 9 6 3\" --row \"4 8 12 16 12 8 4\" --row \"3 6 9 12 9 6 3\" --row \"2 4 6 8 6 4 2\" --row \"1 2 3 4 3 2 1\" --divide 256",
         "", "separable, " + level(7, true, true)},
        {"--row \"99999 0 0\" --row \"0 99999 0\" --row \"0 0 99999\" --divide 99999", "",
         "split planar, " + level(3, false, false)},
        {"--row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\" --source object --object-id 1",
         " --object-ids \"t_ids.png\"", "planar, " + level(3, true, false)},
    };
    for (const Case& c : cases) {
        MinihostOutcome r = Host("config \"" + P("t.cfg") + "\" " + c.config);
        ASSERT_EQ(r.status, 0u) << r.err;
        std::string extra = c.extra;
        const size_t at = extra.find("t_ids.png");
        if (at != std::string::npos) extra.replace(at, 9, P("t_ids.png"));
        r = Host("render \"" + P("t.png") + "\" \"" + P("t_out.png") + "\" --config \"" + P("t.cfg") + "\" --time" + extra);
        ASSERT_EQ(r.status, 0u) << r.err;
        r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());  // text-mode stdout
        EXPECT_NE(r.out.find("render-ms "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("render-path " + c.path + "\n"), std::string::npos) << c.config << ": " << r.out;
    }
    // Without --time only the file written is said.
    const MinihostOutcome quiet = Host("render \"" + P("t.png") + "\" \"" + P("t_out.png") + "\" --config \"" + P("t.cfg") +
                               "\" --object-ids \"" + P("t_ids.png") + "\"");
    ASSERT_EQ(quiet.status, 0u) << quiet.err;
    EXPECT_EQ(quiet.out.find("render-"), std::string::npos) << quiet.out;
    EXPECT_EQ(CountLines(quiet.out), 1) << quiet.out;
}

TEST_F(MinihostTest, ConfigWritesTheRecordTheDialogWould) {
    MinihostOutcome r = Host("config \"" + P("sharp.cfg") + "\" --row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\" "
                 "--source material --material-id 3 --divide 1 --offset 7 --name Sharpen");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out, "wrote " + P("sharp.cfg") + ", 612 bytes: a 3 x 3 kernel named 'Sharpen' for material ID 3\n");
    const std::string bytes = ReadAll(P("sharp.cfg"));
    ASSERT_EQ(bytes.size(), 612u);
    KernelParams p;
    std::memcpy(&p, bytes.data(), sizeof p);
    EXPECT_EQ(p.stamp, 0x33A25539u);
    EXPECT_EQ(p.source, 1010);
    EXPECT_EQ(p.materialId, 3);
    EXPECT_EQ(p.kernel.kernelSize, 3);
    EXPECT_EQ(p.kernel.weights[9 * 4 + 4], 5);
    EXPECT_EQ(p.kernel.weights[9 * 3 + 4], -1);
    EXPECT_EQ(p.kernel.weights[9 * 4 + 3], -1);
    EXPECT_EQ(p.kernel.weights[0], 0);
    EXPECT_EQ(p.kernel.offset, 7);
    EXPECT_STREQ(p.name, "Sharpen");

    // A 5-row kernel whose outer ring is empty is a 3 x 3 kernel.
    r = Host("config \"" + P("five.cfg") + "\" --row \"0 0 0 0 0\" --row \"0 0 1 0 0\" --row \"0 1 1 1 0\" "
             "--row \"0 0 1 0 0\" --row \"0 0 0 0 0\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    std::memcpy(&p, ReadAll(P("five.cfg")).data(), sizeof p);
    EXPECT_EQ(p.kernel.kernelSize, 3);

    // Each refusal names the option it is about.
    const std::pair<const char*, const char*> bad[] = {
        {"--row \"1 2\" --row \"1 2\"", "--row"},
        {"--row \"1 2 3\" --row \"1 2\" --row \"1 2 3\"", "--row"},
        {"--divide 1x", "--divide"},
        {"--divide 99999999999", "--divide"},
        {"--source sky", "--source"},
        {"--bogus 1", "--bogus"},
        {"--source object --object-id 70000", "--object-id"},
        {"--source object --object-id -1", "--object-id"},
        {"--source material --material-id 256", "--material-id"},
        {"--invert 2", "--invert"},
        {"--object-id 2", "--object-id"},
        {"--source object --material-id 2", "--material-id"},
        // What the dialog holds, so that a file made here opens in it unchanged.
        {"--source material --material-id 16", "--material-id"},
        {"--divide 100000", "--divide"},
        {"--offset -100000", "--offset"},
        {"--kernel \"\"", "--kernel"},
        // Without its ID the record would select ID 0, the background.
        {"--source object --row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\"", "needs --object-id"},
        {"--source material --kernel K", "needs --material-id"},
    };
    for (const auto& [args, option] : bad) {
        r = Host("config \"" + P("bad.cfg") + "\" " + args);
        EXPECT_EQ(r.status, 2u) << args;
        EXPECT_EQ(CountLines(r.err), 1) << args << ": " << r.err;
        EXPECT_NE(r.err.find(option), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_FALSE(FileExists(P("bad.cfg")));
}

// Named kernels come from VLM.SET of the settings folder, as the dialog's
// list gives them: weights, size, Divide, Offset, Invert and name.
TEST_F(MinihostTest, ConfigTakesANamedKernelFromTheLibrary) {
    const std::string settings = "--settings-dir \"" + temp.Path() + "\" ";
    MinihostOutcome r = Host(settings + "kernels");
    EXPECT_EQ(r.status, 2u);
    EXPECT_NE(r.err.find("VLM.SET"), std::string::npos) << r.err;

    ASSERT_TRUE(WriteBytes(P("VLM.SET"), EntryText("Soft", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0) +
                                             EntryText("Lift", {{0, 0, 0, 0, 2}, {0, 0, 0, 0, 0}, {0, 0, -1, 0, 0},
                                                                {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
                                                       -3, 40000, 1)));
    r = Host(settings + "kernels");
    ASSERT_EQ(r.status, 0u) << r.err;
    r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
    EXPECT_EQ(r.out, "Soft\nLift\n");

    // What is given beside the kernel changes it; the rest is the library's.
    r = Host(settings + "config \"" + P("lift.cfg") + "\" --kernel Lift --offset 7 --source object --object-id 4");
    ASSERT_EQ(r.status, 0u) << r.err;
    KernelParams expected = DefaultParams();
    expected.source = kSourceObject;
    expected.objectId = 4;
    expected.kernel.kernelSize = 5;
    expected.kernel.weights[9 * 2 + 6] = 2;
    expected.kernel.weights[9 * 4 + 4] = -1;
    expected.kernel.divide = -3;
    expected.kernel.offset = 7;
    expected.kernel.invert = 1;
    std::strcpy(expected.name, "Lift");
    const std::string bytes = ReadAll(P("lift.cfg"));
    ASSERT_EQ(bytes.size(), sizeof expected);
    EXPECT_EQ(std::memcmp(bytes.data(), &expected, sizeof expected), 0);

    r = Host(settings + "config \"" + P("x.cfg") + "\" --kernel lift");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("minihost kernels"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(P("x.cfg")));
}

// Every command that writes refuses, before anything is written, an output
// that is not its to replace, however the path is spelled, in one line; every
// file is read back byte for byte after each run. A dialog that shows is
// answered with OK, as a setup past the guard would then write.
TEST_F(MinihostTest, NoCommandReplacesWhatIsNotItsOwn) {
    std::string error;
    std::vector<uint16_t> frame(5 * 4 * 4, 1234), ids(5 * 4, 2);
    for (const char* dir : {"frames", "ids", "settings", "plug", "as"}) CreateDirectoryA(P(dir).c_str(), nullptr);
    for (const char* name : {"f.png", "frames\\f.png", "other.png", "ro.png"})
        ASSERT_TRUE(WritePng16(P(name), 5, 4, 4, frame.data(), &error)) << error;
    for (const char* name : {"ids.png", "ids\\f.png"}) ASSERT_TRUE(WritePng16(P(name), 5, 4, 1, ids.data(), &error));
    ASSERT_TRUE(CopyFileA(PluginPath().c_str(), P("plug\\VLM.FLT").c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(P("settings\\VLM.SET"), EntryText("K", {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 1, 0, 0)));
    KernelParams p = DefaultParams();
    p.source = kSourceObject;
    p.objectId = 2;
    p.kernel.weights[40] = 2;
    for (const char* name : {"o.cfg", "other.cfg", "ro.cfg"}) WriteConfig(name, p);
    for (const char* name : {"ro.png", "ro.cfg"}) SetFileAttributesA(P(name).c_str(), FILE_ATTRIBUTE_READONLY);
    const char* const files[] = {"f.png", "frames\\f.png", "other.png", "ro.png", "ids.png", "ids\\f.png",
                                 "plug\\VLM.FLT", "settings\\VLM.SET", "o.cfg", "other.cfg", "ro.cfg"};
    std::vector<std::string> before;
    for (const char* name : files) before.push_back(ReadAll(P(name)));

    auto q = [](const std::string& path) { return "\"" + path + "\" "; };
    const std::string host = "--plugin " + q(P("plug\\VLM.FLT")) + "--settings-dir " + q(P("settings"));
    const std::string cfg = " --config " + q(P("o.cfg")) + "--object-ids " + q(P("ids.png"));
    // The commands, each writing to out; a batch writes a frame named as out
    // into out's folder, from out itself when it is an input, else from a
    // frame of that name elsewhere.
    const std::function<std::string(const std::string&, const std::string&)> commands[] = {
        [&](auto out, auto) { return "render " + q(P("f.png")) + q(P(out)) + cfg; },
        [&](auto out, auto name) {
            const std::string in = out == ".\\F.PNG" ? P("f.png") : P("as\\" + name);
            CopyFileA(P("f.png").c_str(), P("as\\" + name).c_str(), FALSE);
            const size_t slash = out.rfind('\\');
            return "render " + q(in) + "--out-dir " + q(P(slash == out.npos ? "." : out.substr(0, slash))) + cfg;
        },
        [&](auto out, auto) { return "config " + q(P(out)) + "--kernel K"; },
        [&](auto out, auto) { return "setup " + q(P(out)); },
        [&](auto out, auto) { return "sheet " + q(P("f.png")) + q(P(out)); },
    };
    struct Row {
        const char* what;
        const char* out;   // spelled as a user might
        const char* name;  // what a batch writes there
        // Why render, batch, config, setup and sheet each refuse it: i, it is
        // what the run keeps (kept); k, a file of another kind; r, read-only;
        // '.', the command is not tried.
        const char* refused;
        const char* kept;
    };
    const Row rows[] = {
        {"the input frame", ".\\F.PNG", "F.PNG", "iikki", "frame"},
        {"the ID image", "IDS.PNG", "IDS.PNG", "iikk.", "--object-ids image"},
        {"the configuration", "settings\\..\\o.cfg", "o.cfg", "ii..k", "configuration"},
        {"VLM.SET", "settings\\.\\vlm.set", "vlm.set", "iiiii", "kernel library"},
        {"VLM.FLT", "plug\\VLM.FLT. ", "VLM.FLT", "iiiii", "plug-in"},
        {"a read-only PNG", "ro.png", "ro.png", "rr..r", ""},
        {"a read-only configuration", "ro.cfg", "ro.cfg", "..rr.", ""},
        {"a PNG, for config", "other.png", "other.png", "..kk.", ""},
        {"a configuration, for render and sheet", "other.cfg", "other.cfg", "kk..k", ""},
    };
    std::vector<std::pair<std::string, std::vector<std::string>>> runs;  // the arguments, and words of the reason
    for (const Row& row : rows)
        for (int c = 0; c < 5; ++c) {
            const char why = row.refused[c];
            if (why == '.') continue;
            runs.push_back({host + commands[c](row.out, row.name),
                            why == 'i'   ? std::vector<std::string>{"would replace the ", row.kept}
                            : why == 'k' ? std::vector<std::string>{" exists and is not a"}
                                         : std::vector<std::string>{" is marked read-only"}});
        }
    // A batch into the folder of its frames or of its IDs.
    runs.push_back({"render " + q(P("frames")) + "--out-dir " + q(P("frames\\.")) + cfg, {"is the input folder"}});
    runs.push_back({"render " + q(P("frames")) + "--out-dir " + q(P("IDS")) + "--config " + q(P("o.cfg")) +
                        "--object-ids-dir " + q(P("ids")),
                    {"is the --object-ids-dir folder"}});
    for (const auto& [args, reasons] : runs) {
        SCOPED_TRACE(args);
        ChildProcess child("\"" + BinDir() + "\\minihost.exe\" " + args);
        const HWND dialog = WaitForDialogOf(child.Process(), child.Id(), kControlCaption, 15000);
        if (dialog) Click(dialog, IDOK);
        EXPECT_EQ(dialog, nullptr);
        EXPECT_EQ(child.Finish(), 2u);
        const std::string err = child.Err();
        EXPECT_EQ(CountLines(err), 1) << err;
        for (const std::string& reason : reasons) EXPECT_NE(err.find(reason), std::string::npos) << err;
        for (size_t i = 0; i < before.size(); ++i) EXPECT_TRUE(ReadAll(P(files[i])) == before[i]) << files[i];
    }
    for (const char* name : {"ro.png", "ro.cfg"})
        EXPECT_TRUE(GetFileAttributesA(P(name).c_str()) & FILE_ATTRIBUTE_READONLY) << name;
}

BOOL WINAPI IgnoreCtrlC(DWORD) { return TRUE; }

// A console Ctrl-C or Ctrl-Break stops any command with status 4 and one
// line saying so; from that moment no file is created or replaced, even one
// whose encode was under way: a batch keeps exactly the frames committed
// before it, and says which. minihost sends the key to the console itself at
// the moment the row asks for, and this test, on the same console, ignores it.
TEST_F(MinihostTest, CtrlCWritesAndReplacesNothing) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    SetConsoleCtrlHandler(IgnoreCtrlC, TRUE);
    std::string error;
    const std::vector<uint16_t> frame(5 * 4 * 4, 1234), old(3 * 3 * 4, 77);
    ASSERT_TRUE(WritePng16(P("f.png"), 5, 4, 4, frame.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("out.png"), 3, 3, 4, old.data(), &error)) << error;
    CreateDirectoryA(P("seq").c_str(), nullptr);
    for (const char* name : {"f1.png", "f2.png", "f3.png", "f4.png"})
        ASSERT_TRUE(WritePng16(P("seq\\") + name, 5, 4, 4, frame.data(), &error)) << error;
    ASSERT_TRUE(WriteBytes(P("VLM.SET"), EntryText("A", {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 1, 0, 0) +
                                             EntryText("B", {{0, 1, 0}, {0, 1, 0}, {0, 0, 0}}, 2, 0, 0)));
    KernelParams p = DefaultParams();
    p.kernel.weights[40] = 1;
    WriteConfig("k.cfg", p);
    const std::string before = ReadAll(P("out.png"));
    const std::string render = "render \"" + P("f.png") + "\" \"" + P("out.png") + "\" --config \"" + P("k.cfg") + "\"";
    auto batch = [&](const char* in, const char* out) {
        return "render \"" + P(in) + "\" --out-dir \"" + P(out) + "\" --config \"" + P("k.cfg") + "\"";
    };
    const struct {
        const char* when;  // "start", the line of the run, or "encode:N", the encode of its frame N
        std::string args, says;
        const char* outDir = nullptr;
        std::vector<std::string> left = {};  // what the batch leaves in outDir
    } rows[] = {
        {"start", render, "stopped by Ctrl-C before its first line; " + P("out.png") + " was not written"},
        {"2", render, "at line 2; " + P("out.png") + " was not written"},
        {"break:2", render, "render stopped by Ctrl-Break at line 2; " + P("out.png") + " was not written"},
        {"encode", render, "render stopped by Ctrl-C; nothing was written"},
        {"break:encode", render, "render stopped by Ctrl-Break; nothing was written"},
        {"start", batch("f.png", "o"), "0 of 1 frames written\n", "o"},
        // Frame 1 encoding, 2 rendering and 3 decoding as the key comes.
        {"encode:1", batch("seq", "o2"), "(by Ctrl-C), which was not written; 1 of 4 frames written: " + P("o2") +
                                             "\\f1.png\n", "o2", {"f1.png"}},
        {"6", "--settings-dir \"" + temp.Path() + "\" sheet \"" + P("f.png") + "\" \"" + P("s.png") + "\"",
         "sheet stopped by Ctrl-C; nothing was written"},
        {"start", "config \"" + P("new.cfg") + "\" --row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\"",
         "config stopped by Ctrl-C; nothing was written"},
        // A run that has said its line and is still there when the watchdog
        // comes: no second line.
        {"linger:2", render, "minihost: render stopped by Ctrl-C at line 2; " + P("out.png") + " was not written"},
    };
    for (const auto& row : rows) {
        SetEnvironmentVariableA("MINIHOST_TEST_CTRL_C", row.when);
        const MinihostOutcome r = RunMinihost(row.args, "minihost_stops.exe");
        SetEnvironmentVariableA("MINIHOST_TEST_CTRL_C", nullptr);
        EXPECT_EQ(r.status, 4u) << row.when << ": " << row.args;
        EXPECT_EQ(CountLines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_TRUE(ReadAll(P("out.png")) == before);
        EXPECT_EQ(FolderNames(temp.Path()), (std::vector<std::string>{"VLM.SET", "f.png", "k.cfg", "out.png"}));
        if (row.outDir) {
            EXPECT_EQ(FolderNames(P(row.outDir)), row.left) << row.when;
        }
    }

    // A plug-in that never answers (HANG.FLT, on frame b) is ended by the
    // first Ctrl-C after a few seconds, or by a second one at once; the line
    // names what was committed before it, and nothing else is there.
    const std::vector<uint16_t> big(65 * 65 * 4, 500);
    CreateDirectoryA(P("hang").c_str(), nullptr);
    ASSERT_TRUE(WritePng16(P("hang\\a.png"), 5, 4, 4, frame.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("hang\\b.png"), 65, 65, 4, big.data(), &error)) << error;
    const struct {
        const char* when;  // frame b's first line: HANG.FLT sends no progress for a
        const char* says;
        const char* outDir;
    } hung[] = {{"0", "minihost: stopped by Ctrl-C: the run did not answer within 3 s; ", "h1"},
                {"twice:0", "minihost: stopped by Ctrl-C: a second stop while the run had not answered the first; ", "h2"}};
    for (const auto& row : hung) {
        SetEnvironmentVariableA("MINIHOST_TEST_CTRL_C", row.when);
        ChildProcess child("\"" + BinDir() + "\\minihost_stops.exe\" --plugin \"" + BinDir() + "\\HANG.FLT\" " +
                           batch("hang", row.outDir));
        SetEnvironmentVariableA("MINIHOST_TEST_CTRL_C", nullptr);
        EXPECT_EQ(child.Finish(20000), 4u) << row.when;
        EXPECT_FALSE(child.TimedOut()) << row.when << ": the run was not ended";
        const std::string err = child.Err();
        EXPECT_EQ(CountLines(err), 1) << err;
        EXPECT_EQ(err.rfind(row.says, 0), 0u) << err;
        const std::vector<std::string> left = FolderNames(P(row.outDir));
        const std::string wrote = left.empty() ? "nothing was written\n" : "wrote " + P(row.outDir) + "\\a.png, nothing else\n";
        EXPECT_TRUE(left.empty() || left == std::vector<std::string>{"a.png"}) << left.size();
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), wrote.size())), wrote) << err;
    }
}

// A render that gives no line back (the plug-in could not have its working
// copies) is a failure: no output is written, and a batch names the frame,
// goes on with the others and counts it. A plug-in that faults ends the run
// in seconds with status 3 and one line naming the fault, the frame and
// exactly the files committed before it.
TEST_F(MinihostTest, AFrameLeftUnfilteredIsAFailure) {
    std::string error;
    const std::vector<uint16_t> big(65 * 65 * 4, 500), small(8 * 8 * 4, 700);
    CreateDirectoryA(P("in").c_str(), nullptr);
    ASSERT_TRUE(WritePng16(P("in\\a.png"), 8, 8, 4, small.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("in\\big.png"), 65, 65, 4, big.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("in\\small.png"), 8, 8, 4, small.data(), &error)) << error;
    WriteConfig("any.cfg", DefaultParams());
    const std::string host = "--plugin \"" + BinDir() + "\\SHORTMEM.FLT\" render ";
    const std::string cfg = " --config \"" + P("any.cfg") + "\"";

    MinihostOutcome r = Host(host + "\"" + P("in\\big.png") + "\" \"" + P("big_out.png") + "\"" + cfg);
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("not enough memory to filter"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("65 x 65"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(P("big_out.png")));

    r = Host(host + "\"" + P("in") + "\" --out-dir \"" + P("out") + "\"" + cfg);
    EXPECT_EQ(r.status, 2u);
    EXPECT_NE(r.err.find("big.png"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 3 frames failed"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(P("out\\big.png")));
    FrameImage out;
    ASSERT_TRUE(ReadPng(P("out\\small.png"), &out, &error)) << error;
    EXPECT_EQ(out.samples, small);

    const std::string fault = "--plugin \"" + BinDir() + "\\FAULT.FLT\" render ";
    const std::string says = "minihost: FAULT.FLT faulted during the render of " + P("in\\big.png") +
                             ": an access violation writing address 0x00000000 (code 0xC0000005, at +0x";
    for (const std::string& to : {"\"" + P("fault_out.png") + "\"", "--out-dir \"" + P("fout") + "\""}) {
        ChildProcess child("\"" + BinDir() + "\\minihost.exe\" " + fault + "\"" +
                           P(to[0] == '-' ? "in" : "in\\big.png") + "\" " + to + cfg);
        EXPECT_EQ(child.Finish(20000), 3u) << to;
        EXPECT_FALSE(child.TimedOut()) << "a debugger kept it waiting";
        const std::string err = child.Err();
        EXPECT_EQ(CountLines(err), 1) << err;
        EXPECT_EQ(err.rfind(says, 0), 0u) << err;
        // The frame before it may or may not have been committed when the
        // fault came: the line says which, and nothing else is there.
        const std::vector<std::string> left = FolderNames(P("fout"));
        const std::string wrote = left.empty() ? "nothing was written\n" : "wrote " + P("fout\\a.png") + ", nothing else\n";
        EXPECT_TRUE(left.empty() || left == std::vector<std::string>{"a.png"}) << left.size();
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), wrote.size())), wrote) << err;
    }
    EXPECT_FALSE(FileExists(P("fault_out.png")));

    // Over outputs that exist, again and again: stdout names a file exactly
    // when the fault's line does, however its commit and the fault fell.
    for (int run = 0; run < 12; ++run) {
        ChildProcess child("\"" + BinDir() + "\\minihost.exe\" " + fault + "\"" + P("in") + "\" --out-dir \"" +
                           P("fout") + "\"" + cfg);
        EXPECT_EQ(child.Finish(20000), 3u) << run;
        const std::string err = child.Err(), out = child.Out(), a = "wrote " + P("fout\\a.png");
        EXPECT_EQ(out.find(a) != std::string::npos, err.find(a) != std::string::npos) << run << ": " << err << out;
    }
}

// The host's library answers instead of throwing: an exception could not be
// caught across the DLL boundary.
TEST(HostLibrary, StorageTooLargeForTheAddressSpaceIsAnAnswer) {
    MemoryStorage storage(65535, 65535);  // 34 GB
    EXPECT_FALSE(storage.Ok());
    EXPECT_EQ(storage.Pixels(), nullptr);
    BMM_Color_64 pixel{};
    EXPECT_EQ(storage.ReadLine(0, 0, 1, &pixel), 0);
    EXPECT_EQ(storage.WriteLine(0, 0, 1, &pixel), 0);
    EXPECT_EQ(storage.linesWritten, 0);
}

// The bar fits an 80-column terminal whatever its figures, and makes no
// estimate before a second has passed.
TEST(ProgressBar, FitsEightyColumnsAndWaitsBeforeEstimating) {
    EXPECT_LE(ProgressText(99998, 99999, 65533, 65535, 1e5).size(), size_t(kBarColumns));
    EXPECT_LE(ProgressText(0, 1, 0, 65535, 9e9).size(), size_t(kBarColumns));
    EXPECT_EQ(ProgressText(0, 1, 10, 1000, 0.3).find("left"), std::string::npos);
    EXPECT_NE(ProgressText(0, 1, 499, 1000, 2.0).find("2.0 s left"), std::string::npos);
}

// The bar keeps to one line of the terminal: a message clears it, and the
// next frame's bar is drawn where it was, never a line left for each frame.
TEST_F(MinihostTest, ProgressBarRedrawsOneLine) {
    std::fflush(stderr);
    const int saved = _dup(2);
    FILE* caught = std::fopen(P("bar.txt").c_str(), "wb");
    ASSERT_TRUE(saved >= 0 && caught);
    _dup2(_fileno(caught), 2);
    {
        ProgressWindow progress(-1, true);
        for (int frame = 0; frame < 3; ++frame) {
            progress.BeginFrame(frame, 3);
            SendMessageA(progress.Handle(), kProgressMessage, 0, 9);
            progress.EndBar();
        }
    }
    std::fflush(stderr);
    _dup2(saved, 2);
    _close(saved);
    std::fclose(caught);
    const std::string bar = ReadAll(P("bar.txt"));
    EXPECT_NE(bar.find("frame 3/3"), std::string::npos) << bar;
    EXPECT_EQ(std::count(bar.begin(), bar.end(), '\n'), 0) << bar;
}

TEST_F(MinihostTest, BadInputGivesOneErrorLine) {
    std::string error;
    std::vector<uint16_t> frame(4 * 4 * 4, 1000), ids(3 * 4, 2);
    ASSERT_TRUE(WritePng16(P("f.png"), 4, 4, 4, frame.data(), &error));
    ASSERT_TRUE(WritePng16(P("small_ids.png"), 3, 4, 1, ids.data(), &error));
    std::ofstream(P("junk.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n this is no PNG at all";
    std::ofstream(P("huge.png"), std::ios::binary) << PngFile(65535, 65535, 8, 2, "");
    // A header that asks for 1 GB: refused by its size, before decoding.
    std::ofstream(P("bomb.png"), std::ios::binary) << OneRowGreyPng(32768);
    std::ofstream(P("short.cfg"), std::ios::binary) << std::string(611, '\0');
    KernelParams stranger = DefaultParams();
    stranger.stamp = 0x12345678;
    WriteConfig("stranger.cfg", stranger);
    KernelParams p = DefaultParams();
    p.kernel.weights[40] = 1;
    WriteConfig("whole.cfg", p);
    p.source = kSourceObject;
    WriteConfig("objects.cfg", p);
    p.source = kSourceMaterial;
    WriteConfig("materials.cfg", p);
    // Fields the plug-in would do nothing with: refused before a frame is read.
    const std::pair<const char*, void (*)(KernelParams*)> ignored[] = {
        {"source0.cfg", [](KernelParams* q) { q->source = 0; }},
        {"size0.cfg", [](KernelParams* q) { q->kernel.kernelSize = 0; }},
        {"size4.cfg", [](KernelParams* q) { q->kernel.kernelSize = 4; }},
        {"size11.cfg", [](KernelParams* q) { q->kernel.kernelSize = 11; }},
        {"material300.cfg", [](KernelParams* q) { q->source = kSourceMaterial, q->materialId = 300; }},
        {"object70000.cfg", [](KernelParams* q) { q->source = kSourceObject, q->objectId = 70000; }},
        {"object-1.cfg", [](KernelParams* q) { q->source = kSourceObject, q->objectId = -1; }},
    };
    for (const auto& [name, change] : ignored) {
        KernelParams q = DefaultParams();
        q.kernel.weights[40] = 1;
        change(&q);
        WriteConfig(name, q);
    }
    std::ofstream(P("palette.png"), std::ios::binary) << TinyPng(3, 1);
    std::ofstream(P("grey_alpha.png"), std::ios::binary) << TinyPng(4, 2);
    std::ofstream(P("wide.png"), std::ios::binary) << PngFile(70000, 1, 8, 2, "x");
    std::ofstream(P("a_file"), std::ios::binary) << "not a folder";
    const std::string whole = ReadAll(P("f.png"));
    std::ofstream(P("cut.png"), std::ios::binary) << whole.substr(0, whole.size() - 20);
    const std::vector<std::vector<int>> one = {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    ASSERT_TRUE(WriteBytes(P("VLM.SET"), EntryText("Edge finder", one, 1, 0, 0) + EntryText("Blur 3x3", one, 1, 0, 0) +
                                             EntryText("Blur 5x5", one, 1, 0, 0)));
    const std::string kernel = "--settings-dir \"" + temp.Path() + "\" config \"" + P("k.cfg") + "\" --kernel ";
    // TIFFs that lie, and kinds minihost does not take.
    const std::string rgb(4 * 4 * 3, '\x40');
    std::ofstream(P("t_side.tif"), std::ios::binary) << HandTiff(70000, 2, 3, 8, 2);
    std::ofstream(P("t_huge.tif"), std::ios::binary) << HandTiff(60000, 60000, 3, 8, 2);
    std::ofstream(P("t_offset.tif"), std::ios::binary) << HandTiff(4, 4, 3, 8, 2, 1, 0x7ffffff0u, rgb);
    std::ofstream(P("t_cut.tif"), std::ios::binary) << HandTiff(4, 4, 3, 8, 2, 1, 0, rgb.substr(0, 20));
    std::ofstream(P("t_cut_tags.tif"), std::ios::binary) << HandTiff(4, 4, 3, 8, 2, 1, 0, rgb).substr(0, 40);
    std::ofstream(P("t_float.tif"), std::ios::binary) << HandTiff(4, 4, 3, 32, 2, 3, 0, std::string(4 * 4 * 12, '\0'));
    std::ofstream(P("t_palette.tif"), std::ios::binary) << HandTiff(4, 4, 1, 8, 3, 1, 0, std::string(16, '\1'));
    std::ofstream(P("t_cmyk.tif"), std::ios::binary) << HandTiff(4, 4, 4, 8, 5, 1, 0, std::string(64, '\1'));
    std::ofstream(P("t_grey.tif"), std::ios::binary) << HandTiff(4, 4, 1, 8, 1, 1, 0, std::string(16, '\1'));
    ASSERT_TRUE(CopyFileA(P("f.png").c_str(), P("s.0001.png").c_str(), FALSE));
    const std::string seq = "render \"" + P("s.####.png") + "\" --config \"" + P("whole.cfg") + "\" ";
    const std::string toDir = " --out-dir \"" + P("d") + "\"";
    // A minihost.exe without HOSTLIB.DLL beside it, and one beside an empty file of its name.
    for (const char* dir : {"alone", "emptylib"}) {
        ASSERT_TRUE(CreateDirectoryA(P(dir).c_str(), nullptr));
        ASSERT_TRUE(CopyFileA((BinDir() + "\\minihost.exe").c_str(), (P(dir) + "\\minihost.exe").c_str(), TRUE));
    }
    ASSERT_TRUE(WriteBytes(P("emptylib\\HOSTLIB.DLL"), ""));
    // A frame whose name Windows takes for a device, as another system may write it.
    const HANDLE device = CreateFileA(("\\\\?\\" + P("nul .png")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    CloseHandle(device);

    // Each case, and a word of its one line that says what is wrong.
    const std::string out = " \"" + P("o.png") + "\"";
    auto render = [&](const char* in, const char* config) {
        return "render \"" + P(in) + "\"" + out + " --config \"" + P(config) + "\"";
    };
    auto renderTo = [&](const std::string& name) {
        return "render \"" + P("f.png") + "\" \"" + name + "\" --config \"" + P("whole.cfg") + "\"";
    };
    struct Case {
        std::string args;
        std::string word;
        std::string program = BinDir() + "\\minihost.exe";
    };
    std::vector<Case> cases = {
        {kernel + "\"edge FINDER\"", "did you mean 'Edge finder'?"},
        {kernel + "\"Edge fnider\"", "did you mean 'Edge finder'?"},
        {kernel + "blur", "did you mean 'Blur 3x3' or 'Blur 5x5'?"},
        // Run from its folder, where the loader would look for an import.
        {"/c cd /d \"" + P("alone") + "\" && minihost.exe info",
         "HOSTLIB.DLL is missing: it must be in the folder of minihost.exe, " + temp.Path() + "\\alone (", "cmd.exe"},
        {"/c cd /d \"" + P("emptylib") + "\" && minihost.exe info",
         P("emptylib") + "\\HOSTLIB.DLL is not a 32-bit Windows library (empty, damaged", "cmd.exe"},
        {kernel + std::string(10000, 'k'), "--kernel: no kernel named '" + std::string(60, 'k') + "... (10000 bytes in all)' in"},
        {render("nul .png", "whole.cfg"), "Windows opens the device NUL for this name, never a file"},
        {"render \"" + P("f.png") + "\" \"" + P(".\\f.png") + "\" --out-dir \"" + P("twice") + "\" --config \"" + P("whole.cfg") + "\"",
         "render: the frame " + P(".\\f.png") + " is given twice (also as " + P("f.png") + "); give each frame once"},
        {render("missing.png", "whole.cfg"), "no such file"},
        {render("junk.png", "whole.cfg"), "damaged"},
        {render("cut.png", "whole.cfg"), "cut short"},
        {render("huge.png", "whole.cfg"), "damaged"},
        {render("bomb.png", "whole.cfg"), "too large"},
        {render("f.png", "short.cfg"), "612 bytes"},
        {render("f.png", "stranger.cfg"), "not a configuration"},
        {render("f.png", "objects.cfg"), "--object-ids"},
        {render("f.png", "objects.cfg") + " --object-ids \"" + P("small_ids.png") + "\"", "--object-ids"},
        {render("f.png", "objects.cfg") + " --object-ids \"" + P("bomb.png") + "\"", "--object-ids"},
        {render("f.png", "materials.cfg") + " --material-ids \"" + P("small_ids.png") + "\"", "--material-ids"},
        {render("f.png", "whole.cfg") + " --object-ids-dir \"" + temp.Path() + "\"", "for a batch"},
        {render("f.png", "whole.cfg") + " --abort-at-line", "--abort-at-line"},
        {"render \"" + P("f.png") + "\"" + out, "--config"},
        {"render \"" + P("f.png") + "\" \"" + temp.Path() + "\" --config \"" + P("whole.cfg") + "\"", "is a folder"},
        {"render \"" + P("f.png") + "\" --config \"" + P("whole.cfg") + "\"", "OUT.png"},
        {"frobnicate", "unknown command"},
        {"--plugin \"" + P("nothing.flt") + "\" info", "no plug-in at"},
        {"--plugin \"" + BinDir() + "\\HOSTLIB.DLL\" info", "it is not a filter plug-in (its export 1 is "},
        {"--plugin \"" + BinDir() + "\\OLDVER.FLT\" info",
         "OLDVER.FLT: it was built for another interface of the host (version 0x07D00400, not 0x07D00500)"},
        {"--plugin \"" + BinDir() + "\\NOTAFILT.FLT\" render \"" + P("f.png") + "\" \"" + P("o.png") + "\" --config \"" +
             P("whole.cfg") + "\"",
         "NOTAFILT.FLT: its class 0 is not an image filter (kind code 3088)"},
        {render("f.png", "source0.cfg"), "source 0 is not"},
        {render("f.png", "size0.cfg"), "kernel size 0"},
        {render("f.png", "size4.cfg"), "kernel size 4"},
        {render("f.png", "size11.cfg"), "kernel size 11"},
        {render("f.png", "material300.cfg") + " --material-ids \"" + P("missing.png") + "\"", "material ID 300"},
        {render("f.png", "object70000.cfg") + " --object-ids \"" + P("missing.png") + "\"", "object ID 70000"},
        {render("f.png", "object-1.cfg") + " --object-ids \"" + P("missing.png") + "\"", "object ID -1"},
        {render("palette.png", "whole.cfg"), "a palette"},
        {render("grey_alpha.png", "whole.cfg"), "grey-and-alpha"},
        {render("wide.png", "whole.cfg"), "at most 65535 pixels a side"},
        {"render \"" + temp.Path() + "\"" + out + " --config \"" + P("whole.cfg") + "\"", "give --out-dir DIR"},
        {"render \"" + P("f.png") + "\" \"" + P("no_folder\\o.png") + "\" --config \"" + P("whole.cfg") + "\"",
         "does not exist"},
        {"render \"" + P("f.png") + "\" \"" + P("no_folder") + "/\" --config \"" + P("whole.cfg") + "\"",
         "names a folder"},
        {"render \"" + P("f.png") + "\" --out-dir \"\" --config \"" + P("whole.cfg") + "\"", "--out-dir: give"},
        {"render \"" + P("f.png") + "\" --out-dir \"" + P("a_file") + "\" --config \"" + P("whole.cfg") + "\"",
         "is a file, not a folder"},
        {"show", "show needs one CONFIG"},
        {"show \"" + P("short.cfg") + "\"", "612 bytes"},
        {"sheet \"" + P("f.png") + "\"", "sheet needs FRAME.png and OUT.png"},
        // Names Windows makes no file of, refused before the frame is read.
        {renderTo(P("x?.png")), "may not hold '?'"},
        {renderTo(P("x*.png")), "may not hold '*'"},
        {renderTo(P("x<y")), "may not hold '<'"},
        {renderTo(P("x|y")), "may not hold '|'"},
        {renderTo(P("x\ty")), "may not hold a tab"},
        {renderTo(P("o.png:s")), "may not hold ':'"},
        {renderTo(P("CON")), "CON is the name of a Windows device"},
        {renderTo("nul.png"), "NUL is the name of a Windows device"},
        {renderTo(P("LPT1.png")), "LPT1 is the name"},
        {renderTo("prn"), "PRN is the name"},
        {renderTo(""), "name is empty"},
        {"config \"" + temp.Path() + "\" --kernel K", "is a folder"},
        {"show \"" + temp.Path() + "\"", "a folder, not a configuration"},
        {render("f.png", ".") , "a folder, not a configuration"},
        {render("t_side.tif", "whole.cfg"), "at most 65535 pixels a side"},
        {render("t_huge.tif", "whole.cfg"), "too large"},
        {render("t_offset.tif", "whole.cfg"), "damaged (libtiff"},
        {render("t_cut.tif", "whole.cfg"), "damaged (libtiff"},
        {render("t_cut_tags.tif", "whole.cfg"), "damaged (libtiff"},
        {render("t_float.tif", "whole.cfg"), "a floating-point (32-bit) TIFF"},
        {render("t_palette.tif", "whole.cfg"), "a palette (indexed-colour) TIFF"},
        {render("t_cmyk.tif", "whole.cfg"), "a CMYK (separated) TIFF"},
        {render("t_grey.tif", "whole.cfg"), "must be an 8- or 16-bit RGB or RGBA TIFF; this one is 8-bit grey"},
        {render("f.png", "objects.cfg") + " --object-ids \"" + P("t_grey.tif") + "\"", "a 16-bit grey TIFF; this one is 8-bit grey"},
        {seq + toDir + " --frames 5-1", "--frames '5-1': the range ends before it starts"},
        {seq + toDir + " --frames 1-2000000", "more than 1000000 frames"},
        // One reading of the command line: an option once, but --row; no empty value.
        {seq + toDir + " --frames 2-3 --frames 1", "render: --frames is given twice"},
        {render("f.png", "whole.cfg") + " --config \"" + P("objects.cfg") + "\"", "render: --config is given twice"},
        {seq + toDir + " --out-dir \"" + P("d2") + "\"", "render: --out-dir is given twice"},
        {seq + toDir + " --skip-existing --skip-existing", "render: --skip-existing is given twice"},
        {"config \"" + P("k.cfg") + "\" --divide 2 --divide 3", "config: --divide is given twice"},
        {"sheet \"" + P("f.png") + "\" \"" + P("s.png") + "\" --detail --detail", "sheet: --detail is given twice"},
        {"kernels --long --long", "kernels: --long is given twice"},
        {"--settings-dir \"" + temp.Path() + "\" --settings-dir \"" + temp.Path() + "\" kernels",
         "minihost: --settings-dir is given twice"},
        {seq + toDir + " --frames \"\"", "render: --frames: give LIST, not an empty value"},
        {"--plugin \"\" info", "minihost: --plugin: give PATH, not an empty value"},
        {"config \"" + P("k.cfg") + "\" --row \"\"", "config: --row: give"},
        // One ID image for every frame of a batch only when asked for.
        {"render \"" + P("s.####.png") + "\" --config \"" + P("objects.cfg") + "\"" + toDir + " --object-ids \"" +
             P("small_ids.png") + "\"",
         "is one image for every frame of the batch: give --object-ids ids.####.png"},
        {"render \"" + P("f.png") + "\" --config \"" + P("objects.cfg") + "\"" + toDir + " --object-ids \"" +
             P("small_ids.png") + "\"",
         "give --object-ids-dir DIR"},
        {render("f.png", "whole.cfg") + " --same-ids", "--same-ids is for a batch"},
        {"sheet \"" + P("f.png") + "\" \"" + P("s.tif") + "\"", "a sheet is an 8-bit PNG; give the output a name ending in .png"},
        {"setup \"" + P("nodir\\x.cfg") + "\"", "the folder it goes in does not exist"},
        {seq + "\"" + P("o.png") + "\"", "is a numbered pattern: give --out-dir DIR or --out PATTERN"},
        {seq + " --out \"" + P("o.png") + "\"", "--out " + P("o.png") + ": give a numbered pattern"},
        {seq + toDir + " --out \"" + P("o.#.png") + "\"", "not both"},
        {"render \"" + P("f.png") + "\" --config \"" + P("whole.cfg") + "\"" + toDir + " --frames 1", "--frames takes the numbers of a pattern"},
        {"render \"" + P("f.png") + "\" --config \"" + P("objects.cfg") + "\"" + toDir + " --object-ids \"" + P("i.####.png") + "\"",
         "--object-ids is a numbered pattern: give the frames as one too"},
        {"render \"" + P("s.##.#.png") + "\" --config \"" + P("whole.cfg") + "\"" + toDir, "more than one place for the frame number"},
        {"render \"" + P("x\\s.####.png") + "\" --config \"" + P("whole.cfg") + "\"" + toDir, "does not exist"},
    };
    // A full disk is not a damaged file: on the small disk on_tiny_disk.sh
    // mounts for minihost_full_disk, filled; the noise overflows the stream.
    char tiny[MAX_PATH] = "";
    const std::string dir = GetEnvironmentVariableA("VLM_TINY_DIR", tiny, MAX_PATH) ? tiny : "";
    std::vector<uint16_t> noise(32 * 32 * 4);
    std::generate(noise.begin(), noise.end(), std::mt19937(27));
    ASSERT_TRUE(WritePng16(P("noise.png"), 32, 32, 4, noise.data(), &error));
    for (std::ofstream fill(dir.empty() ? "" : dir + "\\filler", std::ios::binary); fill.write(reinterpret_cast<char*>(noise.data()), 4096).flush();) {}
    for (const std::string& to : {renderTo(dir + "\\o.png"), "config \"" + dir + "\\c.cfg\" --row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\"",
                                  "render \"" + P("noise.png") + "\" \"" + dir + "\\o.png\" --config \"" + P("whole.cfg") + "\""})
        if (!dir.empty()) cases.push_back({to, "the disk is full; free some space"});
    for (const auto& [args, word, program] : cases) {
        ChildProcess child("\"" + program + "\" " + args);
        const MinihostOutcome r = {child.Finish(), child.Err(), child.Out()};
        EXPECT_EQ(r.status, 2u) << args;
        EXPECT_EQ(CountLines(r.err), 1) << args << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("minihost: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(word), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_EQ(GetFileAttributesA(P("o.png").c_str()), INVALID_FILE_ATTRIBUTES) << "no output for bad input";
    EXPECT_FALSE(FileExists(P("d"))) << "no folder made for bad input";
    DeleteFileA((dir + "\\filler").c_str());

    // The 8-bit material channel refuses a 16-bit ID image, naming the option.
    ASSERT_TRUE(WritePng16(P("ids16.png"), 4, 4, 1, frame.data(), &error));
    const MinihostOutcome r = Host(render("f.png", "materials.cfg") + " --material-ids \"" + P("ids16.png") + "\"");
    EXPECT_NE(r.err.find("--material-ids"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("must be an 8-bit grey PNG; this one is 16-bit grey"), std::string::npos) << r.err;
}

// The one error line never carries a library's own words.
TEST(ErrorText, SaysNoExceptionsOwnText) {
    EXPECT_EQ(ErrorText(std::make_exception_ptr(CommandError{"as said"}), "this sheet"), "as said");
    for (const std::exception_ptr& thrown : {std::make_exception_ptr(std::bad_alloc()),
                                            std::make_exception_ptr(std::length_error("vector::_M_fill_insert")),
                                            std::make_exception_ptr(std::runtime_error("basic_string::_M_create"))}) {
        const std::string text = ErrorText(thrown, "this sheet");
        EXPECT_EQ(text.find("_M_"), std::string::npos) << text;
        EXPECT_NE(text.find("this sheet"), std::string::npos) << text;
    }
}

TEST_F(MinihostTest, InfoPrintsTheAnswers) {
    for (const char* help : {"--help", "help"}) {
        const MinihostOutcome usage = Host(help);
        EXPECT_EQ(usage.status, 0u) << help;
        EXPECT_EQ(usage.out.rfind("usage: minihost", 0), 0u) << help << ": " << usage.out;
        for (const char* says : {"  3  the plug-in, the host library or minihost itself faulted", "  --same-ids ",
                                 "%% is a percent sign", "other-sized output is filtered again", "every option is given once, but --row"})
            EXPECT_NE(usage.out.find(says), std::string::npos) << says << "\n" << usage.out;
    }
    const MinihostOutcome r = Host("info");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out.rfind("release: " VLM_VERSION ", as the About box shows", 0), 0u) << r.out;
    for (const char* line : {"version: 0x07D00500", "classes: 1", "class name: Velmora Filter", "kind code: 0x0E00",
                             "class id: 0x33A25539 0x39933116", "category: Image Filter",
                             "filter version: 0x33A25539", "filter capabilities: 6", "configuration size: 612"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

}  // namespace
