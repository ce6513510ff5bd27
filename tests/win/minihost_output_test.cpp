// What minihost tells and draws: the line for each file written, the warning
// for an ID no pixel carries, a configuration and a library printed, and the
// library's sheet of thumbnails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "minihost/formats/png_io.h"
#include "params/kernel_params.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

std::string NoCr(std::string s) {
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

class MinihostOutput : public ::testing::Test {
protected:
    std::string P(const char* name) const { return temp.File(name); }
    std::string Q(const char* name) const { return "\"" + P(name) + "\" "; }
    MinihostOutcome Host(const std::string& args) {
        MinihostOutcome o = RunMinihost("--settings-dir \"" + temp.Path() + "\" " + args);
        return {o.status, NoCr(o.err), NoCr(o.out)};
    }
    TempDir temp{"minihost_output"};
};

// One render says the file, its size and what was filtered; an ID that no
// pixel carries is a warning naming the ID and the frame, and the frame is
// still written, unfiltered, with status 0.
TEST_F(MinihostOutput, SaysWhatEachRenderFilteredAndWarnsOfAnAbsentId) {
    const uint32_t w = 6, h = 5;
    std::vector<uint16_t> frame(w * h * 4), ids(w * h);
    std::mt19937 rng(5);
    for (auto& v : frame) v = uint16_t(rng() % 60000);
    int twos = 0;
    for (uint32_t i = 0; i < w * h; ++i) twos += (ids[i] = i % 4 == 1 ? 2 : 5) == 2;
    std::string error;
    ASSERT_TRUE(WritePng16(P("f.png"), w, h, 4, frame.data(), &error));
    ASSERT_TRUE(WritePng16(P("ids.png"), w, h, 1, ids.data(), &error));
    const std::string invert = "--row \"0 0 0\" --row \"0 0 0\" --row \"0 0 0\" --invert 1 ";
    ASSERT_EQ(Host("config " + Q("whole.cfg") + invert).status, 0u);
    ASSERT_EQ(Host("config " + Q("two.cfg") + invert + "--source object --object-id 2").status, 0u);
    ASSERT_EQ(Host("config " + Q("seven.cfg") + invert + "--source object --object-id 7").status, 0u);

    struct Case {
        const char* config;
        std::string filtered;
        bool warned;
    };
    const Case cases[] = {
        {"whole.cfg", "the whole frame filtered", false},
        {"two.cfg", std::to_string(twos) + " pixels of object ID 2 filtered", false},
        {"seven.cfg", "0 pixels of object ID 7 filtered", true},
    };
    for (const Case& c : cases) {
        const MinihostOutcome r = Host("render " + Q("f.png") + Q("o.png") + "--config " + Q(c.config) + "--object-ids " +
                               Q("ids.png"));
        ASSERT_EQ(r.status, 0u) << c.config << r.err;
        const std::string size = std::to_string(ReadBytes(P("o.png")).size());
        EXPECT_EQ(r.out, "wrote " + P("o.png") + ", " + size + " bytes: " + c.filtered + "\n") << c.config;
        const bool warned = r.err.find("warning: no pixel of " + P("f.png") + " carries object ID 7") !=
                            std::string::npos;
        EXPECT_EQ(warned, c.warned) << c.config << ": " << r.err;
        if (!c.warned) continue;
        FrameImage out;
        ASSERT_TRUE(ReadPng(P("o.png"), &out, &error)) << error;
        EXPECT_EQ(out.samples, frame) << "an absent ID leaves the frame as it was";
    }
}

// show and kernels --long print a kernel the same way; the library's cut
// entry, duplicate name and control byte are said, and config --kernel warns
// of what it takes.
TEST_F(MinihostOutput, ShowAndLongListingPrintTheLibraryAsWritten) {
    ASSERT_TRUE(WriteBytes(P("VLM.SET"),
                           EntryText("Edge", {{0, -1, 0}, {-1, 4, -1}, {0, -1, 0}}, 1, 32768, 0) +
                               EntryText("Wide", {{0, 0, 0, 0, 120}, {0, 0, 0, 0, 0}, {0, 0, -7, 0, 0},
                                                  {0, 0, 0, 0, 0}, {3, 0, 0, 0, 0}},
                                         0, -5, 1) +
                               EntryText("Edge", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0) +
                               EntryText(std::string("Bell\x07"), {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}, 1, 0, 0) +
                               "Cut\r\n3\r\n1 2 3\r\n4 5"));
    const std::string edge = "kernel: 3 x 3\n   0  -1   0\n  -1   4  -1\n   0  -1   0\n"
                             "divide: 1\noffset: 32768\ninvert: no\n";
    const std::string wide = "kernel: 5 x 5\n    0    0    0    0  120\n    0    0    0    0    0\n"
                             "    0    0   -7    0    0\n    0    0    0    0    0\n    3    0    0    0    0\n"
                             "divide: 0 (no division)\noffset: -5\ninvert: yes\n";

    MinihostOutcome r = Host("kernels");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out, "Edge\nWide\nEdge   (again: entry 1 has this name, and picking it takes that one)\n"
                     "Bell\\x07\nCut\n");
    EXPECT_NE(r.err.find("entry 5 'Cut' is cut short (6 of its 13 numbers)"), std::string::npos) << r.err;

    r = Host("kernels --long");
    ASSERT_EQ(r.status, 0u) << r.err;
    // The name first, as a reader scans for it; show keeps it last.
    EXPECT_EQ(r.out.find("name: Edge\n" + edge + "\nname: Wide\n" + wide +
                         "\nname: Edge   (again: entry 1 has this name, and picking it takes that one)\n"),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("name: Bell\\x07\n"), std::string::npos) << r.out;

    // A kernel taken into a configuration shows as the library lists it.
    for (const char* name : {"Edge", "Wide"}) {
        r = Host("config " + Q("k.cfg") + "--kernel " + name + " --source material --material-id 12");
        ASSERT_EQ(r.status, 0u) << r.err;
        EXPECT_EQ(r.err.find("the first (entry 1) is taken") != std::string::npos, name == std::string("Edge"))
            << r.err;
        r = Host("show " + Q("k.cfg"));
        ASSERT_EQ(r.status, 0u) << r.err;
        EXPECT_EQ(r.out, "source: material ID 12\n" + (name == std::string("Edge") ? edge : wide) + "name: " + name + "\n");
    }
    r = Host("config " + Q("k.cfg") + "--kernel Cut");
    EXPECT_EQ(r.status, 0u);
    EXPECT_NE(r.err.find("'Cut' is cut short"), std::string::npos) << r.err;

    // Invert as the render takes it: only 1 inverts.
    KernelParams p = DefaultParams();
    p.kernel.invert = 5;
    ASSERT_TRUE(WriteBytes(P("five.cfg"), std::string(reinterpret_cast<const char*>(&p), sizeof p)));
    r = Host("show " + Q("five.cfg"));
    EXPECT_NE(r.out.find("invert: no (stored 5; only 1 inverts)\n"), std::string::npos) << r.out;

    // Names saved otherwise than the plug-in reads them, each warned of with
    // what to do, and read as the plug-in reads them.
    const std::vector<std::vector<int>> one = {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    ASSERT_TRUE(WriteBytes(P("VLM.SET"), "\xEF\xBB\xBF" + EntryText("Box", one, 1, 0, 0) +
                                             EntryText("Sch\xC3\xA4rfe", one, 1, 0, 0) +
                                             EntryText(std::string("Ab\0cd", 5), one, 1, 0, 0) +
                                             EntryText("\xE2\x80\xAEgpj.exe", one, 1, 0, 0)));
    r = Host("kernels");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_NE(r.out.find("\nAb\n"), std::string::npos) << r.out;
    for (const char* warning : {"begins with a UTF-8 byte-order mark, which the plug-in and the dialog read as part of "
                                "its name, so it is not found as 'Box'; save VLM.SET as ANSI text",
                                "looks saved as UTF-8, for 'Sch\xC3\xA4rfe'", "; save VLM.SET as ANSI text",
                                "entry 3 'Ab' has a NUL byte in its name", "('cd' after it is left out)",
                                // The right-to-left override would turn the rest of the line round.
                                "looks saved as UTF-8, for '\\u202Egpj.exe'"})
        EXPECT_NE(r.err.find(warning), std::string::npos) << warning << "\n" << r.err;
}

// The library's sheet: the frame itself first, then one labelled tile per
// kernel in file order, four to a row; a kernel that changes the frame
// changes its tile, and a name saved twice still gets a label of its own. A
// cropped sheet's tiles are that region of the frame and of its renders;
// --detail finds where the frame has detail; a frame too small is refused.
TEST_F(MinihostOutput, SheetDrawsTheOriginalAndEveryKernelAsALabelledTile) {
    const std::vector<std::vector<int>> one = {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    ASSERT_TRUE(WriteBytes(P("VLM.SET"), EntryText("Same", one, 1, 0, 0) +
                                             EntryText("Blur", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0) +
                                             EntryText("Negative", one, 1, 0, 1) + EntryText("Lift", one, 1, 9000, 0) +
                                             EntryText("Same", one, 1, 0, 0)));
    const uint32_t w = 40, h = 30;  // within a tile: drawn at full size
    std::vector<uint8_t> frame(w * h * 3);
    std::mt19937 rng(9);
    for (auto& v : frame) v = uint8_t(20 + rng() % 200);
    std::string error;
    ASSERT_TRUE(WritePng8(P("f.png"), w, h, 3, frame, &error));
    FrameImage sheet;
    // Each tile against an 8-bit image: its (x, y, w, h) region, by its place.
    auto drawn = [&](const char* file, int n, int regionX, int regionY, int tw, int th, const std::vector<uint8_t>& image,
                     int imageW) {
        EXPECT_TRUE(ReadPng(P(file), &sheet, &error)) << error;
        const int gap = 8, label = 12, cellW = 22 * 6 - 1 + gap, cellH = label + th + gap;
        EXPECT_EQ(sheet.width, uint32_t(gap + 4 * cellW));
        EXPECT_EQ(sheet.height, uint32_t(gap + 2 * cellH));
        const int x0 = gap + n % 4 * cellW, y0 = gap + n / 4 * cellH + label;
        int differing = 0;
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x)
                for (int c = 0; c < 3; ++c)
                    differing += sheet.samples[(size_t(y0 + y) * sheet.width + x0 + x) * 3 + c] !=
                                 image[(size_t(regionY + y) * imageW + regionX + x) * 3 + c];
        return differing;
    };
    auto labelOf = [&](int n) {
        std::vector<uint8_t> strip;
        const int x0 = 8 + n % 4 * (22 * 6 - 1 + 8), y0 = 8 + n / 4 * (12 + int(h) + 8);
        for (int y = y0; y < y0 + 12; ++y)
            strip.insert(strip.end(), &sheet.samples[(size_t(y) * sheet.width + x0) * 3],
                         &sheet.samples[(size_t(y) * sheet.width + x0 + 22 * 6) * 3]);
        return strip;
    };

    MinihostOutcome r = Host("sheet " + Q("f.png") + Q("sheet.png"));
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_NE(r.out.find("the original and 5 kernels"), std::string::npos) << r.out;
    const bool changes[] = {false, false, true, true, true, false};
    for (int n = 0; n < 6; ++n) {
        const int differing = drawn("sheet.png", n, 0, 0, w, h, frame, w);
        if (changes[n]) EXPECT_GT(differing, int(w * h)) << "tile " << n;
        else EXPECT_EQ(differing, 0) << "tile " << n;
        int ink = 0;
        for (uint8_t v : labelOf(n)) ink += v > 200;
        EXPECT_GT(ink, 60) << "tile " << n << " has no label";
    }
    EXPECT_NE(labelOf(1), labelOf(5)) << "two entries named Same read alike";
    for (int y = 8 + (12 + int(h) + 8); y < int(sheet.height); ++y)  // the last two cells: background only
        for (int x = 8 + 2 * (22 * 6 - 1 + 8); x < int(sheet.width); ++x)
            ASSERT_EQ(sheet.samples[(size_t(y) * sheet.width + x) * 3], 48) << x << "," << y;

    // A region: the original's tile is it, the blur's is it of the render.
    ASSERT_EQ(Host("config " + Q("blur.cfg") + "--kernel Blur").status, 0u);
    ASSERT_EQ(Host("render " + Q("f.png") + Q("blur.png") + "--config " + Q("blur.cfg")).status, 0u);
    FrameImage blurred;
    ASSERT_TRUE(ReadPng(P("blur.png"), &blurred, &error)) << error;
    std::vector<uint8_t> blur8;
    for (size_t i = 0; i < blurred.samples.size(); ++i)
        if (i % 4 < 3) blur8.push_back(uint8_t((blurred.samples[i] * 255u + 32767) / 65535));
    r = Host("sheet " + Q("f.png") + Q("crop.png") + "--crop 30,4,10,25");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(drawn("crop.png", 0, 30, 4, 10, 25, frame, w), 0);
    EXPECT_EQ(drawn("crop.png", 2, 30, 4, 10, 25, blur8, w), 0);

    // --detail: a flat frame but for a patch of noise, which the region holds.
    const uint32_t bigW = 400, bigH = 300;
    std::vector<uint8_t> flat(bigW * bigH * 3, 128);
    for (uint32_t y = 180; y < 280; ++y)
        for (uint32_t x = 260; x < 380; ++x) flat[(y * bigW + x) * 3 + rng() % 3] = uint8_t(rng());
    ASSERT_TRUE(WritePng8(P("big.png"), bigW, bigH, 3, flat, &error));
    r = Host("sheet " + Q("big.png") + Q("detail.png") + "--detail");
    ASSERT_EQ(r.status, 0u) << r.err;
    int x = -1, y = -1;
    const size_t at = r.out.find("320 x 240 at ");
    ASSERT_NE(at, std::string::npos) << r.out;
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "320 x 240 at %d,%d", &x, &y), 2) << r.out;
    EXPECT_TRUE(x <= 260 && x + 320 >= 380 && y <= 180 && y + 240 >= 280) << r.out;

    // Tiles of 0 x 150: refused in one line, nothing written.
    ASSERT_TRUE(WritePng8(P("thin.png"), 1, 300, 3, std::vector<uint8_t>(300 * 3, 9), &error));
    r = Host("sheet " + Q("thin.png") + Q("thin_sheet.png"));
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(r.err, "minihost: sheet: " + P("thin.png") +
                         " (1 x 300) is too long and thin to draw: shrunk 2 times to fit a tile of 320 x 240, it "
                         "would be 0 x 150 pixels, and each side needs at least 4; draw a region of it with --crop "
                         "X,Y,W,H\n");
    ASSERT_TRUE(WritePng8(P("dot.png"), 3, 3, 3, std::vector<uint8_t>(3 * 3 * 3, 9), &error));
    r = Host("sheet " + Q("dot.png") + Q("dot_sheet.png"));
    EXPECT_EQ(r.err, "minihost: sheet: " + P("dot.png") + " (3 x 3) is too small to draw: its tiles would be 3 x 3 "
                     "pixels, and each side needs at least 4\n");
    EXPECT_FALSE(FileExists(P("thin_sheet.png")));
}

}  // namespace
