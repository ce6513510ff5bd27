#include <cstdio>
#include <memory>

#include "minihost/cli/commands.h"

int RunInfo(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    if (!args.empty()) throw CommandError{"info takes no arguments"};
    const PluginExports& x = plugin.Exports();
    std::printf("description: %s\n", x.LibDescription());
    std::printf("version: 0x%08lX\n", x.LibVersion());
    std::printf("classes: %d\n", x.LibNumberClasses());
    ClassDesc* desc = x.LibClassDesc(0);
    if (!desc) throw CommandError{"plug-in answers no descriptor for class 0"};
    const ClassId id = ClassIdOf(*desc);
    std::printf("class name: %s\n", desc->DisplayName());
    std::printf("kind code: 0x%04X\n", static_cast<unsigned>(desc->KindCode()));
    std::printf("class id: 0x%08X 0x%08X\n", static_cast<unsigned>(id.first), static_cast<unsigned>(id.second));
    std::printf("category: %s\n", desc->CategoryName());

    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    std::printf("filter name: %s\n", filter->FilterName());
    std::printf("filter author: %s\n", filter->FilterAuthor());
    std::printf("filter notice: %s\n", filter->FilterNotice());
    std::printf("filter version: 0x%08X\n", static_cast<unsigned>(filter->FilterVersion()));
    std::printf("filter capabilities: %u\n", static_cast<unsigned>(filter->FilterCapabilities()));
    std::printf("configuration size: %u\n", static_cast<unsigned>(filter->EvaluateConfigure()));
    std::printf("channels required: %u\n", static_cast<unsigned>(filter->ChannelsRequired()));
    return 0;
}
