#pragma once
// The route a render takes, chosen by timing the candidates on the frame's
// first lines rather than by the processor's model: the table of
// ChooseRoute cannot know the next processor, nor how the caches of this one
// treat a width. Not for files that include OpenCV (see convolve_route.h).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/convolve_route.h"

// A clock of any fixed rate that only rises, given by the caller: the
// engine keeps none of its own, so that it builds anywhere.
using TickClock = uint64_t (*)();

// What one candidate took, ticks a line for each timed call.
struct RouteTiming {
    RouteCandidate candidate;
    std::vector<double> ticksPerLine;
};

struct TimingRules {
    size_t leastSamples = 3;  // fewer: the candidate counts as not timed
    // Another candidate is taken only when it takes at most 1 - margin of
    // the table's time: within that, the figures are as likely noise.
    double margin = 0.05;
    // A candidate other than the table's whose first call (which also fills
    // its ring) takes more than this many times the fastest sample so far is
    // timed no further: it has no hope, and the slowest levels would
    // otherwise cost the first frame most.
    double hopeless = 2.0;
};

struct TimedChoice {
    size_t index = 0;  // into the timings; 0, the table's, wherever timing cannot decide
    bool timed = false;
    std::string why;
};

// Pure: each candidate's fastest sample stands for it (noise only ever adds
// time), the fastest of those wins by the margin, ties go to the earlier
// candidate.
TimedChoice ChooseByTiming(const std::vector<RouteTiming>& timings, const TimingRules& rules = TimingRules());

// What a timed call answers besides ticks a line.
constexpr double kNoSample = -1;  // the candidate cannot run on this frame: it stays untimed
constexpr double kNoLines = -2;   // the frame's first lines could not be read: nothing is timed

// Timed call `call` (from 0) of candidate i: ticks a line, or one of the above.
using CandidateCall = std::function<double(size_t i, int call)>;

// Calls each candidate, in the order given, rules.leastSamples times; one
// other than the table's (index 0) whose first call takes more than
// rules.hopeless times the fastest sample so far is called no more. False
// when a call answered kNoLines.
bool TimeCandidates(const std::vector<RouteCandidate>& candidates, const std::vector<size_t>& order,
                    const CandidateCall& call, const TimingRules& rules, std::vector<RouteTiming>* timings);

// What decides a route's speed: the kernel's size, the table's path for it
// and the width's class (its bit length: the caches see widths in powers
// of two).
struct RouteKey {
    int k = 0;
    ConvolvePath path = ConvolvePath::kReference;
    int widthClass = 0;
};
int WidthClass(int width);

// The routes timed so far, by key. Single thread, like the render.
class RouteMemo {
public:
    struct Answer {
        SimdLevel simd = SimdLevel::kNone;
        bool otherPath = false;
        std::string why;
    };
    const Answer* Find(const RouteKey& key) const;
    void Keep(const RouteKey& key, const Answer& answer);
    void Clear() { entries_.clear(); }

private:
    std::vector<std::pair<RouteKey, Answer>> entries_;
};

// The module's memo: a route timed once serves every later frame of the
// same key for the life of the module.
RouteMemo& ModuleRouteMemo();

// Frame line j (width pixels), asked for in order from line 0; null when it
// cannot be had. Each line stays where it is until the timing is done.
using LineSource = std::function<const BMM_Color_64*(int j)>;

struct FrameRoute {
    ConvolveOptions options;  // for Convolver::Prepare
    ConvolveRoute route;
    std::string why;
    uint64_t ticks = 0;  // what finding it took, clock ticks
};

// Frames narrower than this are not timed: their lines take too little
// time to measure and the whole frame too little to gain.
constexpr int kLeastTimedWidth = 256;

// The route for a frame: the memo's for its key; else, where the frame is
// large enough and its first lines can be read, every candidate timed on
// them (into scratch lines, every pixel selected, the levels with 512-bit
// vectors last, since some cores lower their clock for a while after them)
// and the choice kept in the memo; else the table's.
FrameRoute RouteForFrame(const KernelArgs& kernel, int width, int height, const LineSource& source, TickClock clock,
                         RouteMemo& memo, const TimingRules& rules = TimingRules());
