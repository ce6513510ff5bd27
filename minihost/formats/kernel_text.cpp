#include "minihost/formats/kernel_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "render/pixel_math.h"

namespace {

// The code point of a UTF-8 control a terminal acts on rather than shows:
// C1 controls and the marks that turn the direction of the text after them
// (U+061C, U+200E-200F, U+202A-202E, U+2066-2069). 0 for anything else.
unsigned Invisible(const std::string& s, size_t i, size_t* length) {
    const auto at = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned c0 = at(i), c1 = at(i + 1), c2 = at(i + 2);
    if (c0 == 0xC2 && c1 >= 0x80 && c1 <= 0x9F) return *length = 2, c1;
    if (c0 == 0xD8 && c1 == 0x9C) return *length = 2, 0x61C;
    if (c0 == 0xE2 && c1 == 0x80 && ((c2 >= 0x8E && c2 <= 0x8F) || (c2 >= 0xAA && c2 <= 0xAE)))
        return *length = 3, 0x2000u + (c2 - 0x80);
    if (c0 == 0xE2 && c1 == 0x81 && c2 >= 0xA6 && c2 <= 0xA9) return *length = 3, 0x2040u + (c2 - 0x80);
    return 0;
}

}  // namespace

std::string Printable(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        size_t length = 1;
        char escaped[12] = "";
        if (c < 0x20 || c == 0x7f) std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        else if (const unsigned code = Invisible(name, i, &length)) std::snprintf(escaped, sizeof escaped, "\\u%04X", code);
        out += escaped[0] ? std::string(escaped) : name.substr(i, length);
        i += length;
    }
    return out;
}

std::string Shown(const std::string& typed) {
    constexpr size_t kShown = 60;
    if (typed.size() <= kShown) return Printable(typed);
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(typed[cut]) & 0xC0) == 0x80) --cut;
    return Printable(typed.substr(0, cut)) + "... (" + std::to_string(typed.size()) + " bytes in all)";
}

std::string SourceText(const KernelParams& p) {
    switch (p.source) {
    case kSourceWhole: return "whole frame";
    case kSourceMaterial: return "material ID " + std::to_string(p.materialId);
    case kSourceObject: return "object ID " + std::to_string(p.objectId);
    default: return std::to_string(p.source) + " (none the plug-in knows)";
    }
}

std::string KernelText(const KernelRecord& record, int k, const std::string& name, InvertTaken invert) {
    if (!IsKernelSize(k)) k = kGridSide;
    const int s = BlockStart(k);
    size_t width = 1;
    std::vector<std::string> cells;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < k; ++j) {
            cells.push_back(std::to_string(record.weights[kGridSide * (s + i) + s + j]));
            width = std::max(width, cells.back().size());
        }
    std::string text = "kernel: " + std::to_string(k) + " x " + std::to_string(k) + "\n";
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const std::string& cell = cells[size_t(i) * k + j];
            text += std::string(2 + width - cell.size(), ' ') + cell;
        }
        text += "\n";
    }
    text += "divide: " + std::to_string(record.divide) + (record.divide == 0 ? " (no division)" : "") + "\n";
    text += "offset: " + std::to_string(record.offset) + "\n";
    const int32_t stored = record.invert;
    const bool inverts = invert == InvertTaken::kByPicking ? stored != 0 : FinishChannel<1>(0, 0, 0, stored) == 1;
    text += std::string("invert: ") + (inverts ? "yes" : "no");
    if (invert == InvertTaken::kByRender && stored != 0 && stored != 1)
        text += " (stored " + std::to_string(stored) + "; only 1 inverts)";
    text += "\n";
    text += "name: " + Printable(name) + "\n";
    return text;
}

std::string IgnoredField(const KernelParams& p) {
    const std::string frames = ": the plug-in would leave every frame unfiltered";
    if (p.source != kSourceWhole && p.source != kSourceMaterial && p.source != kSourceObject)
        return "source " + std::to_string(p.source) + " is not whole (1009), material (1010) or object (1011)" +
               frames;
    if (!IsKernelSize(p.kernel.kernelSize))
        return "kernel size " + std::to_string(p.kernel.kernelSize) + " is not 3, 5, 7 or 9" + frames;
    if (p.source == kSourceMaterial && (p.materialId < 0 || p.materialId > 255))
        return "material ID " + std::to_string(p.materialId) +
               " is outside 0..255, what the material channel holds: no pixel could carry it";
    if (p.source == kSourceObject && (p.objectId < 0 || p.objectId > 65535))
        return "object ID " + std::to_string(p.objectId) +
               " is outside 0..65535, what the object channel holds: no pixel could carry it";
    return {};
}
