#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>

#include "minihost/cli/args.h"
#include "minihost/cli/kernel_names.h"
#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/config_file.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/formats/kernel_text.h"
#include "minihost/runtime/stop.h"
#include "params/kernel_params.h"

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

// What the dialog's spinners hold, so that a file made here opens and closes
// in the dialog unchanged.
constexpr int32_t kDialogLimit = 99999;  // Divide and Offset, either sign
constexpr int32_t kDialogMaterialIds = 15;

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
        throw CommandError{"--kernel: '" + Shown(name) + "' has characters that the ANSI code page (" +
                           std::to_string(GetACP()) + ") cannot hold, so no kernel in the library has this name"};
    const std::vector<NamedKernel> kernels = ReadKernelLibrary();
    for (size_t i = 0; i < kernels.size(); ++i) {
        const NamedKernel& k = kernels[i];
        if (k.name != ansi) continue;
        const std::string warning = EntryWarning(k, i);
        if (!warning.empty()) std::fprintf(stderr, "minihost: warning: %s\n", warning.c_str());
        int same = 0;
        for (const NamedKernel& other : kernels) same += other.name == ansi;
        if (same > 1)
            std::fprintf(stderr,
                         "minihost: warning: VLM.SET holds %d kernels named '%s'; the first (entry %d) is taken, "
                         "as the dialog takes it\n",
                         same, Printable(name).c_str(), int(i + 1));
        TakeKernel(k, p);
        return;
    }
    throw CommandError{"--kernel: no kernel named '" + Shown(name) + "' in " + KernelLibraryPath() +
                       " (names match exactly, as in the dialog's list;" + NearNames(kernels, ansi) +
                       " 'minihost kernels' lists them)"};
}

// --row repeats, a row each; every other option is given once.
const std::vector<OptionSpec> kConfigOptions = {
    {"--row", "\"a b c\"", true}, {"--kernel", "NAME"},       {"--divide", "N"},         {"--offset", "N"},
    {"--invert", "0|1"},           {"--source", "whole|material|object"}, {"--object-id", "N"},
    {"--material-id", "N"},        {"--name", "TEXT"},
};

// What config's command line asks for, each value read and checked alone.
struct ConfigRequest {
    std::string path, kernel, name;  // name: bytes of the ANSI code page
    std::vector<std::vector<int32_t>> rows;
    std::optional<int32_t> source, divide, offset, invert, objectId, materialId;
};

ConfigRequest ReadRequest(const std::vector<std::string>& args) {
    const ParsedArgs parsed(args, kConfigOptions, "config");
    ConfigRequest q;
    for (const std::string& row : parsed.Values("--row")) q.rows.push_back(ParseRow(row));
    q.kernel = parsed.Value("--kernel");
    auto ranged = [&](const char* option, int32_t low, int32_t high) -> std::optional<int32_t> {
        if (!parsed.Has(option)) return std::nullopt;
        return ParseInRange(parsed.Value(option), option, low, high);
    };
    q.divide = ranged("--divide", -kDialogLimit, kDialogLimit);
    q.offset = ranged("--offset", -kDialogLimit, kDialogLimit);
    q.invert = ranged("--invert", 0, 1);
    q.objectId = ranged("--object-id", 0, 65535);
    q.materialId = ranged("--material-id", 0, kDialogMaterialIds);
    if (parsed.Has("--source")) q.source = ParseSource(parsed.Value("--source"));
    if (parsed.Has("--name")) {
        // The plug-in shows and saves the name as ANSI text.
        const std::string typed = parsed.Value("--name");
        if (!ToAnsi(typed, &q.name))
            throw CommandError{"--name: '" + typed + "' has characters that the ANSI code page (" +
                               std::to_string(GetACP()) + ") cannot hold"};
        if (q.name.empty() || q.name.size() > kNameBytes - 1)
            throw CommandError{"--name: 1 to 255 characters (bytes of the ANSI code page)"};
    }
    if (parsed.Words().size() > 1) throw CommandError{"config takes one FILE"};
    if (parsed.Words().empty()) throw CommandError{"config needs the FILE to write"};
    q.path = parsed.Words()[0];
    return q;
}

// An ID goes with the source that selects by it, and that source needs it:
// without it the record would select ID 0, the background.
void SelectIds(const ConfigRequest& q, KernelParams* p) {
    if (q.objectId && p->source != kSourceObject) throw CommandError{"--object-id is used only with --source object"};
    if (q.materialId && p->source != kSourceMaterial)
        throw CommandError{"--material-id is used only with --source material"};
    if (p->source == kSourceObject && !q.objectId)
        throw CommandError{"--source object needs --object-id N (0 to 65535), the ID of the pixels to filter"};
    if (p->source == kSourceMaterial && !q.materialId)
        throw CommandError{"--source material needs --material-id N (0 to " + std::to_string(kDialogMaterialIds) +
                           "), the ID of the pixels to filter"};
    if (q.objectId) p->objectId = *q.objectId;
    if (q.materialId) p->materialId = *q.materialId;
}

// --row's k rows of k numbers, placed in the grid as the dialog places them.
void PlaceRows(const std::vector<std::vector<int32_t>>& rows, KernelParams* p) {
    const int k = static_cast<int>(rows.size());
    if (k == 0) return;
    if (!IsKernelSize(k)) throw CommandError{"--row: give 3, 5, 7 or 9 rows, not " + std::to_string(k)};
    for (const auto& row : rows)
        if (static_cast<int>(row.size()) != k)
            throw CommandError{"--row: each row needs " + std::to_string(k) + " numbers, as there are " +
                               std::to_string(k) + " rows"};
    std::vector<int32_t> block;
    for (const auto& row : rows) block.insert(block.end(), row.begin(), row.end());
    PlaceKernel(block.data(), k, p->kernel.weights);
}

// A library kernel's Divide and Offset must be ones the dialog holds; a
// kernel of zeros is said, as it makes flat frames.
void CheckKernel(const KernelParams& p, const ConfigRequest& q) {
    // Through locals: the record is packed.
    const int32_t tail[2] = {p.kernel.divide, p.kernel.offset};
    for (int i = 0; i < 2; ++i)
        if (tail[i] < -kDialogLimit || tail[i] > kDialogLimit)
            throw CommandError{"--kernel " + Printable(q.kernel) + ": its " + (i ? "Offset " : "Divide ") +
                               std::to_string(tail[i]) + " is outside -99999..99999, what the dialog holds; give " +
                               (i ? "--offset" : "--divide") + " N beside it"};
    bool allZero = true;
    for (int i = 0; i < kGridCells; ++i) allZero = allZero && p.kernel.weights[i] == 0;
    if (allZero)
        std::fprintf(stderr, "minihost: warning: %severy weight is 0, which makes every filtered pixel the Offset "
                             "alone: flat frames, black for Offset 0 without Invert\n",
                     q.kernel.empty() && q.rows.empty() ? "no --row or --kernel given: " : "");
}

}  // namespace

int RunConfig(const std::vector<std::string>& args) {
    const ConfigRequest q = ReadRequest(args);
    HostGuard("config").Check(q.path, kConfigOutput);
    KernelParams p = DefaultParams();
    if (q.source) p.source = *q.source;
    SelectIds(q, &p);
    if (!q.kernel.empty()) {
        if (!q.rows.empty()) throw CommandError{"config: give --kernel NAME or --row, not both"};
        TakeLibraryKernel(q.kernel, &p);
    }
    // What is given beside a library kernel changes it, as typing into the
    // dialog after picking it from the list would.
    if (q.divide) p.kernel.divide = *q.divide;
    if (q.offset) p.kernel.offset = *q.offset;
    if (q.invert) p.kernel.invert = *q.invert;
    if (!q.name.empty()) std::memcpy(p.name, q.name.c_str(), q.name.size() + 1);
    PlaceRows(q.rows, &p);
    // The size the dialog would derive, so the file reads as if typed there.
    p.kernel.kernelSize = KernelSizeFromWeights(p.kernel.weights);
    CheckKernel(p, q);
    StopPoint();
    ReplaceFile(q.path, &p, sizeof p);
    const size_t nameLength = NameLength(p.name);
    std::printf("wrote %s, %llu bytes: a %d x %d kernel%s for %s%s\n", q.path.c_str(),
                (unsigned long long)FileSize(q.path), p.kernel.kernelSize, p.kernel.kernelSize,
                nameLength ? (" named '" + Printable(FromAnsi(std::string(p.name, nameLength))) + "'").c_str() : "",
                p.source == kSourceWhole ? "the " : "", SourceText(p).c_str());
    return kExitDone;
}
