#pragma once

// The kernel sides the engine runs: the centred 3 x 3 to 9 x 9 blocks of the
// filter's 9 x 9 grid.
constexpr bool IsKernelSize(int k) { return k == 3 || k == 5 || k == 7 || k == 9; }
