#include "minihost/cli/frame_sequence.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "minihost/files/error.h"
#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/ascii_case.h"

namespace {

// A name with something before its extension.
bool IsFrameName(const std::string& name) {
    for (const std::string end : {".png", ".tif", ".tiff"})
        if (name.size() > end.size() && EndsWithNoCase(name, end)) return true;
    return false;
}

// The names of the files (not folders) in folder; false when it cannot be listed.
bool FileNames(const std::string& folder, std::vector<std::string>* names) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(SystemPath(Join(folder.empty() ? "." : folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names->push_back(Utf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

}  // namespace

bool IsFramePattern(const std::string& path, FramePattern* pattern, const std::string& option) {
    if (path.empty() || Exists(path)) return false;
    std::string error;
    switch (FindFramePattern(path, pattern, &error)) {
        case PatternFound::kNone: return false;
        case PatternFound::kBad: throw CommandError{(option.empty() ? "" : option + " ") + error};
        case PatternFound::kFound: return true;
    }
    return false;
}

std::vector<SequenceFrame> ListSequence(const std::string& path, const FramePattern& pattern,
                                        const std::string& frameList, std::vector<int32_t>* missing) {
    std::vector<std::string> names;
    if (!FileNames(pattern.folder, &names) && !IsFolder(pattern.folder.empty() ? "." : pattern.folder))
        throw CommandError{path + ": the folder " + pattern.folder + " does not exist"};
    std::multimap<int32_t, SequenceFrame> present;  // a number may be written two ways ("-005", "-0005")
    for (const std::string& name : names) {
        SequenceFrame frame;
        if (MatchFrameName(pattern, name, &frame.number, &frame.digits)) {
            frame.path = pattern.folder + name;
            frame.numbered = true;
            present.emplace(frame.number, frame);
        }
    }
    std::vector<SequenceFrame> frames;
    if (frameList.empty()) {
        if (present.empty())
            throw CommandError{path + ": no frame of this pattern in " +
                               (pattern.folder.empty() ? std::string("this folder") : pattern.folder)};
        for (const auto& entry : present) frames.push_back(entry.second);  // in frame order
        return frames;
    }
    std::vector<int32_t> numbers;
    std::string error;
    if (!ParseFrameList(frameList, &numbers, &error)) throw CommandError{"--frames " + error};
    for (int32_t n : numbers) {
        const auto range = present.equal_range(n);
        if (range.first == range.second) missing->push_back(n);
        for (auto it = range.first; it != range.second; ++it) frames.push_back(it->second);
    }
    return frames;
}

std::vector<SequenceFrame> ListFrames(const std::vector<std::string>& inputs) {
    std::vector<SequenceFrame> frames;
    for (const std::string& input : inputs) {
        if (!IsFolder(input)) {
            frames.push_back(FileFrame(input));
            continue;
        }
        std::vector<std::string> names, kept;
        FileNames(input, &names);
        for (const std::string& name : names)
            if (IsFrameName(name)) kept.push_back(name);
        if (kept.empty()) throw CommandError{input + ": no PNG or TIFF frames in this folder"};
        std::sort(kept.begin(), kept.end());
        for (const std::string& name : kept) frames.push_back(FileFrame(Join(input, name)));
    }
    return frames;
}
