#include "minihost/plugin_loader.h"

#include "hostlib/host_control.h"

namespace {
template <typename F>
bool Find(HMODULE module, int ordinal, F* out) {
    *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    return *out != nullptr;
}
}  // namespace

LoadedPlugin::~LoadedPlugin() {
    if (module_) FreeLibrary(module_);
}

bool LoadedPlugin::Load(const std::string& path, std::string* error) {
    // The plug-in's own folder is searched for the DLLs it imports.
    module_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module_) {
        *error = "cannot load plug-in " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    if (!Find(module_, 1, &exports_.LibDescription) || !Find(module_, 2, &exports_.LibNumberClasses) ||
        !Find(module_, 3, &exports_.LibClassDesc) || !Find(module_, 4, &exports_.LibVersion)) {
        *error = path + " does not export ordinals 1 to 4";
        return false;
    }
    return true;
}

ImageFilter* LoadedPlugin::CreateFilter(std::string* error) {
    if (exports_.LibNumberClasses() < 1) {
        *error = "plug-in holds no class";
        return nullptr;
    }
    ClassDesc* desc = exports_.LibClassDesc(0);
    if (!desc) {
        *error = "plug-in answers no descriptor for class 0";
        return nullptr;
    }
    auto* filter = static_cast<ImageFilter*>(desc->CreateInstance(0));
    if (!filter) *error = "plug-in could not create a filter";
    return filter;
}

std::string DefaultPluginPath() { return std::string(HostProgramDir()) + "\\VLM.FLT"; }
