// minihost kernels [--long]: the names, or the grids, of the kernels saved in
// the library.
#include <cstdio>

#include "minihost/cli/commands.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/formats/kernel_text.h"

int RunKernels(const std::vector<std::string>& args) {
    bool longForm = false;
    for (const std::string& a : args) {
        if (a == "--long") longForm = true;
        else throw CommandError{"kernels: unknown argument " + a + " (it takes only --long)"};
    }
    const std::vector<NamedKernel> kernels = ReadKernelLibrary();
    // A file of random bytes is nearly all damaged entries: a few say so.
    constexpr int kMostWarnings = 5;
    int warned = 0, unsaid = 0;
    for (size_t i = 0; i < kernels.size(); ++i) {
        const NamedKernel& k = kernels[i];
        const std::string warning = EntryWarning(k, i);
        if (!warning.empty() && warned++ < kMostWarnings)
            std::fprintf(stderr, "minihost: warning: %s\n", warning.c_str());
        else if (!warning.empty()) ++unsaid;
        const std::string duplicate =
            k.firstOfName < 0 ? ""
                              : "   (again: entry " + std::to_string(k.firstOfName + 1) +
                                    " has this name, and picking it takes that one)";
        if (longForm) {
            if (i > 0) std::printf("\n");
            std::printf("%s", KernelText(k.record, KernelSizeFromWeights(k.record.weights), FromAnsi(k.name)).c_str());
            if (!duplicate.empty()) std::printf("%s\n", duplicate.c_str() + 3);
        } else {
            std::printf("%s%s\n", Printable(FromAnsi(k.name)).c_str(), duplicate.c_str());
        }
    }
    if (unsaid) std::fprintf(stderr, "minihost: warning: %d more damaged entries in VLM.SET\n", unsaid);
    return kExitDone;
}
