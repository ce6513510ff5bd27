// minihost as users run it: a separate process, PNG files in and out, and one
// clear error line with a non-zero status for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "minihost/png_io.h"
#include "plugin/kernel_params.h"
#include "render/convolver.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

struct Outcome {
    DWORD status;
    std::string err, out;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs minihost with the arguments, collecting its exit status, output and
// error output.
Outcome Minihost(const std::string& args) {
    ChildProcess child("\"" + BinDir() + "\\minihost.exe\" " + args);
    const DWORD status = child.Finish();
    return {status, child.Err(), child.Out()};
}

std::string Be32(uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

std::string Chunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return Be32(uint32_t(data.size())) + body + Be32(uint32_t(crc));
}

// A PNG of the given header whose pixel data is idat (empty: none at all).
std::string PngFile(uint32_t width, uint32_t height, char depth, char colourType, const std::string& idat) {
    const std::string ihdr = Be32(width) + Be32(height) + std::string{depth, colourType, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr) + (idat.empty() ? "" : Chunk("IDAT", idat)) +
           Chunk("IEND", "");
}

// An 8-bit grey PNG of side x side zero pixels, whole and valid: a small file
// that decodes to side x side bytes.
std::string ZeroGreyPng(uint32_t side) {
    z_stream z{};
    deflateInit(&z, 9);
    const std::vector<Bytef> row(side + 1, 0);  // filter byte, then the pixels
    std::vector<Bytef> out(1 << 16);
    std::string idat;
    for (uint32_t y = 0; y < side; ++y) {
        z.next_in = const_cast<Bytef*>(row.data());
        z.avail_in = uInt(row.size());
        const int flush = y + 1 == side ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_in > 0 || (flush == Z_FINISH && z.avail_out == 0));
    }
    deflateEnd(&z);
    return PngFile(side, side, 8, 0, idat);
}

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

class MinihostTest : public ::testing::Test {
protected:
    std::string P(const char* name) const { return temp.File(name); }
    Outcome Host(const std::string& args) { return Minihost(args); }

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
    Outcome r = Host("render \"" + P("in16.png") + "\" \"" + P("out16.png") + "\" --config \"" + P("identity.cfg") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    PngImage out;
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

    // The gray 8-bit file is not a frame.
    r = Host("render \"" + P("gray.png") + "\" \"" + P("x.png") + "\"");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
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
    Outcome r = Host("config \"" + P("inv.cfg") + "\" --row \"0 0 0\" --row \"0 0 0\" --row \"0 0 0\" --invert 1 "
                 "--source object --object-id 2 --name Negative");
    ASSERT_EQ(r.status, 0u) << r.err;
    r = Host("render \"" + P("frame.png") + "\" \"" + P("out.png") + "\" --config \"" + P("inv.cfg") +
             "\" --object-ids \"" + P("ids.png") + "\"");
    ASSERT_EQ(r.status, 0u) << r.err;
    PngImage out;
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
    Outcome r = Host("config \"" + P("inv.cfg") + "\" --row \"0 0 0\" --row \"0 0 0\" --row \"0 0 0\" --invert 1 "
                     "--source object --object-id 2");
    ASSERT_EQ(r.status, 0u) << r.err;
    auto expectFiltered = [&](const std::string& path, size_t f) {
        PngImage out;
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
    EXPECT_EQ(Lines(r.err), 2) << r.err;
    EXPECT_NE(r.err.find("minihost: d.png: "), std::string::npos) << r.err;
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

    // Two frames of one name would overwrite each other: refused up front.
    r = Host("render \"" + P("frames") + "\\a.png\" \"" + P("ids") + "\\a.png\" --out-dir \"" + P("twice") + "\"");
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
}

// --time names the path and instruction set of the render: what this
// processor runs for the configuration, or none when nothing is convolved.
TEST_F(MinihostTest, TimeNamesThePathTheRenderTakes) {
    std::string error;
    std::vector<uint16_t> frame(20 * 9 * 4, 30000), ids(20 * 9, 1);
    ASSERT_TRUE(WritePng16(P("t.png"), 20, 9, 4, frame.data(), &error)) << error;
    ASSERT_TRUE(WritePng16(P("t_ids.png"), 20, 9, 1, ids.data(), &error)) << error;
    const std::string best = SimdName(BestSimdLevel());
    struct Case {
        const char* config;
        const char* extra;
        std::string path;
    };
    const Case cases[] = {
        {"--row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\"", "", std::string("planar, ") + best},
        {"--row \"1 2 3 4 3 2 1\" --row \"2 4 6 8 6 4 2\" --row \"3 6 9 12 9 6 3\" --row \"4 8 12 16 12 8 4\" --row \"3 6 9 12 9 6 3\" --row \"2 4 6 8 6 4 2\" --row \"1 2 3 4 3 2 1\" --divide 256",
         "", std::string("separable, ") + best},
        {"--row \"100000 0 0\" --row \"0 100000 0\" --row \"0 0 100000\" --divide 300000", "",
         std::string("split planar, ") + best},
        {"--row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\" --source object --object-id 1", "",
         "none (nothing to convolve)"},
        {"--row \"0 0 0\" --row \"0 1 0\" --row \"0 0 0\" --source object --object-id 1",
         " --object-ids \"t_ids.png\"", std::string("planar, ") + best},
    };
    for (const Case& c : cases) {
        Outcome r = Host("config \"" + P("t.cfg") + "\" " + c.config);
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
    // Without --time nothing is printed.
    const Outcome quiet = Host("render \"" + P("t.png") + "\" \"" + P("t_out.png") + "\" --config \"" + P("t.cfg") + "\"");
    EXPECT_EQ(quiet.out, "");
}

TEST_F(MinihostTest, ConfigWritesTheRecordTheDialogWould) {
    Outcome r = Host("config \"" + P("sharp.cfg") + "\" --row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\" "
                 "--source material --material-id 3 --divide 1 --offset 7 --name Sharpen");
    ASSERT_EQ(r.status, 0u) << r.err;
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

    for (const char* bad : {"--row \"1 2\" --row \"1 2\"", "--row \"1 2 3\" --row \"1 2\" --row \"1 2 3\"",
                            "--divide 1x", "--divide 99999999999", "--source sky", "--bogus 1"}) {
        r = Host("config \"" + P("bad.cfg") + "\" " + bad);
        EXPECT_EQ(r.status, 2u) << bad;
        EXPECT_EQ(Lines(r.err), 1) << bad << ": " << r.err;
    }
}

TEST_F(MinihostTest, BadInputGivesOneErrorLine) {
    std::string error;
    std::vector<uint16_t> frame(4 * 4 * 4, 1000), ids(3 * 4, 2);
    ASSERT_TRUE(WritePng16(P("f.png"), 4, 4, 4, frame.data(), &error));
    ASSERT_TRUE(WritePng16(P("small_ids.png"), 3, 4, 1, ids.data(), &error));
    std::ofstream(P("junk.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n this is no PNG at all";
    std::ofstream(P("huge.png"), std::ios::binary) << PngFile(65535, 65535, 8, 2, "");
    // About 1 MB that decodes to 1 GB: refused by its header, before decoding.
    std::ofstream(P("bomb.png"), std::ios::binary) << ZeroGreyPng(32768);
    std::ofstream(P("short.cfg"), std::ios::binary) << std::string(611, '\0');
    KernelParams stranger = DefaultParams();
    stranger.stamp = 0x12345678;
    WriteConfig("stranger.cfg", stranger);
    KernelParams objects = DefaultParams();
    objects.source = kSourceObject;
    WriteConfig("objects.cfg", objects);

    const std::string out = " \"" + P("o.png") + "\"";
    const std::string cases[] = {
        "render \"" + P("missing.png") + "\"" + out,
        "render \"" + P("junk.png") + "\"" + out,
        "render \"" + P("huge.png") + "\"" + out,
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("short.cfg") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("stranger.cfg") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("objects.cfg") + "\" --object-ids \"" +
            P("small_ids.png") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --material-ids \"" + P("f.png") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --config \"" + P("objects.cfg") + "\" --object-ids \"" +
            P("bomb.png") + "\"",
        "render \"" + P("bomb.png") + "\"" + out,
        "render \"" + P("f.png") + "\"",
        "render \"" + P("f.png") + "\"" + out + " --abort-at-line",
        "frobnicate",
        "--plugin \"" + P("nothing.flt") + "\" info",
    };
    for (const std::string& c : cases) {
        const Outcome r = Host(c);
        EXPECT_EQ(r.status, 2u) << c;
        EXPECT_EQ(Lines(r.err), 1) << c << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("minihost: ", 0), 0u) << r.err;
    }
    EXPECT_EQ(GetFileAttributesA(P("o.png").c_str()), INVALID_FILE_ATTRIBUTES) << "no output for bad input";
}

TEST_F(MinihostTest, InfoPrintsTheAnswers) {
    const Outcome r = Host("info");
    ASSERT_EQ(r.status, 0u) << r.err;
    for (const char* line : {"version: 0x07D00500", "classes: 1", "class name: Velmora Filter", "kind code: 0x0E00",
                             "class id: 0x33A25539 0x39933116", "category: Image Filter",
                             "filter version: 0x33A25539", "filter capabilities: 6", "configuration size: 612"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

}  // namespace
