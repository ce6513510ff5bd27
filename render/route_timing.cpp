// The route a render takes, by timing. The measurements behind the rules:
// bench/NOTES.md.
#include "render/route_timing.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string RouteName(const ConvolveRoute& route) {
    return std::string(PathName(route.path)) + ", " + SimdName(route.simd);
}

bool FastestSample(const RouteTiming& t, const TimingRules& rules, double* best) {
    if (t.ticksPerLine.size() < rules.leastSamples || t.ticksPerLine.empty()) return false;
    *best = *std::min_element(t.ticksPerLine.begin(), t.ticksPerLine.end());
    return true;
}

std::string Fraction(double part, double whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", whole > 0 ? part / whole : 0.0);
    return text;
}

bool Is512(SimdLevel level) { return level == SimdLevel::kAvx512Bw || level == SimdLevel::kAvx512Vnni; }

}  // namespace

TimedChoice ChooseByTiming(const std::vector<RouteTiming>& timings, const TimingRules& rules) {
    TimedChoice out;
    if (timings.empty()) {
        out.why = "no route to time";
        return out;
    }
    const std::string table = RouteName(timings[0].candidate.route);
    double tableTicks = 0;
    if (!FastestSample(timings[0], rules, &tableTicks)) {
        out.why = "table: " + table + " could not be timed";
        return out;
    }
    out.timed = true;
    size_t fastest = 0;
    double fastestTicks = tableTicks;
    for (size_t i = 1; i < timings.size(); ++i) {
        double ticks = 0;
        if (FastestSample(timings[i], rules, &ticks) && ticks < fastestTicks) {
            fastest = i;
            fastestTicks = ticks;
        }
    }
    if (fastest == 0) {
        out.why = "timed: the table's " + table + " was the fastest";
    } else if (fastestTicks <= tableTicks * (1 - rules.margin)) {
        out.index = fastest;
        out.why = "timed: " + RouteName(timings[fastest].candidate.route) + " took " +
                  Fraction(fastestTicks, tableTicks) + " of the time of the table's " + table;
    } else {
        out.why = "timed: the table's " + table + " kept; " + RouteName(timings[fastest].candidate.route) + " took " +
                  Fraction(fastestTicks, tableTicks) + " of its time, within the margin";
    }
    return out;
}

int WidthClass(int width) {
    int bits = 0;
    for (unsigned w = width > 0 ? static_cast<unsigned>(width) : 0u; w; w >>= 1) ++bits;
    return bits;
}

const RouteMemo::Answer* RouteMemo::Find(const RouteKey& key) const {
    for (const auto& entry : entries_)
        if (entry.first.k == key.k && entry.first.path == key.path && entry.first.widthClass == key.widthClass)
            return &entry.second;
    return nullptr;
}

void RouteMemo::Keep(const RouteKey& key, const Answer& answer) {
    for (auto& entry : entries_)
        if (entry.first.k == key.k && entry.first.path == key.path && entry.first.widthClass == key.widthClass) {
            entry.second = answer;
            return;
        }
    entries_.push_back({key, answer});
}

RouteMemo& ModuleRouteMemo() {
    static RouteMemo memo;
    return memo;
}

bool TimeCandidates(const std::vector<RouteCandidate>& candidates, const std::vector<size_t>& order,
                    const CandidateCall& call, const TimingRules& rules, std::vector<RouteTiming>* timings) {
    timings->assign(candidates.size(), RouteTiming());
    double fastest = 0;  // ticks a line, of every sample so far; 0: none yet
    for (size_t i : order) {
        RouteTiming& timing = (*timings)[i];
        timing.candidate = candidates[i];
        for (int c = 0; c < static_cast<int>(rules.leastSamples); ++c) {
            const double ticks = call(i, c);
            if (ticks == kNoLines) return false;
            if (ticks < 0) break;
            timing.ticksPerLine.push_back(ticks);
            if (c == 0 && i != 0 && fastest > 0 && ticks > rules.hopeless * fastest) break;
            fastest = fastest > 0 && fastest < ticks ? fastest : ticks;
        }
    }
    return true;
}

namespace {

// The levels with 512-bit vectors last: some cores lower their clock for a
// while after them, which would slow the candidates timed next.
std::vector<size_t> TimingOrder(const std::vector<RouteCandidate>& candidates) {
    std::vector<size_t> order(candidates.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_partition(order.begin(), order.end(), [&](size_t i) { return !Is512(candidates[i].route.simd); });
    return order;
}

// Timed calls of the candidates on the frame's first lines, asked for as
// the candidates come to need them, into scratch lines, every pixel
// selected. A candidate's first call prepares it; the table's is prepared.
class CallTimer {
public:
    CallTimer(const KernelArgs& kernel, int width, int height, const LineSource& source, TickClock clock,
              Convolver& table, const std::vector<RouteCandidate>& candidates, int calls)
        : kernel_(kernel), width_(width), height_(height), source_(source), clock_(clock), table_(table),
          candidates_(candidates), calls_(calls) {}

    double Call(size_t i, int call) {
        if (call == 0) {
            const double start = Start(i);
            if (start < 0) return start;
        }
        const int n = cv_->PassLines(), h = kernel_.k / 2;
        const BMM_Color_64* lines[kMaxK + kMaxPassLines - 1];
        BMM_Color_64* outs[kMaxPassLines];
        for (int r = 0; r < n + kernel_.k - 1; ++r) {
            const int j = call * n + r - h;
            lines[r] = j >= 0 && j < static_cast<int>(rows_.size()) ? rows_[j] : nullptr;
        }
        for (int l = 0; l < n; ++l) outs[l] = scratch_.data() + static_cast<size_t>(l) * width_;
        const uint64_t t0 = clock_();
        cv_->FilterFromLines(lines, outs, call * n, n, ChannelSelection());
        const uint64_t t1 = clock_();
        return static_cast<double>(t1 - t0) / n;
    }

private:
    double Start(size_t i) {
        cv_ = i == 0 ? &table_ : &other_;
        if (i != 0 && !other_.Prepare(kernel_, width_, height_, candidates_[i].options)) return kNoSample;
        const int n = cv_->PassLines();
        if (calls_ * n > height_) return kNoSample;
        if (!Have(std::min(calls_ * n + kernel_.k / 2, height_))) return kNoLines;
        scratch_.resize(static_cast<size_t>(n) * width_);
        return 0;
    }
    bool Have(int lines) {
        while (static_cast<int>(rows_.size()) < lines) {
            const BMM_Color_64* row = source_ ? source_(static_cast<int>(rows_.size())) : nullptr;
            if (!row) return false;
            rows_.push_back(row);
        }
        return true;
    }

    const KernelArgs& kernel_;
    int width_, height_;
    const LineSource& source_;
    TickClock clock_;
    Convolver& table_;
    Convolver other_;
    Convolver* cv_ = nullptr;
    const std::vector<RouteCandidate>& candidates_;
    int calls_;
    std::vector<const BMM_Color_64*> rows_;
    std::vector<BMM_Color_64> scratch_;
};

}  // namespace

FrameRoute RouteForFrame(const KernelArgs& kernel, int width, int height, const LineSource& source, TickClock clock,
                         RouteMemo& memo, const TimingRules& rules) {
    FrameRoute out;
    const uint64_t start = clock ? clock() : 0;
    auto finish = [&](const RouteCandidate& chosen, std::string why) {
        out.options = chosen.options;
        out.route = chosen.route;
        out.why = std::move(why);
        out.ticks = clock ? clock() - start : 0;
        return out;
    };
    Convolver probe;
    if (!probe.Prepare(kernel, width, height)) {
        out.why = "nothing to convolve";
        return out;
    }
    const std::vector<RouteCandidate> candidates =
        CandidateRoutes(EngineCpu(ConvolveOptions()), probe.Traits(), ConvolveOptions());
    const RouteCandidate& table = candidates.front();
    if (candidates.size() < 2) return finish(table, "table: the only route");
    const RouteKey key{kernel.k, table.route.path, WidthClass(width)};
    if (const RouteMemo::Answer* answer = memo.Find(key)) {
        for (const RouteCandidate& c : candidates)
            if (c.route.simd == answer->simd && c.otherPath == answer->otherPath)
                return finish(c, "remembered: " + answer->why);
    }
    if (!clock) return finish(table, "table: no clock to time by");
    if (width < kLeastTimedWidth) return finish(table, "table: too narrow to time");

    CallTimer timer(kernel, width, height, source, clock, probe, candidates, static_cast<int>(rules.leastSamples));
    std::vector<RouteTiming> timings;
    if (!TimeCandidates(candidates, TimingOrder(candidates), [&](size_t i, int c) { return timer.Call(i, c); },
                        rules, &timings))
        return finish(table, "table: the frame's first lines could not be read");
    const TimedChoice choice = ChooseByTiming(timings, rules);
    const RouteCandidate& chosen = candidates[choice.index];
    if (choice.timed) memo.Keep(key, {chosen.route.simd, chosen.otherPath, choice.why});
    return finish(chosen, choice.why);
}
