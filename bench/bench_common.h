#pragma once
// What the native benchmark and the i686 one under Wine share, so both time
// the same frames and kernels: the pseudo-random generator, the kernel set,
// the frame maker and the median timer.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/color64.h"
#include "render/convolver.h"

namespace bench {

using Pixels = std::vector<BMM_Color_64>;

struct Kernel {
    std::string name;  // one word: the i686 bench's report names kernels by it
    int k;
    std::vector<int32_t> block;
    int32_t divide;
    int32_t offset;
};

struct Frame {
    int w, h;
    Pixels px;
};

inline double NowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Median of at least `least` and at most 9 runs, stopping after about 4 s;
// one warm-up run first (page faults, first touch, lazy set-up of the peers).
inline double Median(const std::function<void()>& run, size_t least = 3) {
    run();
    std::vector<double> t;
    const double start = NowMs();
    while (t.size() < 9 && (t.size() < least || NowMs() - start < 4000)) {
        const double t0 = NowMs();
        run();
        t.push_back(NowMs() - t0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

class Random {
public:
    uint32_t Next() {
        seed_ ^= seed_ << 13;
        seed_ ^= seed_ >> 17;
        seed_ ^= seed_ << 5;
        return seed_;
    }

private:
    uint32_t seed_ = 12345;
};

inline Frame MakeFrame(int w, int h) {
    Random rng;
    Frame f{w, h, Pixels(static_cast<size_t>(w) * h)};
    for (auto& p : f.px) {
        const uint32_t a = rng.Next(), b = rng.Next();
        p = {static_cast<uint16_t>(a), static_cast<uint16_t>(a >> 16), static_cast<uint16_t>(b),
             static_cast<uint16_t>(b >> 16)};
    }
    return f;
}

// Weights -2..9, Divide their sum: a typical soft blur with some ringing.
inline Kernel Generic(Random& rng, int k) {
    Kernel kn{std::to_string(k) + "x" + std::to_string(k), k, std::vector<int32_t>(k * k), 0, 0};
    int32_t sum = 0;
    for (auto& w : kn.block) {
        w = static_cast<int32_t>(rng.Next() % 12) - 2;
        sum += w;
    }
    kn.divide = sum > 0 ? sum : 1;
    return kn;
}

inline Kernel SeparableKernel() {
    const int32_t t[9] = {1, 2, 3, 4, 5, 4, 3, 2, 1};
    Kernel kn{"9x9-separable", 9, std::vector<int32_t>(81), 625, 0};
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c) kn.block[r * 9 + c] = t[r] * t[c];
    return kn;
}

// Weights whose sums need more than 32 bits.
inline Kernel LargeWeights(Random& rng) {
    Kernel kn{"5x5-large-weights", 5, std::vector<int32_t>(25), 0, 0};
    int64_t sum = 0;
    for (auto& w : kn.block) {
        w = 100000 + static_cast<int32_t>(rng.Next() % 50000);
        sum += w;
    }
    kn.divide = static_cast<int32_t>(sum);
    return kn;
}

inline std::vector<Kernel> Kernels() {
    Random rng;
    std::vector<Kernel> out;
    for (int k : {3, 5, 7, 9}) out.push_back(Generic(rng, k));
    out.push_back(SeparableKernel());
    out.push_back(LargeWeights(rng));
    return out;
}

}  // namespace bench
