#pragma once
// The clock the render times its candidate routes by (route_timing.h): the
// processor's time-stamp counter, which every processor with the SIMD levels
// runs at a constant rate, read in a few cycles. The system's performance
// counter ticks in 100 ns under Wine, a twentieth of a 1080p 3 x 3 line.
#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <x86intrin.h>
inline uint64_t TimeStampTicks() { return __rdtsc(); }
#else
inline uint64_t TimeStampTicks() { return 0; }  // every candidate ties: the table's route
#endif
