// "minihost setup CONFIG" run as users run it, a separate process whose
// dialog this test drives across the process boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "params/kernel_params.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

struct Outcome {
    DWORD status = 999;
    std::string err;
    bool dialogShown = false;
};

class MinihostSetup : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(WriteBytes(dir.File("VLM.SET"), "")); }

    std::string Config() const { return dir.File("filter.cfg"); }

    // Runs "minihost --settings-dir DIR setup ARGS"; drive() gets the dialog when
    // one shows. A process that outlives its time is ended.
    Outcome Run(const std::string& args, const std::function<void(HWND)>& drive, const std::string& settings = "") {
        Outcome outcome;
        ChildProcess child("\"" + BinDir() + "\\minihost.exe\" --settings-dir \"" +
                           (settings.empty() ? dir.Path() : settings) + "\" setup " + args);
        if (!child.Started()) {
            ADD_FAILURE() << "cannot start minihost";
            return outcome;
        }
        if (HWND dialog = WaitForDialogOf(child.Process(), child.Id(), kControlCaption, 15000)) {
            outcome.dialogShown = true;
            drive(dialog);
        }
        outcome.status = child.Finish(15000);
        EXPECT_FALSE(child.TimedOut()) << "minihost did not finish";
        // Both streams in one text, as a user at a console sees them.
        outcome.err = child.Out() + child.Err();
        return outcome;
    }

    // A temporary of minihost's still beside the configuration.
    bool TemporaryLeft() const {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA(dir.File("~minihost*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        return h != INVALID_HANDLE_VALUE;
    }

    TempDir dir{"setup"};
};

TEST_F(MinihostSetup, MissingConfigStartsFromDefaultsAndOkWritesIt) {
    const Outcome o = Run("\"" + Config() + "\"", [](HWND d) {
        EXPECT_EQ(TextOf(d, 1007), "1");
        SetText(Cell(d, 4, 4), "3");
        SetText(GetDlgItem(d, 1103), "Setup");
        // Save goes to the library file in the --settings-dir folder.
        Click(d, 4);
        Click(d, 1);
    });
    EXPECT_TRUE(o.dialogShown);
    EXPECT_EQ(o.status, 0u) << o.err;
    KernelParams want = DefaultParams();
    want.kernel.weights[40] = 3;
    std::strcpy(want.name, "Setup");
    const std::string stored = ReadBytes(Config());
    ASSERT_EQ(stored.size(), sizeof want);
    EXPECT_EQ(std::memcmp(stored.data(), &want, sizeof want), 0);
    EXPECT_EQ(ReadBytes(dir.File("VLM.SET")), EntryText("Setup", {{0, 0, 0}, {0, 3, 0}, {0, 0, 0}}, 1, 0, 0));
    EXPECT_FALSE(TemporaryLeft());
}

TEST_F(MinihostSetup, OkReplacesAnExistingConfigAndCancelLeavesIt) {
    KernelParams p = DefaultParams();
    p.source = kSourceObject;
    p.objectId = 12;
    p.kernel.weights[40] = -4;
    p.kernel.offset = 9;
    std::strcpy(p.name, "Kept");
    const std::string original(reinterpret_cast<const char*>(&p), sizeof p);
    ASSERT_TRUE(WriteBytes(Config(), original));

    Outcome o = Run("\"" + Config() + "\"", [](HWND d) {
        EXPECT_EQ(Text(Cell(d, 4, 4)), "-4");
        SetText(GetDlgItem(d, 1097), "5");
        Click(d, 2);
    });
    EXPECT_TRUE(o.dialogShown);
    EXPECT_EQ(o.status, 5u) << o.err;
    EXPECT_EQ(ReadBytes(Config()), original);

    o = Run("\"" + Config() + "\"", [](HWND d) {
        EXPECT_EQ(TextOf(d, 1013), "12");
        SetText(GetDlgItem(d, 1097), "5");
        Click(d, 1);
    });
    EXPECT_EQ(o.status, 0u) << o.err;
    p.kernel.offset = 5;
    EXPECT_EQ(ReadBytes(Config()), std::string(reinterpret_cast<const char*>(&p), sizeof p));
    EXPECT_FALSE(TemporaryLeft());
}

// The plug-in takes the folder of its library file as ANSI text; one whose
// name the code page cannot hold is handed over by its short name.
TEST_F(MinihostSetup, SavesInASettingsFolderNamedOutsideTheCodePage) {
    const std::wstring folder = std::wstring(dir.Path().begin(), dir.Path().end()) + L"\\\u03b5\u56fe";
    const std::wstring library = folder + L"\\VLM.SET";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    // An empty library, so that the dialog opens without its "Can't open file" box.
    if (FILE* f = _wfopen(library.c_str(), L"wb")) std::fclose(f);
    const Outcome o = Run("\"" + Config() + "\"", [](HWND d) {
        SetText(Cell(d, 4, 4), "7");
        SetText(GetDlgItem(d, 1103), "Far");
        Click(d, 4);
        Click(d, 1);
    }, dir.Path() + "\\\xce\xb5\xe5\x9b\xbe");
    EXPECT_EQ(o.status, 0u) << o.err;
    std::string saved;
    if (FILE* f = _wfopen(library.c_str(), L"rb")) {
        char buffer[256];
        saved.resize(std::fread(buffer, 1, sizeof buffer, f));
        std::copy(buffer, buffer + saved.size(), saved.begin());
        std::fclose(f);
    }
    EXPECT_EQ(saved, EntryText("Far", {{0, 0, 0}, {0, 7, 0}, {0, 0, 0}}, 1, 0, 0));
    DeleteFileW(library.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(MinihostSetup, ABadConfigIsRefusedWithOneLineAndNoDialog) {
    const auto unexpected = [](HWND d) {
        ADD_FAILURE() << "no dialog was expected";
        Click(d, 2);
    };
    const std::string tooShort(100, 'x');
    ASSERT_TRUE(WriteBytes(Config(), tooShort));
    Outcome o = Run("\"" + Config() + "\"", unexpected);
    EXPECT_EQ(o.status, 2u);
    EXPECT_EQ(CountLines(o.err), 1) << o.err;
    EXPECT_NE(o.err.find("612"), std::string::npos) << o.err;
    EXPECT_EQ(ReadBytes(Config()), tooShort);

    KernelParams p = DefaultParams();
    p.stamp = 0;
    const std::string wrongStamp(reinterpret_cast<const char*>(&p), sizeof p);
    ASSERT_TRUE(WriteBytes(Config(), wrongStamp));
    o = Run("\"" + Config() + "\"", unexpected);
    EXPECT_EQ(o.status, 2u);
    EXPECT_EQ(CountLines(o.err), 1) << o.err;
    EXPECT_NE(o.err.find("stamp"), std::string::npos) << o.err;
    EXPECT_EQ(ReadBytes(Config()), wrongStamp);

    o = Run("", unexpected);
    EXPECT_EQ(o.status, 2u);
    EXPECT_EQ(CountLines(o.err), 1) << o.err;
}

// What config writes at the edges of what it takes opens in the dialog and
// comes back from OK byte for byte: config keeps to the dialog's ranges.
TEST_F(MinihostSetup, ConfigAtItsLimitsSurvivesTheDialog) {
    ASSERT_TRUE(WriteBytes(dir.File("VLM.SET"), EntryText("Tilted", {{0, 0, 0}, {0, 2, 0}, {0, 0, 0}}, 99999, -99999, 7)));
    const char* const configs[] = {
        "--row \"0 -1 0\" --row \"-1 5 -1\" --row \"0 -1 0\" --source material --material-id 15 --divide -99999 "
        "--offset 99999",
        "--row \"1 0 0\" --row \"0 0 0\" --row \"0 0 0\" --source object --object-id 65535 --divide 0",
        "--kernel Tilted",
    };
    for (const char* args : configs) {
        ChildProcess config("\"" + BinDir() + "\\minihost.exe\" --settings-dir \"" + dir.Path() + "\" config \"" +
                            Config() + "\" " + args);
        ASSERT_EQ(config.Finish(), 0u) << args << ": " << config.Err();
        const std::string made = ReadBytes(Config());
        ASSERT_EQ(made.size(), sizeof(KernelParams));
        const Outcome o = Run("\"" + Config() + "\"", [](HWND d) { Click(d, 1); });
        EXPECT_EQ(o.status, 0u) << args << ": " << o.err;
        EXPECT_EQ(ReadBytes(Config()), made) << args;
    }
}

}  // namespace
