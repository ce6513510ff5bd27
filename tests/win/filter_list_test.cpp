#include "library/filter_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "library/filter_file.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

constexpr int kListId = 1101;
int g_selChanges = 0;
int g_otherCommands = 0;

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == kListId) {
        if (HIWORD(wParam) == LBN_SELCHANGE) ++g_selChanges;
        else ++g_otherCommands;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

// The selected item's text, or "<none>": no name in a list can be that.
std::string Selected(HWND list) {
    return SendMessageA(list, LB_GETCURSEL, 0, 0) == LB_ERR ? "<none>" : SelectedItem(list);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

class FilterList : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VlmFilterListParent";
        RegisterClassA(&wc);
        parent_ = CreateWindowExA(0, wc.lpszClassName, "list parent", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr,
                                  nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, parent_) << "needs a display (run under xvfb-run)";
        list_ = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_SORT | LBS_NOTIFY, 0, 0,
                                200, 200, parent_, reinterpret_cast<HMENU>(kListId), wc.hInstance, nullptr);
        ASSERT_NE(nullptr, list_);

        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = std::string(dir) + "vlm_filter_list_" + std::to_string(GetCurrentProcessId()) + ".set";
        DeleteFileA(path_.c_str());
        g_selChanges = g_otherCommands = 0;
    }
    void TearDown() override {
        DeleteFileA(path_.c_str());
        if (parent_) DestroyWindow(parent_);
    }

    void Save(const std::string& name) {
        KernelRecord r{};
        r.kernelSize = 3;
        r.weights[40] = 1;
        r.divide = 1;
        ASSERT_EQ(FilterFileStatus::kOk, AppendFilterEntry(path_.c_str(), name.c_str(), &r)) << name;
    }

    HWND parent_ = nullptr;
    HWND list_ = nullptr;
    std::string path_;
};

TEST_F(FilterList, FillsSortedAndSelectsTheExactName) {
    const std::string longName = std::string(254, 'z') + 'Z';
    std::vector<std::string> names = {"Sharpen", "Blur 2", "blur", "Blur", "Edge", "Blur", longName};
    for (const std::string& n : names) Save(n);

    ASSERT_EQ(1, LoadFilterList(list_, path_.c_str(), "Blur"));
    std::vector<std::string> items = ListItems(list_);
    for (size_t i = 1; i < items.size(); ++i)
        EXPECT_LE(lstrcmpiA(items[i - 1].c_str(), items[i].c_str()), 0) << items[i - 1] << " / " << items[i];
    std::sort(items.begin(), items.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, items);
    EXPECT_EQ("Blur", Selected(list_));

    const struct {
        const char* select;
        std::string expected;
    } cases[] = {{"blur", "blur"}, {"Blur 2", "Blur 2"}, {"BLUR", "<none>"},
                 {"Blur ", "<none>"}, {"", "<none>"}, {longName.c_str(), longName}};
    for (const auto& c : cases) {
        ASSERT_EQ(1, LoadFilterList(list_, path_.c_str(), c.select));
        EXPECT_EQ(c.expected, Selected(list_)) << "selecting '" << c.select << "'";
        EXPECT_EQ(7u, ListItems(list_).size()) << "the list is refilled, not added to";
    }

    // A name buffer with no terminating zero within its 256 bytes matches nothing.
    char unterminated[kNameBytes];
    std::fill(unterminated, unterminated + kNameBytes, 'z');
    ASSERT_EQ(1, LoadFilterList(list_, path_.c_str(), unterminated));
    EXPECT_EQ("<none>", Selected(list_));

    Pump();
    EXPECT_EQ(0, g_selChanges) << "selecting must not make the dialog load the entry";
    EXPECT_EQ(0, g_otherCommands);
}

TEST_F(FilterList, EmptyFileEmptiesTheList) {
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Stale"));
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fclose(f);
    ASSERT_EQ(1, LoadFilterList(list_, path_.c_str(), "Stale"));
    EXPECT_TRUE(ListItems(list_).empty());
    EXPECT_EQ("<none>", Selected(list_));
}

TEST_F(FilterList, MissingFileIsReportedAndKeepsTheList) {
    Save("Blur");
    Save("Sharpen");
    ASSERT_EQ(1, LoadFilterList(list_, path_.c_str(), "Sharpen"));
    const std::vector<std::string> before = ListItems(list_);

    const std::string missing = path_ + ".missing";
    int result = -1;
    std::vector<std::string> texts;
    {
        MessageBoxWatcher watcher("Error");
        result = LoadFilterList(list_, missing.c_str(), "Blur");
        texts = watcher.Texts();
    }
    EXPECT_EQ(0, result);
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ("Can't open file: " + missing, texts[0]);
    EXPECT_EQ(before, ListItems(list_));
    EXPECT_EQ("Sharpen", Selected(list_));
    Pump();
    EXPECT_EQ(0, g_selChanges);
}

}  // namespace
