// minihost's parts alone: the batch pipeline with stages of the test's own,
// and the temporary file.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "minihost/files/output_guard.h"
#include "minihost/files/temp_file.h"
#include "minihost/formats/png_io.h"
#include "minihost/runtime/batch_pipeline.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

// A batch of frames that are only numbers: what it tells of each, in order.
std::vector<std::string> Told(int count, int failFirstDecodeOf, int stopIn, BatchOutcome* outcome) {
    std::mutex lock;
    bool failedOnce = false;
    std::vector<std::string> told;
    BatchStages s;
    s.decode = [&](int i) {
        const std::lock_guard<std::mutex> hold(lock);
        if (i == failFirstDecodeOf && !std::exchange(failedOnce, true)) throw std::runtime_error("beside held frames");
        return std::make_unique<HeldFrame>();
    };
    s.render = [&](int i, HeldFrame&, bool) { return i == stopIn ? RenderResult::kStopped : RenderResult::kDone; };
    s.encode = [](int, const HeldFrame&) { Sleep(20); };  // still encoding as the next render ends
    s.written = [&](int i, const HeldFrame&) { told.push_back("written " + std::to_string(i)); };
    s.failed = [&](int i, std::exception_ptr) { told.push_back("failed " + std::to_string(i)); };
    *outcome = RunBatch(count, s);
    return told;
}

// A decode that fails while other frames are held is tried again alone; a
// stop first tells the frame being encoded.
TEST(RunBatch, RetriesADecodeAloneAndTellsTheEncodedFrameAtAStop) {
    BatchOutcome outcome;
    EXPECT_EQ(Told(3, 1, -1, &outcome), (std::vector<std::string>{"written 0", "written 1", "written 2"}));
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(Told(4, -1, 2, &outcome), (std::vector<std::string>{"written 0", "written 1"}));
    EXPECT_EQ(outcome.stoppedFrame, 2);
}

uint64_t StartOf(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    return uint64_t(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

// A temporary is made new, never over a file that has its name, and a
// writer's check of a folder removes the temporaries of ended runs only.
TEST(TempFile, TakesNoFileAndLeavesOnlyLiveRunsTemporaries) {
    TempDir dir{"parts"};
    const std::string target = dir.File("out.png");
    TempFile first;
    std::string reason;
    ASSERT_TRUE(first.Create(target, &reason)) << reason;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(dir.File("~minihost-*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    const std::string taken = dir.File(found.cFileName);
    first.Discard();
    ASSERT_TRUE(WriteBytes(taken, "someone else's"));
    TempFile second;
    ASSERT_TRUE(second.Create(target, &reason)) << reason;
    ASSERT_GE(std::fputs("new", second.Stream()), 0);
    ASSERT_TRUE(second.Commit(&reason)) << reason;
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(taken), "someone else's");

    ChildProcess ended("\"" + BinDir() + "\\minihost.exe\" --help");
    ASSERT_EQ(ended.Finish(), 0u);
    const unsigned long self = GetCurrentProcessId();
    const uint64_t start = StartOf(GetCurrentProcess());
    const struct {
        std::string name;
        bool left;
    } temporaries[] = {
        {TemporaryName(ended.Id(), StartOf(ended.Process()), 7, 0), false},
        {TemporaryName(self, start, 7, 0), true},       // a live run's
        {TemporaryName(self, start + 1, 7, 0), false},  // an ended run's whose id is this one's now
        {TemporaryName(ended.Id(), StartOf(ended.Process()), 7, 1), true},  // an input of the run
        {"~minihost-notes.tmp", true},
    };
    for (const auto& t : temporaries) ASSERT_TRUE(WriteBytes(dir.File(t.name), "x"));
    OutputGuard guard("test");
    guard.Keep(dir.File(temporaries[3].name), "input frame");
    guard.Check(dir.File("next.png"), kPngOutput);
    for (const auto& t : temporaries) EXPECT_EQ(FileExists(dir.File(t.name)), t.left) << t.name;
}

}  // namespace
