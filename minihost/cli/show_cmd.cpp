// minihost show CONFIG: what a configuration file holds, read without the
// plug-in, so a file can be looked at on any machine.
#include <cstdio>
#include <cstring>

#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/config_file.h"
#include "minihost/formats/kernel_text.h"
#include "params/kernel_params.h"

int RunShow(const std::vector<std::string>& args) {
    const std::vector<std::string> words = ParsedArgs(args, {}, "show").Words();
    if (words.size() != 1)
        throw CommandError{"show needs one CONFIG file (made by 'minihost config' or 'minihost setup')"};
    const KernelParams p = ReadConfigFile(words[0]);
    std::printf("source: %s\n", SourceText(p).c_str());
    std::printf("%s", KernelText(p.kernel, p.kernel.kernelSize, FromAnsi(std::string(p.name, NameLength(p.name))),
                                     InvertTaken::kByRender)
                              .c_str());
    const std::string ignored = IgnoredField(p);
    if (!ignored.empty()) std::fprintf(stderr, "minihost: warning: %s: %s\n", words[0].c_str(), ignored.c_str());
    return kExitDone;
}
