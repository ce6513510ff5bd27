#include "minihost/cli/frame_pattern.h"

#include <algorithm>
#include <cstdlib>

#include "minihost/formats/ascii_case.h"

namespace {

// An int32 has at most ten digits; a wider pad would only add zeros.
constexpr int kMaxWidth = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A pattern's fixed text as the file name holds it: "%%" is one '%'.
std::string Unescaped(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return plain;
}

// The digits of |number|, unpadded.
std::string Digits(int32_t number) {
    const int64_t magnitude = number < 0 ? -int64_t{number} : number;
    return std::to_string(magnitude);
}

// A signed decimal number from text at *at, within int32; *at moves past it.
bool ReadNumber(const std::string& text, size_t* at, int32_t* number) {
    size_t i = *at;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    const size_t first = i;
    int64_t value = 0;
    while (i < text.size() && IsDigit(text[i])) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) return false;
        ++i;
    }
    if (i == first) return false;
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    *number = int32_t(value);
    *at = i;
    return true;
}

}  // namespace

PatternFound FindFramePattern(const std::string& path, FramePattern* pattern, std::string* error) {
    const size_t slash = path.find_last_of("/\\");
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = path.substr(nameAt);
    size_t found = std::string::npos, length = 0;
    int width = 0, count = 0;
    for (size_t i = 0; i < name.size();) {
        if (name[i] == '#') {
            size_t j = i;
            while (j < name.size() && name[j] == '#') ++j;
            found = i, length = j - i, width = int(j - i), ++count;
            i = j;
        } else if (name[i] == '%' && i + 1 < name.size() && name[i + 1] == '%') {
            i += 2;  // a percent sign, as printf reads it
        } else if (name[i] == '%') {
            // %d, or %0Nd: printf's forms for a number padded with zeros.
            size_t j = i + 1;
            int padded = 1;
            if (j < name.size() && name[j] == '0') {
                size_t k = j + 1;
                int n = 0;
                while (k < name.size() && IsDigit(name[k]) && n <= kMaxWidth) n = n * 10 + (name[k++] - '0');
                if (k == j + 1 || k >= name.size() || name[k] != 'd') {
                    ++i;
                    continue;
                }
                padded = n, j = k;
            }
            if (j < name.size() && name[j] == 'd') {
                found = i, length = j + 1 - i, width = padded, ++count;
                i = j + 1;
            } else {
                ++i;
            }
        } else {
            ++i;
        }
    }
    if (count == 0) return PatternFound::kNone;
    if (count > 1) {
        *error = name + ": more than one place for the frame number; give one run of # or one %d";
        return PatternFound::kBad;
    }
    if (width > kMaxWidth || width < 1) {
        *error = name + ": frame numbers are padded to at most " + std::to_string(kMaxWidth) + " digits";
        return PatternFound::kBad;
    }
    pattern->folder = path.substr(0, nameAt);
    pattern->head = Unescaped(name.substr(0, found));
    pattern->tail = Unescaped(name.substr(found + length));
    pattern->width = width;
    return PatternFound::kFound;
}

bool MatchFrameName(const FramePattern& pattern, const std::string& name, int32_t* number, std::string* digits) {
    const size_t fixed = pattern.head.size() + pattern.tail.size();
    if (name.size() <= fixed || !SameTextAt(name, 0, pattern.head) ||
        !SameTextAt(name, name.size() - pattern.tail.size(), pattern.tail))
        return false;
    const std::string middle = name.substr(pattern.head.size(), name.size() - fixed);
    size_t at = 0;
    int32_t n;
    if (!ReadNumber(middle, &at, &n) || at != middle.size()) return false;
    const bool negative = middle[0] == '-';
    if (negative && n == 0) return false;  // "-0" is no number a renderer writes
    const size_t written = middle.size() - (negative ? 1 : 0);
    const size_t natural = Digits(n).size();
    const size_t width = size_t(pattern.width);
    const bool padded = written == std::max(width, natural) ||
                        (negative && width > 1 && written == std::max(width - 1, natural));
    if (!padded) return false;
    *number = n;
    *digits = middle;
    return true;
}

std::string FramePath(const FramePattern& pattern, int32_t number) {
    std::string digits = Digits(number);
    if (digits.size() < size_t(pattern.width)) digits.insert(0, size_t(pattern.width) - digits.size(), '0');
    return pattern.folder + pattern.head + (number < 0 ? "-" : "") + digits + pattern.tail;
}

std::string FramePathLike(const FramePattern& pattern, int32_t number, const std::string& digits) {
    std::string check;
    int32_t n;
    FramePattern bare = pattern;
    bare.folder.clear();
    if (MatchFrameName(bare, pattern.head + digits + pattern.tail, &n, &check) && n == number)
        return pattern.folder + pattern.head + digits + pattern.tail;
    return FramePath(pattern, number);
}

bool ParseFrameList(const std::string& text, std::vector<int32_t>* frames, std::string* error) {
    std::vector<int32_t> all;
    int64_t listed = 0;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        auto bad = [&](const std::string& why) {
            *error = "'" + item + "': " + why;
            return false;
        };
        size_t at = 0;
        int32_t first, last, step = 1;
        if (item.empty()) return bad("an empty item; give N, A-B or A-BxS, joined by commas");
        if (!ReadNumber(item, &at, &first)) return bad("not a frame number, or past the 32-bit range");
        last = first;
        if (at < item.size() && item[at] == '-') {
            ++at;
            if (!ReadNumber(item, &at, &last)) return bad("the range has no last frame, or it is past the 32-bit range");
            if (at < item.size() && item[at] == 'x') {
                ++at;
                if (at >= item.size() || item[at] == '-' || !ReadNumber(item, &at, &step) || step < 1)
                    return bad("the step after x must be a whole number from 1");
            }
        }
        if (at != item.size()) return bad("give N, A-B or A-BxS (1-240x2), joined by commas");
        if (last < first) return bad("the range ends before it starts");
        const int64_t count = (int64_t{last} - first) / step + 1;
        listed += count;
        if (listed > kMaxListedFrames)
            return bad("the list names more than " + std::to_string(kMaxListedFrames) + " frames");
        for (int64_t f = first; f <= last; f += step) all.push_back(int32_t(f));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    *frames = std::move(all);
    return true;
}

namespace {

std::string WithThousands(uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(size_t(at), ",");
    return digits;
}

}  // namespace

std::string FramesText(const std::vector<int32_t>& numbers, const std::string& verb) {
    constexpr int kNamedRanges = 12;
    std::string ranges;
    int named = 0, unnamed = 0;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && int64_t{numbers[j + 1]} == int64_t{numbers[j]} + 1) ++j;
        if (named++ < kNamedRanges) {
            ranges += (ranges.empty() ? "" : ", ") + std::to_string(numbers[i]);
            if (j > i) ranges += "-" + std::to_string(numbers[j]);
        } else {
            ++unnamed;
        }
        i = j + 1;
    }
    if (unnamed) ranges += " and " + std::to_string(unnamed) + " ranges more";
    const bool one = numbers.size() == 1;
    return (one ? "frame " : "frames ") + ranges + (one ? " is " : " are ") + verb + " (" +
           WithThousands(numbers.size()) + (one ? " frame)" : " frames)");
}
