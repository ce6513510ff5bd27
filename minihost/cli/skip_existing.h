#pragma once
#include <vector>

#include "minihost/runtime/held_frame.h"

// The jobs whose output is not already whole, which --skip-existing leaves:
// an output is whole when it decodes to its end, as the format its name
// says, and has its input's size, whatever its date says. *skipped counts
// them.
std::vector<FrameJob> WithoutWholeOutputs(const std::vector<FrameJob>& jobs, int* skipped);
