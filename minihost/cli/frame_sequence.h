#pragma once
// The frames a render is given: files, folders of frames, or one numbered
// pattern (shot.####.png) with a frame list.
#include <cstdint>
#include <string>
#include <vector>

#include "minihost/cli/frame_pattern.h"

struct SequenceFrame {
    std::string path;
    bool numbered = false;  // of a pattern: number and digits hold
    int32_t number = 0;
    std::string digits;  // the number as the file name writes it
};

inline SequenceFrame FileFrame(const std::string& path) {
    SequenceFrame frame;
    frame.path = path;
    return frame;
}

// Whether path is a numbered pattern rather than a file or folder that
// exists; throws CommandError for a pattern it cannot take. option names the
// argument in that line ("--object-ids"; empty for a frame).
bool IsFramePattern(const std::string& path, FramePattern* pattern, const std::string& option);

// The frames of a pattern in frame order, from one listing of its folder:
// every one the folder holds, or, given a list, those of its numbers the
// folder holds, the others in *missing.
std::vector<SequenceFrame> ListSequence(const std::string& path, const FramePattern& pattern,
                                        const std::string& frameList, std::vector<int32_t>* missing);

// Frames and folders of frames (their PNG and TIFF files, in name order).
std::vector<SequenceFrame> ListFrames(const std::vector<std::string>& inputs);
