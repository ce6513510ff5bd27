#include "minihost/runtime/plugin_loader.h"

#include "hostlib/host_control.h"
#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"

namespace {

// The system's own words for an error code, on one line.
std::string SystemMessage(DWORD code) {
    wchar_t text[256] = L"";
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             256, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.')) --n;
    return n ? Utf8(std::wstring(text, n)) : "error " + std::to_string(code);
}

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
    const std::wstring name = SystemPath(path);
    const DWORD attributes = name.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = "no plug-in at " + path + " (give its path with --plugin PATH)";
        return false;
    }
    module_ = LoadLibraryExW(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module_) {
        const DWORD code = GetLastError();
        if (code == ERROR_MOD_NOT_FOUND)
            *error = "cannot load plug-in " + path + ": a library it needs is missing (HOSTLIB.DLL belongs beside it)";
        else if (code == ERROR_BAD_EXE_FORMAT)
            *error = "cannot load plug-in " + path + ": it is not a 32-bit Windows library";
        else
            *error = "cannot load plug-in " + path + ": " + SystemMessage(code);
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

namespace {
std::string g_pluginPath;
}

std::string DefaultPluginPath() { return ProgramDir() + "\\VLM.FLT"; }

void SetPluginPath(const std::string& path) { g_pluginPath = path; }

std::string PluginPath() { return g_pluginPath.empty() ? DefaultPluginPath() : g_pluginPath; }
