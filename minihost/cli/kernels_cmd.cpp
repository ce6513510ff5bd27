// minihost kernels [--long]: the names, or the whole entries, of the kernels
// saved in the library.
#include <cstdio>

#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/formats/kernel_text.h"

void EntryWarnings::Check(const NamedKernel& k, size_t index) {
    constexpr int kMostWarnings = 5;
    const std::string warning = EntryWarning(k, index);
    if (warning.empty()) return;
    if (said_++ < kMostWarnings) std::fprintf(stderr, "minihost: warning: %s\n", warning.c_str());
    else ++unsaid_;
}

void EntryWarnings::Finish() {
    if (unsaid_) std::fprintf(stderr, "minihost: warning: %d more damaged entries in VLM.SET\n", unsaid_);
    said_ = unsaid_ = 0;
}

int RunKernels(const std::vector<std::string>& args) {
    const ParsedArgs parsed(args, {{"--long", nullptr}}, "kernels");
    if (!parsed.Words().empty())
        throw CommandError{"kernels: unknown argument " + parsed.Words()[0] + " (it takes only --long)"};
    const bool longForm = parsed.Has("--long");
    const std::vector<NamedKernel> kernels = ReadKernelLibrary();
    EntryWarnings warnings;
    for (size_t i = 0; i < kernels.size(); ++i) {
        const NamedKernel& k = kernels[i];
        warnings.Check(k, i);
        const std::string name = Printable(FromAnsi(k.name));
        const std::string duplicate =
            k.firstOfName < 0 ? ""
                              : "   (again: entry " + std::to_string(k.firstOfName + 1) +
                                    " has this name, and picking it takes that one)";
        if (!longForm) {
            std::printf("%s%s\n", name.c_str(), duplicate.c_str());
            continue;
        }
        // The name first, for a reader who scans for it; the rest as show
        // prints it, whose name line closes the text.
        std::string text = KernelText(k.record, KernelSizeFromWeights(k.record.weights), FromAnsi(k.name));
        const std::string nameLine = "name: " + name + "\n";
        if (text.size() >= nameLine.size() && text.compare(text.size() - nameLine.size(), nameLine.size(), nameLine) == 0)
            text.resize(text.size() - nameLine.size());
        std::printf("%sname: %s%s\n%s", i > 0 ? "\n" : "", name.c_str(), duplicate.c_str(), text.c_str());
    }
    warnings.Finish();
    return kExitDone;
}
