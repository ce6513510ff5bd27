#include <cstdio>
#include <cstring>
#include <sstream>

#include "minihost/args.h"
#include "minihost/config_file.h"
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

}  // namespace

int RunConfig(const std::vector<std::string>& args) {
    KernelParams p = DefaultParams();
    std::vector<std::vector<int32_t>> rows;
    std::string path;
    ArgReader reader(args);
    while (!reader.Done()) {
        const std::string a = reader.Next();
        if (a == "--row") rows.push_back(ParseRow(reader.Value(a)));
        else if (a == "--divide") p.kernel.divide = ParseInt32(reader.Value(a), a);
        else if (a == "--offset") p.kernel.offset = ParseInt32(reader.Value(a), a);
        else if (a == "--invert") p.kernel.invert = ParseInt32(reader.Value(a), a);
        else if (a == "--source") p.source = ParseSource(reader.Value(a));
        else if (a == "--object-id") p.objectId = ParseInt32(reader.Value(a), a);
        else if (a == "--material-id") p.materialId = ParseInt32(reader.Value(a), a);
        else if (a == "--name") {
            const std::string name = reader.Value(a);
            if (name.size() > kNameBytes - 1) throw CommandError{"--name: at most 255 characters"};
            std::memcpy(p.name, name.c_str(), name.size() + 1);
        } else if (a.size() > 1 && a[0] == '-') throw CommandError{"config: unknown option " + a};
        else if (path.empty()) path = a;
        else throw CommandError{"config takes one FILE"};
    }
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
    ReplaceFile(path, &p, sizeof p);
    return 0;
}
