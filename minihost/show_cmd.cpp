// minihost show CONFIG: what a configuration file holds, read without the
// plug-in, so a file can be looked at on any machine.
#include <cstdio>
#include <cstring>

#include "minihost/commands.h"
#include "minihost/kernel_text.h"
#include "minihost/paths.h"
#include "params/kernel_params.h"

namespace {

KernelParams ReadParams(const std::string& path) {
    std::FILE* file = OpenFile(path, L"rb");
    if (!file) throw CommandError{"cannot open configuration " + path + ": no such file, or it cannot be read"};
    KernelParams p;
    char extra;
    const size_t n = std::fread(&p, 1, sizeof p, file);
    const bool more = n == sizeof p && std::fread(&extra, 1, 1, file) == 1;
    std::fclose(file);
    if (n != sizeof p || more)
        throw CommandError{path + ": a configuration is " + std::to_string(sizeof p) + " bytes, this file has " +
                           (more ? "more" : std::to_string(n))};
    if (p.stamp != kParamsStamp) throw CommandError{path + ": not a configuration of this filter (wrong stamp)"};
    return p;
}

std::string SourceText(const KernelParams& p) {
    switch (p.source) {
    case kSourceWhole: return "whole frame";
    case kSourceMaterial: return "material ID " + std::to_string(p.materialId);
    case kSourceObject: return "object ID " + std::to_string(p.objectId);
    default: return std::to_string(p.source) + " (none the plug-in knows)";
    }
}

}  // namespace

int RunShow(const std::vector<std::string>& args) {
    if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-'))
        throw CommandError{"show needs one CONFIG file (made by 'minihost config' or 'minihost setup')"};
    const KernelParams p = ReadParams(args[0]);
    std::printf("source: %s\n", SourceText(p).c_str());
    std::printf("%s", KernelText(p.kernel, p.kernel.kernelSize, std::string(p.name, NameLength(p.name))).c_str());
    const std::string ignored = IgnoredField(p);
    if (!ignored.empty()) std::fprintf(stderr, "minihost: warning: %s: %s\n", args[0].c_str(), ignored.c_str());
    return kExitDone;
}
