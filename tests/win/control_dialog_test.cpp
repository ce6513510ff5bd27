// The control dialog driven for real under Wine: a second thread types, clicks
// and picks as a user would while ShowControl sits in its modal loop; the
// results are read from the controls and from the filter's stored record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dialog/control_dialog.h"
#include "hostlib/host_control.h"
#include "module/module.h"
#include "plugin/kernel_filter.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

using Rows = std::vector<std::vector<int>>;

enum : int {
    kOk = 1,
    kCancel = 2,
    kPreview = 3,
    kSave = 4,
    kDivide = 1007,
    kDivideSpin = 1008,
    kWhole = 1009,
    kMaterial = 1010,
    kObject = 1011,
    kMaterialId = 1012,
    kObjectId = 1013,
    kMaterialSpin = 1014,
    kObjectSpin = 1015,
    kOffset = 1097,
    kOffsetSpin = 1098,
    kInvert = 1099,
    kList = 1101,
    kName = 1103,
};

// The grid with rows placed as the centred block.
void PlaceBlock(const Rows& rows, int32_t* weights) {
    std::vector<int32_t> block;
    for (const auto& row : rows) block.insert(block.end(), row.begin(), row.end());
    PlaceKernel(block.data(), static_cast<int>(rows.size()), weights);
}

KernelRecord Record(int size, const Rows& rows, int divide, int offset, int invert) {
    KernelRecord r{};
    r.kernelSize = size;
    PlaceBlock(rows, r.weights);
    r.divide = divide;
    r.offset = offset;
    r.invert = invert;
    return r;
}

bool SameBytes(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

// A record unlike the defaults in every field, with bytes after the name's
// terminator, so a restore that misses anything shows.
KernelParams Distinctive() {
    KernelParams p{};
    p.stamp = kParamsStamp;
    p.source = kObject;
    p.objectId = 300;
    p.materialId = 5;
    p.kernel.kernelSize = 5;
    for (int i = 0; i < 81; ++i) p.kernel.weights[i] = 0;
    p.kernel.weights[9 * 2 + 3] = -2;
    p.kernel.weights[9 * 4 + 4] = 11;
    p.kernel.divide = 7;
    p.kernel.offset = -3;
    p.kernel.invert = 1;
    std::memset(p.name, 'q', sizeof p.name);
    std::memcpy(p.name, "Start", 6);
    return p;
}

const Rows kSharpen = {{0, -1, 0}, {-1, 5, -1}, {0, -1, 0}};

class ControlDialog : public ControlDialogTest {
protected:
    KernelFilter& Kf() { return *static_cast<KernelFilter*>(filter.get()); }
    KernelParams Stored() {
        KernelParams p;
        EXPECT_EQ(filter->SaveConfigure(&p), 1);
        return p;
    }
    void Configure(const KernelParams& p) {
        KernelParams copy = p;
        ASSERT_EQ(filter->LoadConfigure(&copy), 1);
    }
};

TEST_F(ControlDialog, NewFilterOpensWithTheDefaultsAndTakesATypicalSharpen) {
    ASSERT_TRUE(DeleteFileA(LibraryFile().c_str()));
    const int result = Open([](HWND d) {
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 9; ++c) EXPECT_EQ(WindowText(Cell(d, r, c)), "") << "cell " << r << "," << c;
        EXPECT_EQ(TextOf(d, kDivide), "1");
        EXPECT_EQ(TextOf(d, kOffset), "0");
        EXPECT_FALSE(Checked(d, kInvert));
        EXPECT_TRUE(Checked(d, kWhole));
        EXPECT_FALSE(Checked(d, kMaterial));
        EXPECT_FALSE(Checked(d, kObject));
        for (int id : {kMaterialId, kObjectId, kMaterialSpin, kObjectSpin}) EXPECT_FALSE(Enabled(d, id)) << id;
        EXPECT_EQ(TextOf(d, kMaterialId), "0");
        EXPECT_EQ(TextOf(d, kObjectId), "0");
        EXPECT_EQ(TextOf(d, kName), "");
        EXPECT_TRUE(ListItems(GetDlgItem(d, kList)).empty());
        EXPECT_EQ(SendMessageA(GetDlgItem(d, kList), LB_GETCURSEL, 0, 0), LB_ERR);

        // The user types a sharpening kernel for the pixels of object 2.
        Type(Cell(d, 4, 4), "5");
        for (auto [r, c] : {std::pair{3, 4}, {4, 3}, {4, 5}, {5, 4}}) Type(Cell(d, r, c), "-1");
        Click(d, kObject);
        Type(GetDlgItem(d, kObjectId), "2");
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    // Before anything was saved there is no library file to list.
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Can't open file: " + LibraryFile()});
    KernelParams want = DefaultParams();
    want.source = kObject;
    want.objectId = 2;
    want.kernel = Record(3, kSharpen, 1, 0, 0);
    const KernelParams stored = Stored();
    EXPECT_TRUE(SameBytes(&stored, &want, sizeof stored));
    EXPECT_EQ(filter->ChannelsRequired(), 4u);
}


TEST_F(ControlDialog, OkTakesEveryControl) {
    Configure(Distinctive());
    const int result = Open([](HWND d) {
        // What the record shows first.
        EXPECT_EQ(WindowText(Cell(d, 2, 3)), "-2");
        EXPECT_EQ(WindowText(Cell(d, 4, 4)), "11");
        EXPECT_EQ(TextOf(d, kDivide), "7");
        EXPECT_EQ(TextOf(d, kOffset), "-3");
        EXPECT_TRUE(Checked(d, kInvert));
        EXPECT_TRUE(Checked(d, kObject));
        EXPECT_EQ(TextOf(d, kObjectId), "300");
        EXPECT_EQ(TextOf(d, kMaterialId), "5");
        EXPECT_EQ(TextOf(d, kName), "Start");
        EXPECT_TRUE(Enabled(d, kObjectId) && Enabled(d, kObjectSpin));

        SetText(Cell(d, 2, 3), "");
        SetText(Cell(d, 0, 8), "4");
        SetText(Cell(d, 4, 4), "-123");
        SetText(GetDlgItem(d, kDivide), "-6");
        SetText(GetDlgItem(d, kOffset), "12");
        Click(d, kInvert);
        Click(d, kWhole);
        for (int id : {kMaterialId, kObjectId, kMaterialSpin, kObjectSpin}) EXPECT_FALSE(Enabled(d, id)) << id;
        Click(d, kObject);
        EXPECT_TRUE(Enabled(d, kObjectId) && Enabled(d, kObjectSpin));
        EXPECT_FALSE(Enabled(d, kMaterialId) || Enabled(d, kMaterialSpin));
        Click(d, kMaterial);
        EXPECT_FALSE(Checked(d, kObject));
        EXPECT_TRUE(Enabled(d, kMaterialId) && Enabled(d, kMaterialSpin));
        EXPECT_FALSE(Enabled(d, kObjectId) || Enabled(d, kObjectSpin));
        SetText(GetDlgItem(d, kMaterialId), "9");
        SetText(GetDlgItem(d, kObjectId), "77");
        SetText(GetDlgItem(d, kName), "Changed");
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    const KernelParams p = Stored();
    EXPECT_EQ(p.source, kMaterial);
    EXPECT_EQ(p.materialId, 9);
    // The object ID edit was disabled, but what it holds is still taken.
    EXPECT_EQ(p.objectId, 77);
    KernelRecord want{};
    want.kernelSize = 9;
    want.weights[8] = 4;
    want.weights[40] = -123;
    want.divide = -6;
    want.offset = 12;
    want.invert = 0;
    EXPECT_TRUE(SameBytes(&p.kernel, &want, sizeof want));
    EXPECT_STREQ(p.name, "Changed");
}


TEST_F(ControlDialog, OutOfRangeSourceAndInvertShowAsTheRenderTreatsThem) {
    // Source 1012 filters the whole image and Invert 2 inverts nothing: no
    // radio button is checked, the box is unticked, and OK stores what the
    // controls then say.
    KernelParams p = DefaultParams();
    p.source = 1012;
    p.kernel.invert = 2;
    Configure(p);
    const int result = Open([](HWND d) {
        EXPECT_FALSE(Checked(d, kWhole));
        EXPECT_FALSE(Checked(d, kMaterial));
        EXPECT_FALSE(Checked(d, kObject));
        for (int id : {kMaterialId, kObjectId, kMaterialSpin, kObjectSpin}) EXPECT_FALSE(Enabled(d, id)) << id;
        EXPECT_FALSE(Checked(d, kInvert));
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Stored().source, kWhole);
    EXPECT_EQ(Stored().kernel.invert, 0);
}

using Cells = std::vector<std::pair<std::pair<int, int>, std::string>>;

// The entry Save writes for a grid holding only cells, with block size k.
std::string EntryFor(const std::string& name, int k, const Cells& cells) {
    const int s = (9 - k) / 2;
    Rows rows(k, std::vector<int>(k, 0));
    for (const auto& [rc, text] : cells) {
        const auto [r, c] = rc;
        EXPECT_TRUE(r >= s && r < s + k && c >= s && c < s + k) << "test data: cell outside the block";
        if (r >= s && r < s + k && c >= s && c < s + k) rows[r - s][c - s] = std::stoi(text);
    }
    return EntryText(name, rows, 1, 0, 0);
}

TEST_F(ControlDialog, KernelSizeIsTheSmallestCentredBlockHoldingEveryWeight) {
    // Each grid is saved (the entry's size line and block show the size the
    // dialog computed); the last one goes through OK.
    const std::pair<Cells, int> cases[] = {
        {{}, 3},
        {{{{3, 3}, "1"}, {{5, 5}, "-2"}, {{4, 4}, "3"}}, 3},
        {{{{2, 6}, "4"}}, 5},
        {{{{0, 2}, "-5"}}, 9},
        {{{{7, 4}, "6"}, {{4, 4}, "7"}}, 7},
        {{{{0, 0}, "0"}, {{8, 1}, "-0"}, {{1, 4}, "-3"}, {{8, 8}, "-6"}}, 9},
    };
    const int last = static_cast<int>(std::size(cases)) - 1;
    std::string expectedFile;
    const int result = Open([&](HWND d) {
        for (int i = 0; i <= last; ++i) {
            for (int r = 0; r < 9; ++r)
                for (int c = 0; c < 9; ++c) SetText(Cell(d, r, c), "");
            for (const auto& [rc, text] : cases[i].first) SetText(Cell(d, rc.first, rc.second), text);
            if (i == last) break;
            const std::string name = "case " + std::to_string(i);
            SetText(GetDlgItem(d, kName), name);
            Click(d, kSave);
            expectedFile += EntryFor(name, cases[i].second, cases[i].first);
        }
        Click(d, kOk);
    });
    ASSERT_EQ(result, 1);
    EXPECT_EQ(ReadBytes(LibraryFile()), expectedFile);
    const KernelParams p = Stored();
    EXPECT_EQ(p.kernel.kernelSize, 9);
    EXPECT_EQ(p.kernel.weights[9 * 1 + 4], -3);
    EXPECT_EQ(p.kernel.weights[9 * 8 + 8], -6);

    // Cells confirmed as 0 are stored as 0 and come back empty.
    const int again = Open([](HWND d) {
        EXPECT_EQ(WindowText(Cell(d, 0, 0)), "");
        EXPECT_EQ(WindowText(Cell(d, 8, 1)), "");
        EXPECT_EQ(WindowText(Cell(d, 1, 4)), "-3");
        Click(d, kCancel);
    });
    EXPECT_EQ(again, 0);
}

// Cancel must undo every change the open dialog made to the working record.
class CancelAfter : public ControlDialog {
protected:
    void Check(const std::function<void(HWND)>& act) {
        ASSERT_TRUE(WriteBytes(LibraryFile(), EntryText("Blur", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0)));
        const KernelParams before = Distinctive();
        Configure(before);
        const int result = Open([&](HWND d) {
            SetText(Cell(d, 1, 1), "8");
            SetText(GetDlgItem(d, kDivide), "2");
            Click(d, kWhole);
            act(d);
            Click(d, kCancel);
        });
        EXPECT_EQ(result, 0);
        const KernelParams after = Stored();
        EXPECT_TRUE(SameBytes(&after, &before, sizeof after));
    }
};

TEST_F(CancelAfter, SaveAndTheSavedEntryStays) {
    Check([](HWND d) {
        SetText(GetDlgItem(d, kName), "Kept");
        Click(d, kSave);
        EXPECT_EQ(SelectedItem(GetDlgItem(d, kList)), "Kept");
    });
    Rows rows(7, std::vector<int>(7, 0));
    rows[0][0] = 8;  // cell (1, 1)
    rows[3][3] = 11;
    rows[1][2] = -2;  // cell (2, 3)
    EXPECT_EQ(ReadBytes(LibraryFile()), EntryText("Blur", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0) +
                                            EntryText("Kept", rows, 2, -3, 1));
}

TEST_F(CancelAfter, EverythingAtOnce) {
    Check([](HWND d) {
        Click(d, kPreview);
        SetText(GetDlgItem(d, kName), "Other");
        Click(d, kSave);
        Pick(d, ItemIndex(GetDlgItem(d, kList), "Blur"));
        EXPECT_EQ(TextOf(d, kName), "Blur");
        SetText(GetDlgItem(d, kName), "");
    });
}

TEST_F(ControlDialog, EscapeAndTheCloseBoxCancel) {
    const KernelParams before = Distinctive();
    Configure(before);
    const std::function<void(HWND)> ways[] = {
        [](HWND d) {
            PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(d, WM_KEYUP, VK_ESCAPE, 0);
        },
        [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto& way : ways) {
        const int result = Open([&](HWND d) {
            SetText(Cell(d, 4, 4), "99");
            SetText(GetDlgItem(d, kName), "Gone");
            way(d);
            EXPECT_TRUE(WaitUntilGone(d, 5000));
        });
        EXPECT_EQ(result, 0);
        const KernelParams after = Stored();
        EXPECT_TRUE(SameBytes(&after, &before, sizeof after));
    }
}

TEST_F(ControlDialog, SaveRefusesAnEmptyNameAndOneTheFileHoldsButNotOneDifferingInCase) {
    const std::string blur = EntryText("Blur", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0);
    ASSERT_TRUE(WriteBytes(LibraryFile(), blur));
    std::string afterEmpty, afterDuplicate, afterBlank;
    const int result = Open([&](HWND d) {
        HWND list = GetDlgItem(d, kList);
        EXPECT_EQ(ListItems(list), std::vector<std::string>{"Blur"});
        Type(Cell(d, 4, 4), "5");
        for (auto [r, c] : {std::pair{3, 4}, {4, 3}, {4, 5}, {5, 4}}) Type(Cell(d, r, c), "-1");
        Click(d, kSave);
        afterEmpty = ReadBytes(LibraryFile());
        Type(GetDlgItem(d, kName), "Blur");
        Click(d, kSave);
        afterDuplicate = ReadBytes(LibraryFile());
        // It would read back without its blank, as another name.
        SetText(GetDlgItem(d, kName), " Sharp");
        Click(d, kSave);
        afterBlank = ReadBytes(LibraryFile());
        SetText(GetDlgItem(d, kName), "blur");
        Click(d, kSave);
        EXPECT_EQ(ListItems(list).size(), 2u);
        EXPECT_EQ(SelectedItem(list), "blur");
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"Input the filter name!", "Change the filter name!",
                                                        "Change the filter name!"}));
    EXPECT_EQ(afterEmpty, blur);
    EXPECT_EQ(afterDuplicate, blur);
    EXPECT_EQ(afterBlank, blur);
    EXPECT_EQ(ReadBytes(LibraryFile()), blur + EntryText("blur", kSharpen, 1, 0, 0));
    EXPECT_STREQ(Stored().name, "blur");
}

TEST_F(ControlDialog, FirstSaveCreatesTheFileAndASecondSaveIsRefused) {
    ASSERT_TRUE(DeleteFileA(LibraryFile().c_str()));
    const std::string cantOpen = "Can't open file: " + LibraryFile();
    const int result = Open([&](HWND d) {
        SetText(Cell(d, 3, 3), "-1");
        SetText(Cell(d, 5, 5), "1");
        SetText(GetDlgItem(d, kOffset), "128");
        SetText(GetDlgItem(d, kName), "Emboss");
        Click(d, kSave);
        EXPECT_EQ(SelectedItem(GetDlgItem(d, kList)), "Emboss");
        Click(d, kSave);
        Click(d, kCancel);
    });
    EXPECT_EQ(result, 0);
    // Opening and the first duplicate test find no file; the append makes it.
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{cantOpen, cantOpen, "Change the filter name!"}));
    EXPECT_EQ(ReadBytes(LibraryFile()), EntryText("Emboss", {{-1, 0, 0}, {0, 0, 0}, {0, 0, 1}}, 1, 128, 0));
}

// Run by on_tiny_disk.sh, which mounts a 16 KB disk and names it in
// VLM_TINY_DIR; skipped when run without it. The library file fills its page
// but for 10 bytes and another file takes every other page.
TEST_F(ControlDialog, SaveOnAFullDiskSaysSoAndLeavesFileAndList) {
    char tiny[MAX_PATH] = "";
    const DWORD n = GetEnvironmentVariableA("VLM_TINY_DIR", tiny, sizeof tiny);
    if (n == 0 || n >= sizeof tiny) GTEST_SKIP() << "needs the small disk of on_tiny_disk.sh";
    HostSetSettingsDir(tiny);
    filter.reset(lib.NewFilter());  // its library path is built now, on the small disk
    ASSERT_NE(filter, nullptr);
    const std::string library = std::string(tiny) + "\\VLM.SET", filler = std::string(tiny) + "\\filler";
    std::string held;
    for (int i = 0; held.size() < 4000; ++i) held += EntryText("Kept " + std::to_string(i), kSharpen, 1, 0, 0);
    held += std::string(4096 - 10 - 2 - held.size(), ' ') + "\r\n";
    ASSERT_TRUE(WriteBytes(library, held));
    FILE* fill = std::fopen(filler.c_str(), "wb");
    ASSERT_NE(fill, nullptr);
    const std::string page(4096, '\0');
    while (std::fwrite(page.data(), 1, page.size(), fill) == page.size() && std::fflush(fill) == 0) {}
    std::fclose(fill);

    std::vector<std::string> listBefore, listWhenFull, listAfter;
    std::string bytesWhenFull;
    const int result = Open([&](HWND d) {
        HWND list = GetDlgItem(d, kList);
        listBefore = ListItems(list);
        Type(Cell(d, 4, 4), "5");
        SetText(GetDlgItem(d, kName), "Saved when full");
        Click(d, kSave);
        listWhenFull = ListItems(list);
        bytesWhenFull = ReadBytes(library);
        // Room again: the same Save now goes through whole.
        EXPECT_TRUE(DeleteFileA(filler.c_str()));
        Click(d, kSave);
        listAfter = ListItems(list);
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Can't write file, nothing saved: " + library});
    EXPECT_EQ(listWhenFull, listBefore);
    EXPECT_EQ(bytesWhenFull, held);
    std::vector<std::string> expected = listBefore;
    expected.push_back("Saved when full");
    std::sort(expected.begin(), expected.end());
    std::sort(listAfter.begin(), listAfter.end());
    EXPECT_EQ(listAfter, expected);
    EXPECT_EQ(ReadBytes(library),
              held + EntryText("Saved when full", {{0, 0, 0}, {0, 5, 0}, {0, 0, 0}}, 1, 0, 0));
}

TEST_F(ControlDialog, PickingLoadsKernelAndNameButKeepsSourceAndIds) {
    // The entry says size 7 but only its 5 x 5 block is used: the size shown
    // to the rest of the plug-in is the one the weights imply.
    Rows wide(7, std::vector<int>(7, 0));
    wide[1][1] = 2;
    wide[5][5] = -4;
    wide[3][3] = 1;
    ASSERT_TRUE(
        WriteBytes(LibraryFile(), EntryText("Sharpen", kSharpen, 1, 0, 0) + EntryText("Wide", wide, 3, -4, 1)));
    Configure(Distinctive());
    const int result = Open([](HWND d) {
        HWND list = GetDlgItem(d, kList);
        EXPECT_EQ(ListItems(list), (std::vector<std::string>{"Sharpen", "Wide"}));
        EXPECT_EQ(SelectedItem(list), "");
        // Another notification of the list, with an item selected, and a
        // selection change that finds nothing selected: neither loads.
        Pick(d, ItemIndex(list, "Wide"), LBN_DBLCLK);
        Pick(d, -1);
        EXPECT_EQ(TextOf(d, kName), "Start");
        EXPECT_EQ(WindowText(Cell(d, 2, 3)), "-2");
        EXPECT_EQ(TextOf(d, kDivide), "7");

        Pick(d, ItemIndex(list, "Wide"));
        EXPECT_EQ(TextOf(d, kName), "Wide");
        EXPECT_EQ(WindowText(Cell(d, 2, 2)), "2");
        EXPECT_EQ(WindowText(Cell(d, 6, 6)), "-4");
        EXPECT_EQ(WindowText(Cell(d, 4, 4)), "1");
        EXPECT_EQ(WindowText(Cell(d, 2, 3)), "") << "the earlier weight must go";
        EXPECT_EQ(TextOf(d, kDivide), "3");
        EXPECT_EQ(TextOf(d, kOffset), "-4");
        EXPECT_TRUE(Checked(d, kInvert));
        EXPECT_TRUE(Checked(d, kObject));
        EXPECT_EQ(TextOf(d, kObjectId), "300");
        EXPECT_EQ(TextOf(d, kMaterialId), "5");
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    const KernelParams p = Stored();
    const KernelRecord want = Record(5, wide, 3, -4, 1);
    EXPECT_TRUE(SameBytes(&p.kernel, &want, sizeof want));
    EXPECT_STREQ(p.name, "Wide");
    EXPECT_EQ(p.source, kObject);
    EXPECT_EQ(p.objectId, 300);
    EXPECT_EQ(p.materialId, 5);
}

TEST_F(ControlDialog, PickingANameTheFileNoLongerHoldsKeepsTheWorkingKernel) {
    ASSERT_TRUE(WriteBytes(LibraryFile(), EntryText("Blur", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9, 0, 0)));
    const int result = Open([&](HWND d) {
        SetText(Cell(d, 4, 4), "7");
        SetText(GetDlgItem(d, kName), "Mine");
        // Changed behind the dialog's back: a search for Blur now walks past
        // an entry whose values must not leak into the working kernel.
        EXPECT_TRUE(WriteBytes(LibraryFile(), EntryText("Other", {{9, 9, 9}, {9, 9, 9}, {9, 9, 9}}, 4, 50, 1)));
        HWND list = GetDlgItem(d, kList);
        Pick(d, ItemIndex(list, "Blur"));
        EXPECT_EQ(WindowText(Cell(d, 4, 4)), "7");
        EXPECT_EQ(WindowText(Cell(d, 3, 3)), "");
        EXPECT_EQ(TextOf(d, kDivide), "1");
        EXPECT_EQ(TextOf(d, kName), "Mine");
        EXPECT_EQ(SelectedItem(list), "") << "the list must not claim an entry that did not load";
        // Nothing reached the working record either (white-box: the dialog
        // thread is idle while this thread reads it).
        const KernelParams opening = DefaultParams();
        EXPECT_TRUE(SameBytes(&Kf().params, &opening, sizeof opening));
        // The same when the file cannot be read at all.
        EXPECT_TRUE(DeleteFileA(LibraryFile().c_str()));
        Pick(d, ItemIndex(list, "Blur"));
        EXPECT_EQ(WindowText(Cell(d, 4, 4)), "7");
        EXPECT_EQ(TextOf(d, kName), "Mine");
        EXPECT_TRUE(SameBytes(&Kf().params, &opening, sizeof opening));
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    const KernelParams p = Stored();
    const KernelRecord want = Record(3, {{0, 0, 0}, {0, 7, 0}, {0, 0, 0}}, 1, 0, 0);
    EXPECT_TRUE(SameBytes(&p.kernel, &want, sizeof want));
    EXPECT_STREQ(p.name, "Mine");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Can't open file: " + LibraryFile()});
}

TEST_F(ControlDialog, NamesAreNeverTakenPast255Characters) {
    const std::string longest(255, 'N');
    ASSERT_TRUE(WriteBytes(LibraryFile(), EntryText(longest, kSharpen, 1, 0, 0) + EntryText("N", kSharpen, 1, 0, 0)));
    KernelParams p = DefaultParams();
    std::memset(p.name, 'N', sizeof p.name);  // a loaded record: 256 bytes, no zero
    Configure(p);
    std::string typed;
    for (int i = 0; i < 300; ++i) typed += static_cast<char>('a' + i % 26);
    const std::string cut = typed.substr(0, 255);
    const int result = Open([&](HWND d) {
        // Shown and selected by its first 255 characters.
        EXPECT_EQ(TextOf(d, kName), longest);
        EXPECT_EQ(SelectedItem(GetDlgItem(d, kList)), longest);
        // A longer typed name is saved and kept cut.
        SetText(GetDlgItem(d, kName), typed);
        Click(d, kSave);
        EXPECT_EQ(SelectedItem(GetDlgItem(d, kList)), cut);
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    const KernelParams stored = Stored();
    EXPECT_EQ(std::string(stored.name, 255), cut);
    EXPECT_EQ(stored.name[255], '\0');
    EXPECT_EQ(ReadBytes(LibraryFile()), EntryText(longest, kSharpen, 1, 0, 0) + EntryText("N", kSharpen, 1, 0, 0) +
                                            EntryText(cut, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 1, 0, 0));
}

TEST_F(ControlDialog, TypedValuesBeyondTheLimitsAreHeldToThemAndInterfacesAreReleased) {
    KernelFilter& f = Kf();
    auto held = [&f] {
        int n = (f.divideEdit != nullptr) + (f.offsetEdit != nullptr) + (f.divideSpinner != nullptr) +
                (f.offsetSpinner != nullptr);
        for (ICustEdit* e : f.weightEdits) n += e != nullptr;
        return n;
    };
    EXPECT_EQ(held(), 0);
    int whileOpen = -1;
    const int result = Open([&](HWND d) {
        whileOpen = held();
        SetText(GetDlgItem(d, kMaterialId), "99");
        SetText(GetDlgItem(d, kObjectId), "70000");
        SetText(GetDlgItem(d, kDivide), "-123456");
        SetText(GetDlgItem(d, kOffset), "123456");
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    const KernelParams p = Stored();
    EXPECT_EQ(p.materialId, 15);
    EXPECT_EQ(p.objectId, 65535);
    EXPECT_EQ(p.kernel.divide, -99999);
    EXPECT_EQ(p.kernel.offset, 99999);
    EXPECT_EQ(whileOpen, 85);
    EXPECT_EQ(held(), 0) << "closing gives back and forgets every control interface";
}

TEST_F(ControlDialog, SpinnerArrowsStopAtTheLimitsAndDivideZeroIsKept) {
    const int result = Open([](HWND d) {
        Click(d, kMaterial);
        SetText(GetDlgItem(d, kMaterialId), "14");
        ClickSpinner(d, kMaterialSpin, true);
        ClickSpinner(d, kMaterialSpin, true);
        EXPECT_EQ(TextOf(d, kMaterialId), "15");
        SetText(GetDlgItem(d, kObjectId), "1");
        ClickSpinner(d, kObjectSpin, false);
        ClickSpinner(d, kObjectSpin, false);
        EXPECT_EQ(TextOf(d, kObjectId), "0");
        SetText(GetDlgItem(d, kOffset), "99998");
        ClickSpinner(d, kOffsetSpin, true);
        ClickSpinner(d, kOffsetSpin, true);
        EXPECT_EQ(TextOf(d, kOffset), "99999");
        ClickSpinner(d, kDivideSpin, false);
        EXPECT_EQ(TextOf(d, kDivide), "0");
        Click(d, kOk);
    });
    EXPECT_EQ(result, 1);
    const KernelParams p = Stored();
    EXPECT_EQ(p.materialId, 15);
    EXPECT_EQ(p.objectId, 0);
    EXPECT_EQ(p.kernel.divide, 0);
    EXPECT_EQ(p.kernel.offset, 99999);
}

// The plug-in's code linked into this program, run on VLM.FLT's templates,
// shows the module-level state the DLL keeps hidden.
class ControlDialogState : public ::testing::Test {
protected:
    void SetUp() override {
        HostSetSettingsDir(dir.Path().c_str());
        ASSERT_TRUE(WriteBytes(dir.File("VLM.SET"), ""));
        ASSERT_TRUE(lib.Load());
        ModuleAttach(lib.module);
    }
    void TearDown() override {
        ModuleDetach();
        lib.Unload();
        HostSetSettingsDir(nullptr);
    }
    TempDir dir{"state"};
    MessageBoxWatcher boxes{"Error"};
    PluginLibrary lib;
};

TEST_F(ControlDialogState, InterfacesAreHeldWhileOpenAndEachGivenBackOnClose) {
    KernelFilter filter;
    bool sawOpen = false;
    const int result = RunModal(kControlCaption, [&] { return filter.ShowControl(nullptr); }, [&](HWND d) {
        sawOpen = g_controlDialog.filter == &filter && g_controlDialog.materialSpinner &&
                  g_controlDialog.objectSpinner && filter.divideSpinner && filter.weightEdits[80];
        // A Divide spinner the host could not give: its edit is still held
        // and must still be given back.
        ReleaseISpinner(filter.divideSpinner);
        filter.divideSpinner = nullptr;
        Click(d, kCancel);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(sawOpen);
    EXPECT_EQ(g_controlDialog.materialSpinner, nullptr);
    EXPECT_EQ(g_controlDialog.objectSpinner, nullptr);
    EXPECT_EQ(filter.divideEdit, nullptr);
    EXPECT_EQ(filter.offsetEdit, nullptr);
    EXPECT_EQ(filter.offsetSpinner, nullptr);
    for (ICustEdit* e : filter.weightEdits) EXPECT_EQ(e, nullptr);
}

// A dialog whose controls cannot be made is sent WM_DESTROY without
// WM_INITDIALOG. The filter edited before may be gone by then, its memory
// given to something else: the failed opening must not reach into it.
TEST_F(ControlDialogState, AFailedOpeningTouchesNoFilterEditedBefore) {
    alignas(KernelFilter) unsigned char block[sizeof(KernelFilter)];
    auto* first = new (block) KernelFilter;
    EXPECT_EQ(0, RunModal(kControlCaption, [&] { return first->ShowControl(nullptr); },
                          [](HWND d) { Click(d, kCancel); }));
    first->DeletingDestructor(0);  // as the host destroys it, but the block stays ours
    std::memset(block, 0xA5, sizeof block);

    HMODULE host = GetModuleHandleA("HOSTLIB.DLL");
    ASSERT_NE(host, nullptr);
    ASSERT_TRUE(UnregisterClassA("CustEdit", host));
    KernelFilter second;
    const int result = second.ShowControl(nullptr);
    InitCustomControls(host);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(std::count(std::begin(block), std::end(block), 0xA5), std::ptrdiff_t{sizeof block})
        << "bytes written into a block the filter no longer owns";
    EXPECT_EQ(second.divideEdit, nullptr);
    EXPECT_EQ(g_controlDialog.materialSpinner, nullptr);
}

TEST_F(ControlDialogState, WithoutADisplayOrTemplateShowControlAnswersMinusOne) {
    // No module handle: the template cannot be found, and the system's
    // failure value comes back unchanged.
    ModuleDetach();
    KernelFilter filter;
    EXPECT_EQ(filter.ShowControl(nullptr), -1);
    EXPECT_EQ(filter.divideEdit, nullptr);
}

}  // namespace
