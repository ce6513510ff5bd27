#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/runtime/fault.h"

int RunAbout(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    if (!ParsedArgs(args, {}, "about").Words().empty()) throw CommandError{"about takes no arguments"};
    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    const FaultScope scope("the About box");
    const int result = filter->OpenAboutBox(nullptr);
    if (result < 0) throw CommandError{"the About box could not be opened (is there a display?)"};
    return result;
}
