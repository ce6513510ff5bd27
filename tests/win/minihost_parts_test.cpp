// minihost's parts alone: the batch pipeline with stages of the test's own,
// and the temporary file.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "minihost/files/output_guard.h"
#include "minihost/files/temp_file.h"
#include "minihost/formats/png_io.h"
#include "minihost/runtime/batch_pipeline.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/win_support.h"

namespace {

// Frames that are only numbers: each stage logs what it did, in the order
// the batch tells it.
struct FakeBatch {
    int failFirstDecodeOf = -1;  // that frame's first decode throws
    int stopIn = -1;             // that frame's render stops
    std::mutex lock;
    std::vector<int> decodes;
    std::vector<std::string> told;  // "written N", "failed N"

    BatchStages Stages() {
        BatchStages s;
        s.decode = [this](int i) {
            std::lock_guard<std::mutex> hold(lock);
            const bool first = std::count(decodes.begin(), decodes.end(), i) == 0;
            decodes.push_back(i);
            if (first && i == failFirstDecodeOf) throw std::runtime_error("no memory while others are held");
            return std::make_unique<HeldFrame>();
        };
        s.render = [this](int i, HeldFrame&, bool) { return i == stopIn ? RenderResult::kStopped : RenderResult::kDone; };
        s.encode = [](int, const HeldFrame&) { Sleep(20); };  // still encoding as the next render ends
        s.written = [this](int i, const HeldFrame&) { told.push_back("written " + std::to_string(i)); };
        s.failed = [this](int i, std::exception_ptr) { told.push_back("failed " + std::to_string(i)); };
        return s;
    }
};

TEST(RunBatch, ADecodeThatFailsBesideHeldFramesIsTriedAgainAlone) {
    FakeBatch batch;
    batch.failFirstDecodeOf = 1;
    const BatchOutcome outcome = RunBatch(3, batch.Stages());
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(batch.told, (std::vector<std::string>{"written 0", "written 1", "written 2"}));
}

TEST(RunBatch, AStopTellsTheFrameBeingEncodedFirst) {
    FakeBatch batch;
    batch.stopIn = 2;
    const BatchOutcome outcome = RunBatch(4, batch.Stages());
    EXPECT_EQ(outcome.stoppedFrame, 2);
    EXPECT_EQ(batch.told, (std::vector<std::string>{"written 0", "written 1"}));
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
