#include "library/filter_file.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Status = FilterFileStatus;

// The record as its 85 numbers, so failures print every field.
std::vector<int32_t> Fields(const KernelRecord& r) {
    std::vector<int32_t> v{r.kernelSize};
    v.insert(v.end(), r.weights, r.weights + kGridCells);
    v.insert(v.end(), {r.divide, r.offset, r.invert});
    return v;
}

KernelRecord Filled(int32_t size, int32_t weight, int32_t divide, int32_t offset, int32_t invert) {
    KernelRecord r;
    r.kernelSize = size;
    for (int32_t& w : r.weights) w = weight;
    r.divide = divide;
    r.offset = offset;
    r.invert = invert;
    return r;
}

// Straight from the file layout: name, size, the rows of the block, last line.
std::string ExpectedEntry(const std::string& name, const KernelRecord& r) {
    const int k = r.kernelSize;
    const int side = (k == 3 || k == 5 || k == 7) ? k : 9;
    const int s = (9 - side) / 2;
    std::ostringstream out;
    out << name << "\r\n" << k << "\r\n";
    for (int i = 0; i < side; ++i) {
        for (int j = 0; j < side; ++j) out << (j ? " " : "") << r.weights[9 * (s + i) + s + j];
        out << "\r\n";
    }
    out << r.divide << ' ' << r.offset << ' ' << r.invert << "\r\n";
    return out.str();
}

struct Entry {
    std::string name;
    KernelRecord record;
};

class FilterFile : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = fs::temp_directory_path() / ("vlm_library_" + test + "_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "VLM.SET").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string Bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Every entry the way the list and the search walk the file: one record
    // carried from entry to entry.
    std::vector<Entry> ReadAll(KernelRecord record = Filled(3, 0, 1, 0, 0)) const {
        std::vector<Entry> out;
        std::FILE* f = std::fopen(path_.c_str(), "rb");
        if (!f) {
            ADD_FAILURE() << "cannot open " << path_;
            return out;
        }
        const size_t limit = fs::file_size(path_) + 1;
        char name[kNameBytes];
        while (ReadFilterEntry(f, name, &record)) {
            if (!std::memchr(name, 0, kNameBytes) || out.size() >= limit) {
                ADD_FAILURE() << "unterminated name or no progress after " << out.size() << " entries";
                break;
            }
            out.push_back({name, record});
        }
        std::fclose(f);
        return out;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(FilterFile, WorkedExampleIsExactlyItsBytesAndReadsBack) {
    KernelRecord sharpen = Filled(3, 0, 1, 0, 0);
    const int32_t block[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    PlaceKernel(block, 3, sharpen.weights);

    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "Sharpen", &sharpen));
    const std::string bytes = Bytes();
    EXPECT_EQ(44u, bytes.size());
    EXPECT_EQ("Sharpen\r\n3\r\n0 -1 0\r\n-1 5 -1\r\n0 -1 0\r\n1 0 0\r\n", bytes);

    const std::vector<Entry> entries = ReadAll(Filled(9, 99, 99, 99, 99));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ("Sharpen", entries[0].name);
    EXPECT_EQ(Fields(sharpen), Fields(entries[0].record));
}

TEST_F(FilterFile, EmptyFileHasNoEntries) {
    Write("");
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    char name[kNameBytes] = "untouched";
    KernelRecord record = Filled(5, 7, 7, 7, 7);
    EXPECT_FALSE(ReadFilterEntry(f, name, &record));
    std::fclose(f);
    EXPECT_STREQ("untouched", name);
    EXPECT_EQ(Fields(Filled(5, 7, 7, 7, 7)), Fields(record));

    EXPECT_EQ(Status::kNotFound, FindFilterEntry(path_.c_str(), "", &record));
    EXPECT_EQ(Status::kNotFound, FindFilterEntry(path_.c_str(), "Blur", &record));
    EXPECT_EQ(Fields(Filled(5, 7, 7, 7, 7)), Fields(record));
}

TEST_F(FilterFile, UnopenableFileIsReportedAndLeftAlone) {
    KernelRecord record = Filled(9, 4, 4, 4, 4);
    EXPECT_EQ(Status::kCantOpen, FindFilterEntry(path_.c_str(), "Blur", &record));
    EXPECT_EQ(Fields(Filled(9, 4, 4, 4, 4)), Fields(record));

    const std::string inMissingDir = (dir_ / "no such dir" / "VLM.SET").string();
    EXPECT_EQ(Status::kCantOpen, AppendFilterEntry(inMissingDir.c_str(), "Blur", &record));
    EXPECT_FALSE(fs::exists(inMissingDir));
}

// The user is told of exactly the statuses that leave something undone
// behind their back, each with the path where the %s stands.
TEST(FilterFileMessage, NamesTheFailuresTheUserIsToldOf) {
    const std::map<Status, const char*> said = {
        {Status::kCantOpen, "Can't open file: %s"},
        {Status::kCantWrite, "Can't write file, nothing saved: %s"},
        {Status::kDamagedAtEnd, "File damaged at its end, nothing saved: %s"},
    };
    for (Status s : {Status::kOk, Status::kNotFound, Status::kRefused, Status::kCantOpen, Status::kCantWrite,
                     Status::kDamagedAtEnd}) {
        const auto it = said.find(s);
        const char* text = FilterFileMessage(s);
        if (it == said.end()) EXPECT_EQ(nullptr, text) << static_cast<int>(s);
        else EXPECT_STREQ(it->second, text) << static_cast<int>(s);
    }
}

TEST_F(FilterFile, RandomEntriesOfEverySizeRoundTrip) {
    std::mt19937 rng(20240611);
    const int32_t sizes[] = {3, 5, 7, 9, 1, 4, 0, 2, 8, -7, INT32_MAX, INT32_MIN};
    auto value = [&] {
        const int32_t extremes[] = {INT32_MIN, INT32_MAX, -1, 0, 1, INT32_MIN + 1};
        switch (rng() % 3) {
            case 0: return extremes[rng() % 6];
            case 1: return static_cast<int32_t>(rng() % 199999) - 99999;
            default: return static_cast<int32_t>(rng());
        }
    };
    auto name = [&](bool first) {
        const size_t lengths[] = {1, 2, 254, 255, 1 + rng() % 255};
        std::string n(lengths[rng() % 5], 'x');
        for (char& c : n) {
            do c = static_cast<char>(1 + rng() % 255);
            while (c == '\r' || c == '\n');
        }
        // Blanks before a name survive only in the file's first entry.
        if (!first)
            while (n[0] == ' ' || (n[0] >= '\t' && n[0] <= '\r')) n[0] = static_cast<char>('A' + rng() % 26);
        return n;
    };

    std::vector<Entry> written;
    std::string expected;
    for (int i = 0; i < 240; ++i) {
        KernelRecord r = Filled(sizes[i % 12], 0, value(), value(), value());
        const int k = r.kernelSize;
        const int side = (k == 3 || k == 5 || k == 7) ? k : 9, s = (9 - side) / 2;
        for (int row = s; row < s + side; ++row)
            for (int col = s; col < s + side; ++col) r.weights[9 * row + col] = value();
        const std::string n = i == 0 ? " \t" + name(false).substr(0, 253) : name(false);
        ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), n.c_str(), &r)) << "entry " << i;
        written.push_back({n, r});
        expected += ExpectedEntry(n, r);
    }
    EXPECT_EQ(expected, Bytes());

    const std::vector<Entry> read = ReadAll();
    ASSERT_EQ(written.size(), read.size());
    std::map<std::string, const Entry*> firstByName;
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(written[i].name, read[i].name) << "entry " << i;
        EXPECT_EQ(Fields(written[i].record), Fields(read[i].record)) << "entry " << i;
        firstByName.emplace(written[i].name, &written[i]);
    }
    for (const auto& [n, entry] : firstByName) {
        KernelRecord found = Filled(3, 0, 0, 0, 0);
        ASSERT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), n.c_str(), &found));
        EXPECT_EQ(Fields(entry->record), Fields(found));
    }
}

TEST_F(FilterFile, HowNumbersAreSpreadDoesNotMatter) {
    // The same 5 x 5 entry written six ways, the last without a line end.
    Write(
        "Lines\r\n5\r\n1 2 3 4 5\r\n6 7 8 9 10\r\n11 12 13 14 15\r\n16 17 18 19 20\r\n21 22 23 24 -25\r\n2 -3 1\r\n"
        "Bare LF\n5\n1 2 3 4 5\n6 7 8 9 10\n11 12 13 14 15\n16 17 18 19 20\n21 22 23 24 -25\n2 -3 1\n"
        "\r\n\r\n  \t\r\n"
        "One line\r\n5 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 -25 2 -3 1\r\n"
        "Scattered\r\n  5\r\n\r\n1\t2 3\r\n4\r\n5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23\r\n24\r\n-25 2\r\n"
        "-3\r\n1  \r\n"
        "Blank line before numbers\r\n\r\n5\r\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 -25\r\n"
        "2 -3 1\r\n"
        "Unended\r\n5\r\n1 2 3 4 5\r\n6 7 8 9 10\r\n11 12 13 14 15\r\n16 17 18 19 20\r\n21 22 23 24 -25\r\n2 -3 1");
    KernelRecord expected = Filled(5, 0, 2, -3, 1);
    int32_t block[25];
    for (int i = 0; i < 25; ++i) block[i] = i + 1;
    block[24] = -25;
    PlaceKernel(block, 5, expected.weights);

    const std::vector<Entry> entries = ReadAll(Filled(3, 9, 9, 9, 9));
    const char* names[] = {"Lines", "Bare LF", "One line", "Scattered", "Blank line before numbers", "Unended"};
    ASSERT_EQ(6u, entries.size());
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(names[i], entries[i].name);
        EXPECT_EQ(Fields(expected), Fields(entries[i].record)) << names[i];
    }
}

TEST_F(FilterFile, BlanksBeforeANameAreKeptOnlyInTheFirstEntry) {
    const std::string body = "3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 0\r\n";
    Write("  First\r\n" + body + "\r\n \t  Second \r\n" + body + "\t\r\n\r\n12345\r\n" + body);
    const std::vector<Entry> entries = ReadAll();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("  First", entries[0].name);
    EXPECT_EQ("Second ", entries[1].name);
    EXPECT_EQ("12345", entries[2].name);
    for (const Entry& e : entries) EXPECT_EQ(1, e.record.weights[40]);
}

TEST_F(FilterFile, LongNames) {
    const KernelRecord r = Filled(9, -2, 3, 4, 1);
    const std::string n254(254, 'p'), n255 = std::string(254, 'q') + 'Q';
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), n254.c_str(), &r));
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), n255.c_str(), &r));
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "After", &r));
    const std::vector<Entry> entries = ReadAll();
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(n254, entries[0].name);
    EXPECT_EQ(n255, entries[1].name);
    EXPECT_EQ("After", entries[2].name);
    for (const std::string& n : {n254, n255}) {
        KernelRecord found = Filled(3, 0, 0, 0, 0);
        EXPECT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), n.c_str(), &found));
        EXPECT_EQ(Fields(r), Fields(found));
    }

    // A 254-character name ended by a bare LF, then a hand-made 300-character
    // line: cut after 255, and its rest is a bad number token that becomes
    // the next name.
    const std::string body = "3\r\n0 0 0\r\n0 7 0\r\n0 0 0\r\n1 0 0\r\n";
    Write(n254 + "\n" + body + std::string(255, 'a') + std::string(45, 'b') + "\r\n" + body);
    const std::vector<Entry> cut = ReadAll(Filled(5, 1, 6, 6, 6));
    ASSERT_EQ(3u, cut.size());
    EXPECT_EQ(n254, cut[0].name);
    EXPECT_EQ(7, cut[0].record.weights[40]);
    EXPECT_EQ(std::string(255, 'a'), cut[1].name);
    EXPECT_EQ(Fields(Filled(3, 0, 1, 0, 0)), Fields(cut[1].record));  // nothing read: the earlier values stay
    EXPECT_EQ(std::string(45, 'b'), cut[2].name);
    EXPECT_EQ(7, cut[2].record.weights[40]);
}

TEST_F(FilterFile, SizesOtherThanThreeFiveSevenTakeAllWeights) {
    std::string all81;
    for (int i = 1; i <= 81; ++i) all81 += std::to_string(i) + (i % 9 ? " " : "\r\n");
    const int32_t sizes[] = {1, 4, 9, 0, -3, 6};
    std::string file;
    for (int32_t k : sizes) file += "Size " + std::to_string(k) + "\r\n" + std::to_string(k) + "\r\n" + all81 + "5 6 0\r\n";
    file += "Tail\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 0\r\n";
    Write(file);

    const std::vector<Entry> entries = ReadAll();
    ASSERT_EQ(7u, entries.size());
    for (size_t i = 0; i < 6; ++i) {
        KernelRecord expected = Filled(sizes[i], 0, 5, 6, 0);
        for (int c = 0; c < 81; ++c) expected.weights[c] = c + 1;
        EXPECT_EQ("Size " + std::to_string(sizes[i]), entries[i].name);
        EXPECT_EQ(Fields(expected), Fields(entries[i].record));
    }
    EXPECT_EQ("Tail", entries[6].name);
    EXPECT_EQ(Fields([] { KernelRecord t = Filled(3, 0, 1, 0, 0); t.weights[40] = 1; return t; }()),
              Fields(entries[6].record));
}

TEST_F(FilterFile, BadTokenEndsTheEntryAndStartsTheNextName) {
    // "x5" stops the first entry after four weights; its line's rest is the
    // second name, whose size then comes from the next line (7), and so on.
    Write("Bad\r\n3\r\n1 2 3\r\n4 x5 6\r\n7 8 9\r\n1 0 0\r\nNext\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n2 3 1\r\n");
    const std::vector<Entry> e = ReadAll(Filled(9, 77, 7, 8, 9));
    ASSERT_EQ(3u, e.size());
    KernelRecord bad = Filled(3, 0, 7, 8, 9);
    bad.weights[30] = 1, bad.weights[31] = 2, bad.weights[32] = 3, bad.weights[39] = 4;
    EXPECT_EQ("Bad", e[0].name);
    EXPECT_EQ(Fields(bad), Fields(e[0].record));
    KernelRecord seven = Filled(7, 0, 7, 8, 9);
    seven.weights[10] = 8, seven.weights[11] = 9, seven.weights[12] = 1;
    EXPECT_EQ("x5 6", e[1].name);
    EXPECT_EQ(Fields(seven), Fields(e[1].record));
    KernelRecord next = Filled(3, 0, 2, 3, 1);
    next.weights[40] = 1;
    EXPECT_EQ("Next", e[2].name);
    EXPECT_EQ(Fields(next), Fields(e[2].record));

    // The digits before letters are a number; the letters, and a sign with no
    // digit after it, stay for the next name.
    const struct {
        const char* file;
        int32_t lastWeight;
        const char* nextName;
    } cases[] = {{"N\r\n3\r\n1 2 3 4 12abc\r\n", 12, "abc"},
                 {"N\r\n3\r\n1 2 3 4 5 - 2\r\n", 5, "- 2"},
                 {"N\r\n3\r\n1 2 3 4 5 +\r\n", 5, "+"},
                 {"N\r\n3\r\n1 2 3 4 5 --6", 5, "--6"},
                 {"N\r\n3\r\n1 2 3 4 5 -", 5, "-"}};
    for (const auto& c : cases) {
        Write(c.file);
        const std::vector<Entry> two = ReadAll(Filled(9, 77, 7, 8, 9));
        ASSERT_EQ(2u, two.size()) << c.file;
        EXPECT_EQ(c.lastWeight, two[0].record.weights[40]) << c.file;
        EXPECT_EQ(0, two[0].record.weights[41]) << c.file;
        EXPECT_EQ(c.nextName, two[1].name) << c.file;
        EXPECT_EQ(Fields(Filled(3, 0, 7, 8, 9)), Fields(two[1].record)) << c.file;
    }
}

TEST_F(FilterFile, TruncatedLastEntryGetsZeroWeights) {
    Write("T\r\n5\r\n1 2 3");
    const std::vector<Entry> e = ReadAll(Filled(9, 77, 7, 8, 9));
    ASSERT_EQ(1u, e.size());
    KernelRecord expected = Filled(5, 0, 7, 8, 9);
    expected.weights[20] = 1, expected.weights[21] = 2, expected.weights[22] = 3;
    EXPECT_EQ(Fields(expected), Fields(e[0].record));

    Write("Cut\r");  // a CR LF cut short by the end of the file
    const std::vector<Entry> cut = ReadAll();
    ASSERT_EQ(1u, cut.size());
    EXPECT_EQ("Cut", cut[0].name);
}

// The report a caller may ask for tells how the entry ended, and asking
// changes nothing of what is read.
TEST_F(FilterFile, ReportSaysHowTheFirstEntryEnded) {
    const struct {
        const char* file;
        FilterEntryEnd end;
        int read, wanted;
    } cases[] = {
        {"W\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 0\r\nNext\r\n", FilterEntryEnd::kWhole, 13, 13},
        {"W\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 0", FilterEntryEnd::kWhole, 13, 13},
        {"T\r\n5\r\n1 2 3", FilterEntryEnd::kCutShort, 4, 29},
        {"T\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0\r\n", FilterEntryEnd::kCutShort, 12, 13},
        {"Cut\r", FilterEntryEnd::kCutShort, 0, 13},
        {"N\r\n3\r\n1 2 3 4 12abc\r\n", FilterEntryEnd::kDamaged, 6, 13},
        {"N\r\n3\r\n1 2 3 4 5 -", FilterEntryEnd::kDamaged, 6, 13},
        {"N\r\nx\r\n", FilterEntryEnd::kDamaged, 0, 13},
        {"N\r\n4\r\n1", FilterEntryEnd::kCutShort, 2, 85},
    };
    for (const auto& c : cases) {
        Write(c.file);
        char plainName[kNameBytes], name[kNameBytes];
        KernelRecord plain = Filled(3, 5, 7, 8, 9), reported = plain;
        std::FILE* f = std::fopen(path_.c_str(), "rb");
        ASSERT_TRUE(ReadFilterEntry(f, plainName, &plain)) << c.file;
        std::rewind(f);
        FilterEntryReport report;
        ASSERT_TRUE(ReadFilterEntry(f, name, &reported, &report)) << c.file;
        std::fclose(f);
        EXPECT_EQ(int(c.end), int(report.end)) << c.file;
        EXPECT_EQ(c.read, report.numbersRead) << c.file;
        EXPECT_EQ(c.wanted, report.numbersWanted) << c.file;
        EXPECT_STREQ(plainName, name) << c.file;
        EXPECT_EQ(Fields(plain), Fields(reported)) << c.file;
    }
}

TEST_F(FilterFile, NumbersOutsideTheRangeSaturate) {
    // 2^64 + 3 and 2^64 + 5: a 64-bit accumulator that wraps would see 3 and 5.
    std::string huge = "Huge size\r\n18446744073709551619\r\n";
    for (int i = 0; i < 81; ++i) huge += "-3 ";
    Write("Big\r\n3\r\n99999999999999999999 -99999999999999999999 2147483648\r\n"
          "-2147483649 2147483647 -2147483648\r\n+7 -0 00012\r\n18446744073709551621 -18446744073709551621 1\r\n" +
          huge + "\r\n1 0 0\r\n");
    const std::vector<Entry> e = ReadAll();
    ASSERT_EQ(2u, e.size());
    KernelRecord big = Filled(3, 0, INT32_MAX, INT32_MIN, 1);
    const int32_t block[9] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, 7, 0, 12};
    PlaceKernel(block, 3, big.weights);
    EXPECT_EQ(Fields(big), Fields(e[0].record));
    EXPECT_EQ(Fields(Filled(INT32_MAX, -3, 1, 0, 0)), Fields(e[1].record));
}

TEST_F(FilterFile, SearchIsExactAndTheFirstOfTwoWins) {
    const std::string body3 = "3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n";
    Write("Blur\r\n" + body3 + "1 0 0\r\nBlur 2\r\n" + body3 + "2 0 0\r\nBlur\r\n" + body3 + "3 0 0\r\nLast\r\n" +
          body3 + "4 0 0\r\n");
    KernelRecord r = Filled(9, 5, 5, 5, 5);
    EXPECT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), "Blur", &r));
    EXPECT_EQ(1, r.divide);
    EXPECT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), "Blur 2", &r));
    EXPECT_EQ(2, r.divide);
    for (const char* absent : {"blur", "Blur ", "Blu", "BLUR 2", ""}) {
        r = Filled(9, 5, 5, 5, 5);
        EXPECT_EQ(Status::kNotFound, FindFilterEntry(path_.c_str(), absent, &r)) << absent;
        EXPECT_EQ(4, r.divide) << "the record holds the last entry after a failed search";
    }
}

TEST_F(FilterFile, AppendRefusesWhatWouldNotReadBack) {
    const KernelRecord ok = Filled(9, 1, 1, 0, 0);
    char unterminated[kNameBytes];
    std::memset(unterminated, 'u', sizeof unterminated);
    KernelRecord outside3 = Filled(3, 0, 1, 0, 0), outside7 = Filled(7, 0, 1, 0, 0);
    outside3.weights[40] = 1, outside3.weights[0] = 1;
    outside7.weights[80] = -1;

    // Nothing here may create the file.
    for (const char* n : {"", "A\rB", "A\nB", "Tail\r\n"})
        EXPECT_EQ(Status::kRefused, AppendFilterEntry(path_.c_str(), n, &ok)) << n;
    EXPECT_EQ(Status::kRefused, AppendFilterEntry(path_.c_str(), std::string(256, 'n').c_str(), &ok));
    EXPECT_EQ(Status::kRefused, AppendFilterEntry(path_.c_str(), unterminated, &ok));
    EXPECT_EQ(Status::kRefused, AppendFilterEntry(path_.c_str(), "Outside", &outside3));
    EXPECT_EQ(Status::kRefused, AppendFilterEntry(path_.c_str(), "Outside", &outside7));
    EXPECT_FALSE(fs::exists(path_));

    // Blanks before a name read back only for the first entry.
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), " First", &ok));
    const std::string before = Bytes();
    for (const char* n : {" Lead", "\tLead", "\vLead", "\fLead", "B\r"})
        EXPECT_EQ(Status::kRefused, AppendFilterEntry(path_.c_str(), n, &ok)) << n;
    EXPECT_EQ(before, Bytes());

    // Odd names that do read back are taken.
    const char* odd[] = {"12345", "-3", "a\tb", "trail  ", "\xE9t\xE9", "0 0 0"};
    KernelRecord size4 = Filled(4, -9, 2, 2, 1);
    for (const char* n : odd) EXPECT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), n, &size4)) << n;
    const std::vector<Entry> e = ReadAll();
    ASSERT_EQ(7u, e.size());
    EXPECT_EQ(" First", e[0].name);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(odd[i], e[i + 1].name);
        EXPECT_EQ(Fields(size4), Fields(e[i + 1].record));
    }
}

TEST_F(FilterFile, AppendStartsItsNameOnANewLine) {
    const std::string unended = "Old\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 5";
    const KernelRecord r = Filled(9, 2, 1, 0, 0);
    Write(unended);
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "5New", &r));
    EXPECT_EQ(unended + "\r\n" + ExpectedEntry("5New", r), Bytes());
    const std::vector<Entry> e = ReadAll();
    ASSERT_EQ(2u, e.size());
    EXPECT_EQ(5, e[0].record.invert);
    EXPECT_EQ("5New", e[1].name);
    EXPECT_EQ(Fields(r), Fields(e[1].record));

    Write(unended + "\n");
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "New", &r));
    EXPECT_EQ(unended + "\n" + ExpectedEntry("New", r), Bytes());
}

// Each save the dialog makes must read back under its name: after an entry
// the file cut short, the cut entry's number reads go on into the appended
// text, so a name they would take is refused, with a word and nothing written.
TEST_F(FilterFile, AppendAfterACutLastEntryReadsBackUnderItsNameOrIsRefused) {
    KernelRecord blur = Filled(3, 0, 9, 0, 0);
    const int32_t ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    PlaceKernel(ones, 3, blur.weights);
    const std::string cut = "Old\r\n3\r\n0 0 0\r\n0 1";
    Write(cut);
    const std::vector<Entry> before = ReadAll();
    for (const char* n : {"3x3 blur", "-1 blur", "+2"})
        EXPECT_EQ(Status::kDamagedAtEnd, AppendFilterEntry(path_.c_str(), n, &blur)) << n;
    EXPECT_EQ(cut, Bytes());

    // A name the number reads stop at goes after it and is found; the cut
    // entry reads as it did.
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "Blur", &blur));
    EXPECT_EQ(cut + "\r\n" + ExpectedEntry("Blur", blur), Bytes());
    const std::vector<Entry> after = ReadAll();
    ASSERT_EQ(2u, after.size());
    EXPECT_EQ("Old", after[0].name);
    EXPECT_EQ(Fields(before[0].record), Fields(after[0].record));
    EXPECT_EQ("Blur", after[1].name);
    EXPECT_EQ(Fields(blur), Fields(after[1].record));
    KernelRecord found = Filled(5, 5, 5, 5, 5);
    EXPECT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), "Blur", &found));
    EXPECT_EQ(Fields(blur), Fields(found));

    // A name line the end of the file cut after its CR, with no numbers.
    Write("Saved when\r");
    EXPECT_EQ(Status::kDamagedAtEnd, AppendFilterEntry(path_.c_str(), "5 x 5", &blur));
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "Saved when full", &blur));
    EXPECT_EQ("Saved when\r\n" + ExpectedEntry("Saved when full", blur), Bytes());
    EXPECT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), "Saved when full", &found));
    EXPECT_EQ(Fields(blur), Fields(found));
}

// A small filesystem, mounted for one test (root only).
class TinyDisk {
public:
    explicit TinyDisk(const fs::path& dir) : dir_(dir) {
        fs::create_directories(dir_);
        mounted_ = mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=16k") == 0;
    }
    ~TinyDisk() {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }

private:
    fs::path dir_;
    bool mounted_ = false;
};

TEST_F(FilterFile, AFailedWriteLeavesTheFileAsItWasAndSaysSo) {
    KernelRecord r = Filled(3, 0, 1, 0, 0);
    r.weights[40] = 1;
    // A device that is always full takes no byte.
    EXPECT_EQ(Status::kCantWrite, AppendFilterEntry("/dev/full", "Saved when full", &r));

    // A disk with 10 bytes free takes the start of the entry, then fails.
    TinyDisk disk(dir_ / "tiny");
    if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root); /dev/full was checked";
    path_ = (dir_ / "tiny" / "VLM.SET").string();
    std::string held;
    for (int i = 0; held.size() < 4000; ++i) held += ExpectedEntry("Kept " + std::to_string(i), r);
    held += std::string(4096 - 10 - 2 - held.size(), ' ') + "\r\n";
    Write(held);
    ASSERT_EQ(held, Bytes());
    {
        std::ofstream filler(dir_ / "tiny" / "filler", std::ios::binary);
        const std::string page(4096, '\0');
        while (filler.write(page.data(), page.size())) {}
    }
    EXPECT_EQ(Status::kCantWrite, AppendFilterEntry(path_.c_str(), "Saved when full", &r));
    EXPECT_EQ(held, Bytes());

    // With room again the same save goes after the entries, whole.
    fs::remove(dir_ / "tiny" / "filler");
    ASSERT_EQ(Status::kOk, AppendFilterEntry(path_.c_str(), "Saved when full", &r));
    EXPECT_EQ(held + ExpectedEntry("Saved when full", r), Bytes());
    KernelRecord found = Filled(5, 5, 5, 5, 5);
    EXPECT_EQ(Status::kOk, FindFilterEntry(path_.c_str(), "Saved when full", &found));
    EXPECT_EQ(Fields(r), Fields(found));
}

TEST_F(FilterFile, ArbitraryBytesAreReadWithinBounds) {
    // An endless line of letters is cut into 255-character names, each
    // ending its entry at once; no byte is lost or read twice.
    const std::string letters(100000, 'a');
    Write(letters);
    std::string joined;
    for (const Entry& e : ReadAll()) joined += e.name;
    EXPECT_EQ(letters, joined);

    Write("N\r\n" + std::string(100000, '9'));
    std::vector<Entry> e = ReadAll();
    ASSERT_EQ(1u, e.size());
    EXPECT_EQ(INT32_MAX, e[0].record.kernelSize);

    Write(std::string("\0A\0\r\n3\r\n\0 1 2\r\n", 15));
    e = ReadAll(Filled(3, 5, 5, 5, 5));
    ASSERT_EQ(2u, e.size());
    EXPECT_EQ("", e[0].name);  // the name stops at its first zero byte
    EXPECT_EQ(0, e[0].record.weights[30]);

    // Random soup of the characters the reader cares about: ReadAll checks
    // progress and terminated names.
    std::mt19937 rng(7);
    const char soup[] = "0123456789 -+\r\n\tab\0";
    for (int i = 0; i < 200; ++i) {
        std::string bytes(rng() % 3000, ' ');
        for (char& c : bytes) c = soup[rng() % (sizeof soup)];
        Write(bytes);
        ReadAll();
    }
}

}  // namespace

TEST(FilterFileNames, StorableNamesReadBackWhereverTheyLand) {
    EXPECT_TRUE(IsStorableName("Blur"));
    EXPECT_TRUE(IsStorableName("Blur 2 "));
    EXPECT_TRUE(IsStorableName(std::string(255, 'n').c_str()));
    EXPECT_FALSE(IsStorableName(""));
    EXPECT_FALSE(IsStorableName(" Blur"));
    EXPECT_FALSE(IsStorableName("\tBlur"));
    EXPECT_FALSE(IsStorableName("Bl\rur"));
    EXPECT_FALSE(IsStorableName("Blur\n"));
    EXPECT_FALSE(IsStorableName(std::string(256, 'n').c_str()));
}
