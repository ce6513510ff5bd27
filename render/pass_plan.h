#pragma once
// The shape of the streaming render's ring of lines, worked out apart from
// the loop that fills it, so that every shape can be checked without a frame.
#include <cstdint>

#include "render/convolve_budget.h"
#include "render/convolve_plan.h"

struct PassPlan {
    int32_t pass = 1;     // output lines filtered at once
    int32_t reach = 0;    // lines read past the one filtered: k / 2
    int32_t sources = 1;  // source lines held at once, slot j % sources holding line j
    int32_t lines = 2;    // the whole ring: the sources, then one output line for each line of a pass
};

// The plan for a k x k kernel whose passes take passLines lines (taken as
// 1 to kMaxPassLines); k 0 when nothing is convolved: one slot, through
// which the frame's lines go back as they were read.
constexpr PassPlan PlanPasses(int k, int passLines) {
    PassPlan plan;
    if (k <= 0) return plan;
    plan.pass = passLines < 1 ? 1 : passLines > kMaxPassLines ? kMaxPassLines : passLines;
    plan.reach = k / 2;
    plan.sources = k + plan.pass - 1;
    plan.lines = plan.sources + plan.pass;
    return plan;
}

// The ring a render holds before it knows its kernel: enough for the
// largest kernel a line at a time, so that a pass of several lines is the
// only thing that can find it short.
constexpr int32_t kFirstRingLines = PlanPasses(kMaxK, 1).lines;
