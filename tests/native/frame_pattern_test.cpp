#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "minihost/cli/frame_pattern.h"

namespace {

FramePattern Found(const std::string& path) {
    FramePattern p;
    std::string error;
    EXPECT_EQ(FindFramePattern(path, &p, &error), PatternFound::kFound) << path << ": " << error;
    return p;
}

TEST(FramePattern, FindsOnePlaceholderInTheFileName) {
    struct Row {
        const char* path;
        const char *folder, *head, *tail;
        int width;
    } rows[] = {
        {"shot.####.png", "", "shot.", ".png", 4},
        {"a#b/shot.#.png", "a#b/", "shot.", ".png", 1},
        {"c:\\r%04d\\s_%04d.tif", "c:\\r%04d\\", "s_", ".tif", 4},
        {"s%d.png", "", "s", ".png", 1},
        {"100%.%03d.png", "", "100%.", ".png", 3},
        {"a.%%%04d.png", "", "a.%", ".png", 4},  // %% is a percent sign, as printf reads it
        {"50%%_##_%%.png", "", "50%_", "_%.png", 2},
        {"s%%d.png", "", "", "", 0},
        {"s.%0d", "", "s.%0d", "", 0},  // no width: not a placeholder, so none at all
    };
    for (const Row& row : rows) {
        FramePattern p;
        std::string error;
        const PatternFound found = FindFramePattern(row.path, &p, &error);
        if (row.width == 0) {
            EXPECT_EQ(found, PatternFound::kNone) << row.path;
            continue;
        }
        ASSERT_EQ(found, PatternFound::kFound) << row.path << ": " << error;
        EXPECT_EQ(p.folder, row.folder) << row.path;
        EXPECT_EQ(p.head, row.head) << row.path;
        EXPECT_EQ(p.tail, row.tail) << row.path;
        EXPECT_EQ(p.width, row.width) << row.path;
    }
    for (const auto& [path, says] : {std::pair{"a.##.#.png", "more than one place"}, {"a.%04d.%d.png", "more than one"},
                                     {"a.###########.png", "at most 10 digits"}, {"a.%011d.png", "at most 10"}}) {
        FramePattern p;
        std::string error;
        EXPECT_EQ(FindFramePattern(path, &p, &error), PatternFound::kBad) << path;
        EXPECT_NE(error.find(says), std::string::npos) << path << ": " << error;
    }
}

// Which names are frames of a pattern, and the number each one is.
TEST(FramePattern, MatchesNumbersPaddedAsThePatternSays) {
    struct Row {
        const char* pattern;
        const char* name;
        bool frame;
        int32_t number;
    } rows[] = {
        {"shot.####.png", "shot.0001.png", true, 1},
        {"shot.####.png", "SHOT.0120.PNG", true, 120},
        {"shot.####.png", "shot.12345.png", true, 12345},
        {"shot.####.png", "shot.-0005.png", true, -5},     // padded in digits
        {"shot.####.png", "shot.-005.png", true, -5},      // padded as printf pads
        {"shot.####.png", "shot.-05.png", false, 0},
        {"shot.####.png", "shot.001.png", false, 0},
        {"shot.####.png", "shot.00001.png", false, 0},
        {"shot.####.png", "shot.0001.png.bak", false, 0},
        {"shot.####.png", "shot..png", false, 0},
        {"shot.####.png", "shot.00a1.png", false, 0},
        {"shot.####.png", "shot.-0000.png", false, 0},
        {"shot.#.png", "shot.7.png", true, 7},
        {"shot.#.png", "shot.07.png", false, 0},
        {"shot.#.png", "shot.-7.png", true, -7},
        {"shot.#.png", "shot.0.png", true, 0},
        {"shot.#.png", "shot.2147483647.png", true, 2147483647},
        {"shot.#.png", "shot.-2147483648.png", true, INT32_MIN},
        {"shot.#.png", "shot.2147483648.png", false, 0},
        {"shot.#.png", "shot.99999999999999999999.png", false, 0},
        {"s-####", "s--0003", true, -3},
    };
    for (const Row& row : rows) {
        int32_t n = 12345678;
        std::string digits;
        const bool frame = MatchFrameName(Found(row.pattern), row.name, &n, &digits);
        EXPECT_EQ(frame, row.frame) << row.pattern << " " << row.name;
        if (frame && row.frame) {
            EXPECT_EQ(n, row.number) << row.pattern << " " << row.name;
        }
    }
}

// Names written for a number keep the padding as written, and every name
// written is matched back to its number.
TEST(FramePattern, WritesNamesItMatchesBack) {
    const FramePattern four = Found("out/g.####.png"), one = Found("ids/i.#.png"), other = Found("o/x.%04d.tif");
    EXPECT_EQ(FramePath(four, 7), "out/g.0007.png");
    EXPECT_EQ(FramePath(four, -7), "out/g.-0007.png");
    EXPECT_EQ(FramePath(one, -7), "ids/i.-7.png");
    EXPECT_EQ(FramePath(four, 123456), "out/g.123456.png");
    EXPECT_EQ(FramePathLike(other, -7, "-007"), "o/x.-007.tif");   // the frame's padding kept
    EXPECT_EQ(FramePathLike(one, -7, "-007"), "ids/i.-7.png");     // another width: its own
    EXPECT_EQ(FramePathLike(four, 12, "12"), "out/g.0012.png");
    for (int32_t n : {INT32_MIN, -12345, -1, 0, 9, 10000, INT32_MAX})
        for (const FramePattern& p : {four, one}) {
            const std::string path = FramePath(p, n);
            int32_t back;
            std::string digits;
            EXPECT_TRUE(MatchFrameName(p, path.substr(p.folder.size()), &back, &digits)) << path;
            EXPECT_EQ(back, n) << path;
        }
}

TEST(FrameList, ParsesRangesStepsAndNegativeNumbers) {
    struct Row {
        const char* text;
        std::vector<int32_t> frames;
    } rows[] = {
        {"101-105", {101, 102, 103, 104, 105}},
        {"1-10x3", {1, 4, 7, 10}},
        {"1-9x4", {1, 5, 9}},
        {"1,5,9-12", {1, 5, 9, 10, 11, 12}},
        {"9-12,1,5,10", {1, 5, 9, 10, 11, 12}},
        {"-3--1", {-3, -2, -1}},
        {"-2-1", {-2, -1, 0, 1}},
        {"7", {7}},
        {"2147483646-2147483647", {2147483646, 2147483647}},
        {"-2147483648--2147483647x5", {INT32_MIN}},
    };
    std::vector<int32_t> million;
    std::string tooMany;
    EXPECT_TRUE(ParseFrameList("1-500000,-500000--1", &million, &tooMany)) << "exactly the limit: " << tooMany;
    EXPECT_EQ(million.size(), size_t(kMaxListedFrames));
    for (const Row& row : rows) {
        std::vector<int32_t> frames;
        std::string error;
        EXPECT_TRUE(ParseFrameList(row.text, &frames, &error)) << row.text << ": " << error;
        EXPECT_EQ(frames, row.frames) << row.text;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"", "empty item"},           {"1,,2", "empty item"},        {"a", "not a frame number"},
        {"5-1", "ends before it"},    {"1-", "no last frame"},       {"1-10x0", "step"},
        {"1-10x", "step"},            {"1-10x-2", "step"},           {"1x2", "give N, A-B"},
        {"1-2-3", "give N, A-B"},     {"1 - 3", "give N, A-B"},      {"2147483648", "32-bit"},
        {"0-1000000", "more than 1000000 frames"}, {"1-600000,-600000--1", "more than"},
        {"0-999999,-1", "more than 1000000 frames"},  // one past the limit
    };
    for (const auto& [text, says] : bad) {
        std::vector<int32_t> frames;
        std::string error;
        EXPECT_FALSE(ParseFrameList(text, &frames, &error)) << text;
        EXPECT_NE(error.find(says), std::string::npos) << text << ": " << error;
    }
}

TEST(FrameList, SaysNumbersAsRanges) {
    std::vector<int32_t> many;
    for (int32_t n = 0; n < 30; n += 2) many.push_back(n);  // 15 ranges of one
    const std::pair<std::vector<int32_t>, const char*> rows[] = {
        {{7}, "frame 7 is missing (1 frame)"},
        {{-3, -2, 0, 4, 5, 6}, "frames -3--2, 0, 4-6 are missing (6 frames)"},
        {{INT32_MAX - 1, INT32_MAX}, "frames 2147483646-2147483647 are missing (2 frames)"},
        {many, "frames 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22 and 3 ranges more are missing (15 frames)"},
    };
    for (const auto& [numbers, says] : rows) EXPECT_EQ(FramesText(numbers, "missing"), says);
    std::vector<int32_t> million;
    for (int32_t n = 1; n <= 1000000; ++n) million.push_back(n);
    EXPECT_EQ(FramesText(million, "missing"), "frames 1-1000000 are missing (1,000,000 frames)");
}

}  // namespace
