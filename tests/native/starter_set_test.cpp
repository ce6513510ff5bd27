#include "library/starter/starter_set.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "library/filter_file.h"

namespace {

std::vector<StarterKernel> ShippedTable() {
    std::vector<StarterKernel> kernels;
    std::FILE* table = std::fopen(VLM_SOURCE_DIR "/library/starter/kernels.txt", "rb");
    EXPECT_NE(table, nullptr);
    if (!table) return kernels;
    std::string error;
    EXPECT_TRUE(ParseStarterTable(table, &kernels, &error)) << error;
    std::fclose(table);
    return kernels;
}

std::vector<StarterKernel> Parse(const std::string& text, std::string* error) {
    std::FILE* f = tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    std::vector<StarterKernel> kernels;
    if (!ParseStarterTable(f, &kernels, error)) kernels.clear();
    std::fclose(f);
    return kernels;
}

int64_t WeightSum(const KernelRecord& r) {
    int64_t sum = 0;
    for (int32_t w : r.weights) sum += w;
    return sum;
}

TEST(StarterSet, EveryKernelIsFoundByNameAsTheTableGivesIt) {
    const std::vector<StarterKernel> kernels = ShippedTable();
    ASSERT_GE(kernels.size(), 12u);
    char path[] = "/tmp/starter_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::remove(path);
    std::string error;
    ASSERT_TRUE(WriteStarterSet(kernels, path, &error)) << error;

    for (const StarterKernel& k : kernels) {
        KernelRecord found{};
        ASSERT_EQ(FindFilterEntry(path, k.name.c_str(), &found), FilterFileStatus::kOk) << k.name;
        EXPECT_EQ(std::memcmp(&found, &k.record, sizeof found), 0) << k.name;
    }
    std::remove(path);
}

// A flat grey stays flat: weights that add up to Divide give the grey back,
// weights that add up to 0 give Offset everywhere (inverted for an outline).
TEST(StarterSet, EveryKernelKeepsAFlatGreyFlat) {
    for (const StarterKernel& k : ShippedTable()) {
        const KernelRecord& r = k.record;
        const int64_t sum = WeightSum(r);
        if (sum == 0) continue;
        EXPECT_EQ(sum, r.divide) << k.name;
        EXPECT_EQ(r.offset, 0) << k.name;
        EXPECT_EQ(r.invert, 0) << k.name;
    }
}

TEST(StarterSet, CoversTheKernelsArtistsReachFor) {
    std::vector<std::string> names;
    for (const StarterKernel& k : ShippedTable()) names.push_back(k.name);
    for (const char* wanted : {"Box blur 3x3", "Box blur 5x5", "Box blur 9x9", "Gaussian blur 3x3", "Gaussian blur 5x5",
                               "Gaussian blur 9x9", "Sharpen mild", "Sharpen strong", "Unsharp mask 5x5", "Emboss",
                               "Edges Laplacian", "Edges Sobel X", "Edges Sobel Y", "Outline", "Motion blur horizontal"})
        EXPECT_NE(std::find(names.begin(), names.end(), wanted), names.end()) << wanted;
}

TEST(StarterSet, TableMistakesAreNamedByLine) {
    std::string error;
    EXPECT_TRUE(Parse("# nothing\n", &error).empty());
    EXPECT_EQ(error, "the table holds no kernel");
    EXPECT_TRUE(Parse("1 2 3\n", &error).empty());
    EXPECT_EQ(error, "line 1: a kernel's name in brackets comes first");
    EXPECT_TRUE(Parse("[A]\n1 1 1\n1 1\n1 1 1\n", &error).empty());
    EXPECT_EQ(error, "line 1: row 2 of \"A\" has 2 weights, not 3");
    EXPECT_TRUE(Parse("[A]\n1 1\n1 1\n", &error).empty());
    EXPECT_EQ(error, "line 1: \"A\" has 2 rows; a block is 3, 5, 7 or 9 rows");
    EXPECT_TRUE(Parse("[A]\n1 x 1\n", &error).empty());
    EXPECT_EQ(error, "line 2: \"x\" is not a weight");
    EXPECT_TRUE(Parse("[A]\ndivide 99999999999\n", &error).empty());
    EXPECT_EQ(error, "line 2: divide takes one whole number");
    EXPECT_TRUE(Parse("[A]\n0 0 0\ndivide 2\n", &error).empty());
    EXPECT_EQ(error, "line 3: divide goes before the rows");

    const auto ok = Parse("[B]\ndivide -3\noffset 7\ninvert 1\n0 0 0\n0 5 0\n0 0 0\n", &error);
    ASSERT_EQ(ok.size(), 1u);
    EXPECT_EQ(ok[0].name, "B");
    EXPECT_EQ(ok[0].record.kernelSize, 3);
    EXPECT_EQ(ok[0].record.weights[40], 5);
    EXPECT_EQ(WeightSum(ok[0].record), 5);
    EXPECT_EQ(ok[0].record.divide, -3);
    EXPECT_EQ(ok[0].record.offset, 7);
    EXPECT_EQ(ok[0].record.invert, 1);
}

}  // namespace
