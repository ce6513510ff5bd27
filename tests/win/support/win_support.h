#pragma once
// What the Win32 tests share: loading VLM.FLT as the host does, and driving
// modal windows from a second thread while the test thread sits in them.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/class_desc.h"
#include "host/image_filter.h"
#include "hostlib/host_control.h"

std::string BinDir();                     // the folder of the running test program
std::string PluginPath();                 // VLM.FLT in that folder

// The library loaded with LoadLibrary and its four exports found by ordinal.
struct PluginLibrary {
    HMODULE module = nullptr;
    const char* (*LibDescription)() = nullptr;
    int (*LibNumberClasses)() = nullptr;
    ClassDesc* (*LibClassDesc)(int) = nullptr;
    unsigned long (*LibVersion)() = nullptr;

    bool Load();  // false when the DLL or an ordinal is missing
    void Unload();
    ImageFilter* NewFilter() const;
};

// A test holding VLM.FLT, loaded as the host loads it, and one new filter.
class PluginFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.Load()) << "cannot load " << PluginPath();
        filter.reset(lib.NewFilter());
        ASSERT_NE(filter, nullptr);
    }
    void TearDown() override {
        filter.reset();
        lib.Unload();
    }
    PluginLibrary lib;
    ImageFilterPtr filter;
};

// A visible top-level window of this process with the given caption, of the
// dialog class, waited for up to timeoutMs. Null when none appears.
HWND WaitForDialog(const char* caption, DWORD timeoutMs = 10000, HWND except = nullptr);
// The same for a dialog of another process; gives up when that process ends.
HWND WaitForDialogOf(HANDLE process, DWORD pid, const char* caption, DWORD timeoutMs);
bool WaitUntilGone(HWND window, DWORD timeoutMs = 10000);

// Runs open() on this thread (it blocks in a modal loop) while drive() runs on
// a second thread with the dialog's window once it shows. If drive() leaves the
// dialog open, the window is cancelled so the test cannot hang; *driven says
// whether the dialog was found at all.
int RunModal(const char* caption, const std::function<int()>& open,
             const std::function<void(HWND)>& drive, bool* driven = nullptr);

// A child program run with its output and error output caught in pipes of
// this program's own and its input the null device; it inherits those three
// handles and no other. What this program's own output goes to (a console, a
// file, a pipe) then cannot decide what becomes of the child's.
// What a run of minihost.exe (beside the test program) gave.
struct MinihostOutcome {
    DWORD status;
    std::string err, out;
};
MinihostOutcome RunMinihost(const std::string& args);  // UTF-8 arguments

// Lines of a program's output: its line ends.
int CountLines(const std::string& text);

// The smallest RGB display profile libpng takes (a header and no tags, and
// some noise: it takes no profile under 92 bytes), uncompressed.
std::string TestIccProfile();

class ChildProcess {
public:
    explicit ChildProcess(const std::string& commandLine);  // UTF-8
    ~ChildProcess();  // ends a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    HANDLE Process() const { return info_.hProcess; }
    DWORD Id() const { return info_.dwProcessId; }
    // Waits for the child's end and answers its exit status. A hang guard,
    // not a timing check: a child still running after timeoutMs is ended,
    // and TimedOut() says so. 999 when it never started.
    DWORD Finish(DWORD timeoutMs = 60000);
    bool TimedOut() const { return timedOut_; }
    std::string Out();  // everything the child wrote, once it has ended
    std::string Err();

private:
    class Pipe;
    std::unique_ptr<Pipe> out_, err_;
    PROCESS_INFORMATION info_{};
    bool timedOut_ = false;
};

// The text of a message box's message (its static control 0xFFFF).
std::string MessageBoxText(HWND box);
std::string WindowText(HWND window);

// Watches for message boxes captioned caption for as long as it lives; each is
// recorded and dismissed with OK.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(const char* caption = "Error");
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // The texts seen so far, one per box, in order.
    std::vector<std::string> Texts();

private:
    static DWORD WINAPI Run(LPVOID self);
    std::string caption_;
    std::vector<std::string> texts_;
    CRITICAL_SECTION lock_;
    HANDLE thread_ = nullptr;
    volatile LONG stop_ = 0;
};
