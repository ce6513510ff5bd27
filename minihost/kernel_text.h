#pragma once
#include <string>

#include "params/kernel_params.h"

// A name as a terminal can show it: bytes that are not text (controls, DEL)
// become \xNN, so a damaged library cannot garble the listing.
std::string Printable(const std::string& name);

// The k x k block of the grid, one row a line and aligned, then Divide,
// Offset, Invert and the name: what `show` and `kernels --long` print.
std::string KernelText(const KernelRecord& record, int k, const std::string& name);

// What the plug-in would do nothing with in this configuration, as one line
// naming the field; empty when it would filter.
std::string IgnoredField(const KernelParams& p);
