#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <iterator>
#include <cstring>
#include <string>

#include "module/message_box.h"
#include "params/kernel_params.h"

namespace {

int32_t GridValue(int r, int c) { return 10 * r + c; }

TEST(ExtractKernel, TakesTheCentredBlockRowByRow) {
    int32_t grid[kGridCells];
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) grid[9 * r + c] = GridValue(r, c);
    for (int k : {3, 5, 7, 9}) {
        // Poisoned so that a short or long write shows.
        int32_t block[82];
        std::fill(std::begin(block), std::end(block), -12345);
        ExtractKernel(grid, k, block);
        const int s = (9 - k) / 2;
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j) EXPECT_EQ(block[k * i + j], GridValue(s + i, s + j)) << k;
        EXPECT_EQ(block[k * k], -12345) << "wrote past the block for k=" << k;
        EXPECT_EQ(block[k * k / 2], GridValue(4, 4)) << "centre of k=" << k;
    }
    int32_t three[9];
    ExtractKernel(grid, 3, three);
    const int32_t expected[9] = {33, 34, 35, 43, 44, 45, 53, 54, 55};
    EXPECT_EQ(0, std::memcmp(three, expected, sizeof expected));
}

TEST(PlaceKernel, IsExtractKernelsInverseAndKeepsTheCellsOutside) {
    for (int k : {3, 5, 7, 9}) {
        int32_t block[81];
        for (int i = 0; i < k * k; ++i) block[i] = 1000 + i;
        int32_t grid[kGridCells];
        std::fill(std::begin(grid), std::end(grid), -7);
        PlaceKernel(block, k, grid);
        int32_t back[81];
        ExtractKernel(grid, k, back);
        EXPECT_TRUE(std::equal(block, block + k * k, back)) << k;
        const int s = (9 - k) / 2;
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 9; ++c) {
                const bool inside = r >= s && r < s + k && c >= s && c < s + k;
                if (inside) continue;
                EXPECT_EQ(grid[9 * r + c], -7) << "k=" << k << " cell " << r << "," << c;
            }
    }
}

// Every cell on its own, as the size a weight there alone asks for; a second
// weight at the centre never shrinks it.
TEST(KernelSizeFromWeights, IsTheSmallestCentredBlockHoldingEveryWeight) {
    const int kSizeOfCell[9][9] = {
        {9, 9, 9, 9, 9, 9, 9, 9, 9},
        {9, 7, 7, 7, 7, 7, 7, 7, 9},
        {9, 7, 5, 5, 5, 5, 5, 7, 9},
        {9, 7, 5, 3, 3, 3, 5, 7, 9},
        {9, 7, 5, 3, 3, 3, 5, 7, 9},
        {9, 7, 5, 3, 3, 3, 5, 7, 9},
        {9, 7, 5, 5, 5, 5, 5, 7, 9},
        {9, 7, 7, 7, 7, 7, 7, 7, 9},
        {9, 9, 9, 9, 9, 9, 9, 9, 9},
    };
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) {
            int32_t grid[kGridCells] = {};
            grid[9 * r + c] = (r + c) % 2 ? -1 : 1;
            EXPECT_EQ(KernelSizeFromWeights(grid), kSizeOfCell[r][c]) << "row " << r << ", column " << c;
            grid[9 * 4 + 4] = 5;
            EXPECT_EQ(KernelSizeFromWeights(grid), kSizeOfCell[r][c]) << "row " << r << ", column " << c;
        }
    const int32_t none[kGridCells] = {};
    EXPECT_EQ(KernelSizeFromWeights(none), 3);
}

TEST(KernelParams, DefaultsAreANewFiltersValues) {
    const KernelParams p = DefaultParams();
    unsigned char bytes[612];
    std::memcpy(bytes, &p, sizeof bytes);
    auto word = [&](int offset) {
        return int32_t(uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 | uint32_t(bytes[offset + 2]) << 16 |
                       uint32_t(bytes[offset + 3]) << 24);
    };
    EXPECT_EQ(uint32_t(word(0)), 0x33A25539u);
    EXPECT_EQ(word(4), 1009);
    EXPECT_EQ(word(8), 0);
    EXPECT_EQ(word(12), 0);
    EXPECT_EQ(word(16), 3);
    for (int i = 0; i < 81; ++i) EXPECT_EQ(word(20 + 4 * i), 0);
    EXPECT_EQ(word(344), 1);
    EXPECT_EQ(word(348), 0);
    EXPECT_EQ(word(352), 0);
    EXPECT_EQ(bytes[356], 0);
}

TEST(KernelParams, NameLengthNeverLooksPastTheRecord) {
    KernelParams p = DefaultParams();
    EXPECT_EQ(NameLength(p.name), 0u);
    std::strcpy(p.name, "Sharpen");
    EXPECT_EQ(NameLength(p.name), 7u);
    // A hand-made configuration may fill all 256 bytes: only 255 count.
    std::memset(p.name, 'x', sizeof p.name);
    EXPECT_EQ(NameLength(p.name), 255u);
}

std::string Format(const char* format, ...) {
    char out[kMessageChars];
    std::memset(out, '#', sizeof out);
    va_list args;
    va_start(args, format);
    FormatMessageText(out, format, args);
    va_end(args);
    EXPECT_NE(std::memchr(out, 0, sizeof out), nullptr);
    return out;
}

TEST(MessageText, IsBoundedToItsBuffer) {
    EXPECT_EQ(Format("Can't open file: %s", "C:\\a\\VLM.SET"), "Can't open file: C:\\a\\VLM.SET");
    const std::string longPath(300, 'p');
    const std::string cut = Format("Can't open file: %s", longPath.c_str());
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut.substr(0, 17), "Can't open file: ");
    EXPECT_EQ(cut.substr(252), "...");
    EXPECT_EQ(Format("%s", std::string(255, 'a').c_str()).size(), 255u);
    EXPECT_EQ(Format("%s", std::string(255, 'a').c_str()).back(), 'a');
}

}  // namespace
