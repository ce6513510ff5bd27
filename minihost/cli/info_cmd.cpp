// minihost info: what the plug-in and a new filter answer the host, each
// number as the host reads it, with a word beside it for a person.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "host/channels.h"
#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "module/identity.h"

namespace {

// The release as the plug-in's About box shows it: the text after "Version "
// in its dialog template; empty when the template holds none.
std::string Release(HMODULE plugin) {
    const HRSRC found = FindResourceA(plugin, MAKEINTRESOURCEA(kAboutTemplate), MAKEINTRESOURCEA(5));  // RT_DIALOG
    const HGLOBAL loaded = found ? LoadResource(plugin, found) : nullptr;
    const auto* text = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!text) return {};
    const std::wstring words(text, SizeofResource(plugin, found) / sizeof(wchar_t));
    const std::wstring mark = L"Version ";
    const size_t at = words.find(mark);
    if (at == std::wstring::npos) return {};
    std::string release;
    for (size_t i = at + mark.size(); i < words.size() && words[i] > L' ' && words[i] < 0x7f; ++i)
        release += char(words[i]);
    return release;
}

std::string Channels(uint32_t bits) {
    if (bits == 0) return "none: a new filter takes the whole frame; object IDs would be 4, material IDs 2";
    std::string words;
    if (bits & kObjectChannel) words = "object IDs";
    if (bits & kMaterialChannel) words += std::string(words.empty() ? "" : " and ") + "material effects IDs";
    return words.empty() ? "channels unknown to minihost" : words;
}

}  // namespace

int RunInfo(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    if (!ParsedArgs(args, {}, "info").Words().empty()) throw CommandError{"info takes no arguments"};
    const PluginExports& x = plugin.Exports();
    const std::string release = Release(plugin.Module());
    std::printf("release: %s\n", release.empty() ? "not shown (the About box holds no version line)"
                                                 : (release + ", as the About box shows").c_str());
    std::printf("description: %s\n", x.LibDescription());
    std::printf("version: 0x%08lX (the library's version word, which the host reads)\n", x.LibVersion());
    std::printf("classes: %d\n", x.LibNumberClasses());
    ClassDesc* desc = x.LibClassDesc(0);
    if (!desc) throw CommandError{"plug-in answers no descriptor for class 0"};
    const ClassId id = ClassIdOf(*desc);
    const unsigned kind = desc->KindCode();
    std::printf("class name: %s\n", desc->DisplayName());
    std::printf("kind code: 0x%04X (%s)\n", kind, kind == kImageFilterKind ? "image filter" : "not an image filter");
    std::printf("class id: 0x%08X 0x%08X\n", static_cast<unsigned>(id.first), static_cast<unsigned>(id.second));
    std::printf("category: %s\n", desc->CategoryName());

    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    const unsigned capabilities = filter->FilterCapabilities();
    std::string bits;
    for (unsigned bit = 1; bit != 0; bit <<= 1)
        if (capabilities & bit) bits += (bits.empty() ? "" : " + ") + std::to_string(bit);
    std::printf("filter name: %s\n", filter->FilterName());
    std::printf("filter author: %s\n", filter->FilterAuthor());
    std::printf("filter notice: %s\n", filter->FilterNotice());
    std::printf("filter version: 0x%08X (the class ID's first word, which opens every configuration)\n",
                static_cast<unsigned>(filter->FilterVersion()));
    std::printf("filter capabilities: %u (%s, for the host to read)\n", capabilities,
                bits.empty() ? "no flag" : ("flags " + bits).c_str());
    std::printf("configuration size: %u (bytes the host keeps with the scene)\n",
                static_cast<unsigned>(filter->EvaluateConfigure()));
    const uint32_t channels = filter->ChannelsRequired();
    std::printf("channels required: %u (%s)\n", static_cast<unsigned>(channels), Channels(channels).c_str());
    return 0;
}
