// What minihost tells and draws: the line for each file written, the warning
// for an ID no pixel carries, a configuration and a library printed, and the
// library's sheet of thumbnails.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "minihost/png_io.h"
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
        PngImage out;
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
                             "divide: 1\noffset: 32768\ninvert: no\nname: Edge\n";
    const std::string wide = "kernel: 5 x 5\n    0    0    0    0  120\n    0    0    0    0    0\n"
                             "    0    0   -7    0    0\n    0    0    0    0    0\n    3    0    0    0    0\n"
                             "divide: 0 (no division)\noffset: -5\ninvert: yes\nname: Wide\n";

    MinihostOutcome r = Host("kernels");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out, "Edge\nWide\nEdge   (again: entry 1 has this name, and picking it takes that one)\n"
                     "Bell\\x07\nCut\n");
    EXPECT_NE(r.err.find("entry 5 'Cut' is cut short (6 of its 13 numbers)"), std::string::npos) << r.err;

    r = Host("kernels --long");
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out.find(edge + "\n" + wide + "\n"), 0u) << r.out;
    EXPECT_NE(r.out.find("name: Bell\\x07\n"), std::string::npos) << r.out;

    // A kernel taken into a configuration shows as the library lists it.
    for (const char* name : {"Edge", "Wide"}) {
        r = Host("config " + Q("k.cfg") + "--kernel " + name + " --source material --material-id 12");
        ASSERT_EQ(r.status, 0u) << r.err;
        EXPECT_EQ(r.err.find("the first (entry 1) is taken") != std::string::npos, name == std::string("Edge"))
            << r.err;
        r = Host("show " + Q("k.cfg"));
        ASSERT_EQ(r.status, 0u) << r.err;
        EXPECT_EQ(r.out, "source: material ID 12\n" + (name == std::string("Edge") ? edge : wide));
    }
    r = Host("config " + Q("k.cfg") + "--kernel Cut");
    EXPECT_EQ(r.status, 0u);
    EXPECT_NE(r.err.find("'Cut' is cut short"), std::string::npos) << r.err;
}

// The starter kernels' picture: one labelled thumbnail per kernel in file
// order, four to a row; a kernel that changes the frame changes its tile.
TEST_F(MinihostOutput, SheetDrawsEveryKernelAsALabelledThumbnail) {
    const std::vector<std::vector<int>> one = {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    ASSERT_TRUE(WriteBytes(P("VLM.SET"), EntryText("Same", one, 1, 0, 0) +
                                             EntryText("Blur", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0) +
                                             EntryText("Negative", one, 1, 0, 1) + EntryText("Lift", one, 1, 9000, 0) +
                                             EntryText("Same too", one, 1, 0, 0)));
    const uint32_t w = 40, h = 30;  // within a thumbnail: drawn at full size
    std::vector<uint8_t> frame(w * h * 3);
    std::mt19937 rng(9);
    for (auto& v : frame) v = uint8_t(20 + rng() % 200);
    std::string error;
    ASSERT_TRUE(WritePng8(P("f.png"), w, h, 3, frame, &error));

    const MinihostOutcome r = Host("sheet " + Q("f.png") + Q("sheet.png"));
    ASSERT_EQ(r.status, 0u) << r.err;
    EXPECT_NE(r.out.find("5 kernels"), std::string::npos) << r.out;
    PngImage sheet;
    ASSERT_TRUE(ReadPng(P("sheet.png"), &sheet, &error)) << error;
    EXPECT_EQ(sheet.bitDepth, 8);
    ASSERT_EQ(sheet.channels, 3);
    const int gap = 8, label = 12, cellW = w + gap, cellH = label + h + gap;
    ASSERT_EQ(sheet.width, uint32_t(gap + 4 * cellW));
    ASSERT_EQ(sheet.height, uint32_t(gap + 2 * cellH));
    auto at = [&](int x, int y, int c) { return sheet.samples[(size_t(y) * sheet.width + x) * 3 + c]; };

    const bool changes[] = {false, true, true, true, false};
    for (int n = 0; n < 5; ++n) {
        const int x0 = gap + n % 4 * cellW, y0 = gap + n / 4 * cellH;
        int ink = 0;
        for (int y = y0; y < y0 + label; ++y)
            for (int x = x0; x < x0 + int(w); ++x) ink += at(x, y, 0) > 200 && at(x, y, 1) > 200;
        EXPECT_GT(ink, 20) << "tile " << n << " has no label";
        int differing = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) differing += at(x0 + x, y0 + label + y, c) != frame[(y * w + x) * 3 + c];
        if (changes[n]) EXPECT_GT(differing, int(w * h)) << "tile " << n;
        else EXPECT_EQ(differing, 0) << "tile " << n;
    }
    // The eighth cell is empty: background only.
    for (int y = gap + cellH; y < int(sheet.height); ++y)
        for (int x = gap + 3 * cellW; x < int(sheet.width); ++x) ASSERT_EQ(at(x, y, 0), 48) << x << "," << y;
}

}  // namespace
