#include "minihost/files/written_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Said(const WrittenRecord& record) {
    char line[4096 + 128];
    record.Say(line, sizeof line);
    return line;
}

// The handler's words are the command's words, for as many files as the
// record's own 4 KB holds.
TEST(WrittenRecord, SaysWhatCommittedListSays) {
    WrittenRecord record;
    std::vector<std::string> files;
    EXPECT_EQ(Said(record), CommittedList(files));
    for (const char* name : {"out\\shot_1.png", "out\\shot_2.png", "out\\shot_3.tif"}) {
        record.Add(name);
        files.push_back(name);
        EXPECT_EQ(Said(record), CommittedList(files));
    }
}

// 100,000 commits: every file kept in order, and the line names the first
// ones whole, in order, then how many there were; a name that does not fit
// is left out whole and so is every one after it, even a shorter one.
TEST(WrittenRecord, KeepsAHundredThousandFilesAndSaysHowMany) {
    WrittenRecord record;
    std::string named;
    for (int i = 0; i < 100000; ++i) {
        const std::string name = i == 300 ? std::string(4000, 'x') : "f" + std::to_string(i) + ".png";
        record.Add(name);
        if (i < 300) named += (i ? ", " : "") + name;
    }
    ASSERT_EQ(record.Count(), 100000u);
    const std::vector<std::string> files = record.Files();
    ASSERT_EQ(files.size(), 100000u);
    EXPECT_EQ(files[0], "f0.png");
    EXPECT_EQ(files[300].size(), 4000u);
    EXPECT_EQ(files[99999], "f99999.png");
    EXPECT_EQ(Said(record), "wrote 100000 files: " + named + ", ... (100000 files in all), nothing else");

    char small[40];
    record.Say(small, sizeof small);
    EXPECT_EQ(std::string(small), std::string("wrote 100000 files: f0.png, f1.png, f2.png").substr(0, sizeof small - 1));
}

}  // namespace
