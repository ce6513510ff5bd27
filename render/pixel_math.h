#pragma once
#include <cstdint>
#include <type_traits>

// The last steps of every filtered channel (Max 65535 for the 16-bit
// channels of the render and of the dialog's preview): truncating division
// (none when Divide is 0), then Offset, then the clamp to 0..Max, then Invert
// when it is exactly 1.
//
// Sum is int32_t when the caller has proved the exact sum fits (cheaper
// division), int64_t otherwise. Any k x k block of 32-bit weights over 16-bit
// channels stays below 81 * 2^31 * 65535 < 2^54, so an int64 sum never meets
// INT64_MIN / -1, and Offset is added in 64 bits so it cannot wrap either.
template <int32_t Max, class Sum>
constexpr int32_t FinishChannel(Sum sum, int32_t divide, int32_t offset, int32_t invert) {
    static_assert(std::is_same<Sum, int32_t>::value || std::is_same<Sum, int64_t>::value,
                  "sums are int32_t or int64_t");
    int64_t v = sum;
    if (divide == -1)
        v = -v;  // INT32_MIN / -1 has no 32-bit result and traps on x86
    else if (divide != 0)
        v = sum / static_cast<Sum>(divide);
    v += offset;
    const int32_t clamped = v < 0 ? 0 : v > Max ? Max : static_cast<int32_t>(v);
    return invert == 1 ? Max - clamped : clamped;
}
