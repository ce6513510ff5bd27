#include "minihost/formats/kernel_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "render/pixel_math.h"

std::string Printable(const std::string& name) {
    std::string out;
    for (const char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out;
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
