// "minihost setup CONFIG" run as users run it, a separate process whose
// dialog this test drives across the process boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "plugin/kernel_params.h"
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
    Outcome Run(const std::string& args, const std::function<void(HWND)>& drive) {
        Outcome outcome;
        const std::string errPath = dir.File("stderr.txt");
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = err;
        si.hStdError = err;
        PROCESS_INFORMATION pi{};
        std::string cmd = "\"" + BinDir() + "\\minihost.exe\" --settings-dir \"" + dir.Path() + "\" setup " + args;
        if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            CloseHandle(err);
            ADD_FAILURE() << "cannot start minihost";
            return outcome;
        }
        if (HWND dialog = WaitForDialogOf(pi.hProcess, pi.dwProcessId, kControlCaption, 15000)) {
            outcome.dialogShown = true;
            drive(dialog);
        }
        if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "minihost did not finish";
            TerminateProcess(pi.hProcess, 999);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        GetExitCodeProcess(pi.hProcess, &outcome.status);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        CloseHandle(err);
        outcome.err = ReadBytes(errPath);
        return outcome;
    }

    TempDir dir{"setup"};
};

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

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
    EXPECT_FALSE(FileExists(Config() + ".part"));
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
    EXPECT_FALSE(FileExists(Config() + ".part"));
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
    EXPECT_EQ(Lines(o.err), 1) << o.err;
    EXPECT_NE(o.err.find("612"), std::string::npos) << o.err;
    EXPECT_EQ(ReadBytes(Config()), tooShort);

    KernelParams p = DefaultParams();
    p.stamp = 0;
    const std::string wrongStamp(reinterpret_cast<const char*>(&p), sizeof p);
    ASSERT_TRUE(WriteBytes(Config(), wrongStamp));
    o = Run("\"" + Config() + "\"", unexpected);
    EXPECT_EQ(o.status, 2u);
    EXPECT_EQ(Lines(o.err), 1) << o.err;
    EXPECT_NE(o.err.find("stamp"), std::string::npos) << o.err;
    EXPECT_EQ(ReadBytes(Config()), wrongStamp);

    o = Run("", unexpected);
    EXPECT_EQ(o.status, 2u);
    EXPECT_EQ(Lines(o.err), 1) << o.err;
}

}  // namespace
