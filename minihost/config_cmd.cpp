#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>

#include "minihost/args.h"
#include "minihost/config_file.h"
#include "minihost/kernel_library.h"
#include "minihost/unicode.h"
#include "plugin/kernel_params.h"

namespace {

// "--row" values: one row of the square block, numbers separated by blanks.
std::vector<int32_t> ParseRow(const std::string& text) {
    std::istringstream in(text);
    std::vector<int32_t> row;
    std::string token;
    while (in >> token) row.push_back(ParseInt32(token, "--row"));
    return row;
}

int32_t ParseSource(const std::string& text) {
    if (text == "whole") return kSourceWhole;
    if (text == "material") return kSourceMaterial;
    if (text == "object") return kSourceObject;
    throw CommandError{"--source: expected whole, material or object, not '" + text + "'"};
}

// A whole number within [low, high], or a CommandError naming the option.
int32_t ParseInRange(const std::string& text, const std::string& option, int32_t low, int32_t high) {
    const int32_t v = ParseInt32(text, option);
    if (v < low || v > high)
        throw CommandError{option + ": " + text + " is out of range (" + std::to_string(low) + " to " +
                           std::to_string(high) + ")"};
    return v;
}

// The named kernel as the control dialog takes it from the list: the
// record, with the size its weights imply, and the name.
void TakeLibraryKernel(const std::string& name, KernelParams* p) {
    // The library holds names as the dialog saved them, in the ANSI code page.
    std::string ansi;
    if (!ToAnsi(name, &ansi))
        throw CommandError{"--kernel: '" + name + "' has characters that the ANSI code page (" +
                           std::to_string(GetACP()) + ") cannot hold, so no kernel in the library has this name"};
    for (const NamedKernel& k : ReadKernelLibrary()) {
        if (k.name != ansi) continue;
        p->kernel = k.record;
        p->kernel.kernelSize = KernelSizeFromWeights(p->kernel.weights);
        std::memcpy(p->name, ansi.c_str(), ansi.size() + 1);
        return;
    }
    throw CommandError{"--kernel: no kernel named '" + name + "' in " + KernelLibraryPath() +
                       " ('minihost kernels' lists the names)"};
}

}  // namespace

int RunConfig(const std::vector<std::string>& args) {
    KernelParams p = DefaultParams();
    std::vector<std::vector<int32_t>> rows;
    std::string path, kernel, name;
    std::optional<int32_t> divide, offset, invert, objectId, materialId;
    ArgReader reader(args);
    while (!reader.Done()) {
        const std::string a = reader.Next();
        if (a == "--row") rows.push_back(ParseRow(reader.Value(a)));
        else if (a == "--kernel") kernel = reader.Value(a);
        else if (a == "--divide") divide = ParseInt32(reader.Value(a), a);
        else if (a == "--offset") offset = ParseInt32(reader.Value(a), a);
        else if (a == "--invert") invert = ParseInRange(reader.Value(a), a, 0, 1);
        else if (a == "--source") p.source = ParseSource(reader.Value(a));
        else if (a == "--object-id") objectId = ParseInRange(reader.Value(a), a, 0, 65535);
        else if (a == "--material-id") materialId = ParseInRange(reader.Value(a), a, 0, 255);
        else if (a == "--name") {
            // The plug-in shows and saves the name as ANSI text.
            const std::string typed = reader.Value(a);
            if (!ToAnsi(typed, &name))
                throw CommandError{"--name: '" + typed + "' has characters that the ANSI code page (" +
                                   std::to_string(GetACP()) + ") cannot hold"};
            if (name.empty() || name.size() > kNameBytes - 1)
                throw CommandError{"--name: 1 to 255 characters (bytes of the ANSI code page)"};
        } else if (a.size() > 1 && a[0] == '-') throw CommandError{"config: unknown option " + a};
        else if (path.empty()) path = a;
        else throw CommandError{"config takes one FILE"};
    }
    if (objectId && p.source != kSourceObject)
        throw CommandError{"--object-id is used only with --source object"};
    if (materialId && p.source != kSourceMaterial)
        throw CommandError{"--material-id is used only with --source material"};
    if (objectId) p.objectId = *objectId;
    if (materialId) p.materialId = *materialId;
    if (!kernel.empty()) {
        if (!rows.empty()) throw CommandError{"config: give --kernel NAME or --row, not both"};
        TakeLibraryKernel(kernel, &p);
    }
    // What is given beside a library kernel changes it, as typing into the
    // dialog after picking it from the list would.
    if (divide) p.kernel.divide = *divide;
    if (offset) p.kernel.offset = *offset;
    if (invert) p.kernel.invert = *invert;
    if (!name.empty()) std::memcpy(p.name, name.c_str(), name.size() + 1);
    if (path.empty()) throw CommandError{"config needs the FILE to write"};
    const int k = static_cast<int>(rows.size());
    if (k != 0) {
        if (!IsKernelSize(k)) throw CommandError{"--row: give 3, 5, 7 or 9 rows, not " + std::to_string(k)};
        for (const auto& row : rows)
            if (static_cast<int>(row.size()) != k)
                throw CommandError{"--row: each row needs " + std::to_string(k) + " numbers"};
        const int s = BlockStart(k);
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j) p.kernel.weights[kGridSide * (s + i) + s + j] = rows[i][j];
    }
    // The size the dialog would derive, so the file reads as if typed there.
    p.kernel.kernelSize = KernelSizeFromWeights(p.kernel.weights);
    if (kernel.empty() && rows.empty())
        std::fprintf(stderr, "minihost: warning: no --row or --kernel given: every weight is 0, which makes black "
                             "frames\n");
    ReplaceFile(path, &p, sizeof p);
    return 0;
}
