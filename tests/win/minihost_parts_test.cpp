// minihost's parts alone: the batch pipeline with stages of the test's own,
// and the temporary file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "minihost/files/commit_gate.h"
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

std::vector<std::string> Temporaries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const std::string& name : FolderNames(dir.Path()))
        if (name.rfind("~minihost-", 0) == 0) names.push_back(name);
    return names;
}

// A temporary is made new, never over a file that has its name; it is held
// for deletion until its commit, so a discarded one, and one whose commit
// the stop gate refuses, leave nothing and replace nothing.
TEST(TempFile, TakesNoFileAndLeavesNothingItDidNotCommit) {
    TempDir dir{"parts"};
    const std::string target = dir.File("out.png");
    TempFile first;
    std::string reason;
    ASSERT_TRUE(first.Create(target, &reason)) << reason;
    const std::vector<std::string> made = Temporaries(dir);
    ASSERT_EQ(made.size(), 1u);
    const std::string taken = dir.File(made[0]);
    first.Discard();
    EXPECT_FALSE(FileExists(taken));
    ASSERT_TRUE(WriteBytes(taken, "someone else's"));
    TempFile second;
    ASSERT_TRUE(second.Create(target, &reason)) << reason;
    ASSERT_GE(std::fputs("new", second.Stream()), 0);
    ASSERT_TRUE(second.Commit(&reason)) << reason;
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(ReadBytes(taken), "someone else's");
    EXPECT_EQ(CommittedFiles(), std::vector<std::string>{target});

    // Where a file can have one name only, a copy is put in place instead
    // of a second name; neither temporary is left.
    static int refused = 0;
    const LinkStep linking = SwapLinkStep([](void*, const std::wstring&) { return ++refused, false; });
    TempFile copied;
    ASSERT_TRUE(copied.Create(target, &reason)) << reason;
    ASSERT_GE(std::fputs(std::string(3 << 20, 'c').c_str(), copied.Stream()), 0);  // more than one block
    EXPECT_TRUE(copied.Commit(&reason)) << reason;
    SwapLinkStep(linking);
    EXPECT_EQ(refused, 1) << "the commit did not go through the step it was given";
    EXPECT_EQ(ReadBytes(target), std::string(3 << 20, 'c'));
    EXPECT_EQ(Temporaries(dir), std::vector<std::string>{made[0]});
    ASSERT_TRUE(WriteBytes(target, "new"));

    // Once the gate is closed (as a stop closes it), a whole file is not
    // put in place, and its temporary goes.
    TempFile third;
    ASSERT_TRUE(third.Create(target, &reason)) << reason;
    ASSERT_GE(std::fputs("after the stop", third.Stream()), 0);
    EXPECT_TRUE(CloseCommits());
    EXPECT_FALSE(third.Commit(&reason));
    EXPECT_EQ(reason, "the run was stopped before it was put in place");
    EXPECT_EQ(ReadBytes(target), "new");
    EXPECT_EQ(Temporaries(dir), std::vector<std::string>{made[0]});
    EXPECT_EQ(CommittedList(CommittedFiles()), "wrote 2 files: " + target + ", " + target + ", nothing else");
}

}  // namespace
