#pragma once
// Numbered frame names as renderers and farm managers write them
// (shot.####.png, shot.%04d.png) and the frame lists a farm task is given
// (1-240, 1-240x2, 1,5,9-12). No Win32: the native tests hold it.
#include <cstdint>
#include <string>
#include <vector>

// A path with one placeholder for the frame number in its last part.
struct FramePattern {
    std::string folder;  // up to and including the last separator; may be empty
    std::string head;    // the file name before the number
    std::string tail;    // and after it
    int width = 1;       // digits the number is padded to; 1: unpadded
};

enum class PatternFound { kNone, kFound, kBad };

// Finds the placeholder in the last part of path: a run of '#' (one '#' is
// unpadded, N of them pad to N digits) or %d / %0Nd; "%%" is a percent
// sign, as printf reads it, in either form. kBad, with a one-line
// reason, for a name with two placeholders or a width past 9.
PatternFound FindFramePattern(const std::string& path, FramePattern* pattern, std::string* error);

// Whether name (a file name, no folder) is one of the pattern's frames, and
// its number and the number as written. A number is written with its padding
// counted in digits ("-0005") or, for a negative number, counted with its
// sign as printf pads it ("-005"); a number not padded as the pattern says
// ("shot.05.png" for ####) is not its frame. Case is ignored in the ASCII
// letters around the number, as Windows ignores it.
bool MatchFrameName(const FramePattern& pattern, const std::string& name, int32_t* number, std::string* digits);

// The path of frame number, padded in digits.
std::string FramePath(const FramePattern& pattern, int32_t number);

// The path of a frame whose number was written as digits, in another
// pattern: digits as they are when the two are padded alike, so that the
// padding of a negative number is kept as the frame had it.
std::string FramePathLike(const FramePattern& pattern, int32_t number, const std::string& digits);

// No frame list names more frames: a farm task is a few hundred.
constexpr int64_t kMaxListedFrames = 1000000;

// Parses a list of frame numbers: N, A-B, A-BxS, joined by commas; numbers
// may be negative ("-10--1"). Gives them in frame order, each once. False
// with a reason naming the item.
bool ParseFrameList(const std::string& text, std::vector<int32_t>* frames, std::string* error);

// Frame numbers, in frame order, said in one line as ranges ("frames 3,
// 241-999999 are missing (999,760 frames)" for verb "missing"): a farm task
// given a range far past its sequence's end hears one line, not a line a
// frame. Past a dozen ranges the rest are counted, not named.
std::string FramesText(const std::vector<int32_t>& numbers, const std::string& verb);
