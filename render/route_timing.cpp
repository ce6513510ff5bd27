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

    // The frame's first lines, asked for as the candidates come to need them.
    const int h = kernel.k / 2;
    std::vector<const BMM_Color_64*> rows;
    std::vector<BMM_Color_64> scratch;
    auto have = [&](int lines) {
        for (lines = std::min(lines, height); static_cast<int>(rows.size()) < lines;) {
            const BMM_Color_64* row = source ? source(static_cast<int>(rows.size())) : nullptr;
            if (!row) return false;
            rows.push_back(row);
        }
        return true;
    };
    std::vector<size_t> order(candidates.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_partition(order.begin(), order.end(), [&](size_t i) { return !Is512(candidates[i].route.simd); });

    std::vector<RouteTiming> timings(candidates.size());
    double fastest = 0;  // ticks a line, of every sample so far; 0: none yet
    const ChannelSelection everyPixel;
    // The first call also fills the ring; the fastest sample stands for the
    // candidate, which leaves that one out.
    const int calls = static_cast<int>(rules.leastSamples);
    for (size_t i : order) {
        timings[i].candidate = candidates[i];
        // The probe is prepared for the table's route already.
        Convolver other;
        Convolver& cv = i == 0 ? probe : other;
        if (i != 0 && !cv.Prepare(kernel, width, height, candidates[i].options)) continue;
        const int n = cv.PassLines();
        if (calls * n > height) continue;
        if (!have(calls * n + h)) return finish(table, "table: the frame's first lines could not be read");
        scratch.resize(static_cast<size_t>(n) * width);
        for (int call = 0; call < calls; ++call) {
            const BMM_Color_64* lines[kMaxK + kMaxPassLines - 1];
            BMM_Color_64* outs[kMaxPassLines];
            for (int r = 0; r < n + kernel.k - 1; ++r) {
                const int j = call * n + r - h;
                lines[r] = j >= 0 && j < static_cast<int>(rows.size()) ? rows[j] : nullptr;
            }
            for (int l = 0; l < n; ++l) outs[l] = scratch.data() + static_cast<size_t>(l) * width;
            const uint64_t t0 = clock();
            cv.FilterFromLines(lines, outs, call * n, n, everyPixel);
            const uint64_t t1 = clock();
            const double ticks = static_cast<double>(t1 - t0) / n;
            timings[i].ticksPerLine.push_back(ticks);
            if (call == 0 && i != 0 && fastest > 0 && ticks > rules.hopeless * fastest) break;
            fastest = fastest > 0 && fastest < ticks ? fastest : ticks;
        }
    }
    const TimedChoice choice = ChooseByTiming(timings, rules);
    const RouteCandidate& chosen = candidates[choice.index];
    if (choice.timed) memo.Keep(key, {chosen.route.simd, chosen.otherPath, choice.why});
    return finish(chosen, choice.why);
}
