#pragma once
#include <string>

#include "params/kernel_params.h"

// A name as a terminal can show it: bytes that are not text (controls, DEL)
// become \xNN, so a damaged library cannot garble the listing.
std::string Printable(const std::string& name);

// Something the user typed, said back in a message: printable, and cut
// after its first 60 bytes (at a character's start) with how long it was,
// so that a line stays a line.
std::string Shown(const std::string& typed);

// Which pixels a configuration filters, in words: "whole frame",
// "object ID 3", "material ID 12".
std::string SourceText(const KernelParams& p);

// How Invert is taken: a library entry as picking it in the dialog takes it
// (any value but 0 checks the box), a configuration as the render does.
enum class InvertTaken { kByPicking, kByRender };

// The k x k block of the grid, one row a line and aligned, then Divide,
// Offset, Invert and the name: what `show` and `kernels --long` print.
std::string KernelText(const KernelRecord& record, int k, const std::string& name,
                       InvertTaken invert = InvertTaken::kByPicking);

// What the plug-in would do nothing with in this configuration, as one line
// naming the field; empty when it would filter.
std::string IgnoredField(const KernelParams& p);
