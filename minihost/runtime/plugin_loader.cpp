#include "minihost/runtime/plugin_loader.h"

#include <cstdio>
#include <cstring>

#include "hostlib/host_control.h"
#include "minihost/files/paths.h"
#include "minihost/runtime/fault.h"
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

const char* const kExportNames[] = {"LibDescription", "LibNumberClasses", "LibClassDesc", "LibVersion"};

// The name the module's export table gives an ordinal, or null. Read from
// the loaded image, so that nothing of another DLL is called to find out
// whether it is a plug-in.
const char* ExportName(HMODULE module, WORD ordinal) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXPORT || dir.Size == 0) return nullptr;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    if (ordinal < exports->Base) return nullptr;
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* indices = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        if (indices[i] == ordinal - exports->Base) return reinterpret_cast<const char*>(base + names[i]);
    return nullptr;
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
    const std::string refused = "cannot load plug-in " + path + ": ";
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        const char* name = ExportName(module_, ordinal);
        if (!name || std::strcmp(name, kExportNames[ordinal - 1]) != 0) {
            *error = refused + "it is not a filter plug-in (its export " + std::to_string(ordinal) + " is " +
                     (name ? std::string("'") + name + "'" : std::string("unnamed or missing")) + ", not " +
                     kExportNames[ordinal - 1] + ")";
            return false;
        }
    }
    if (!Find(module_, 1, &exports_.LibDescription) || !Find(module_, 2, &exports_.LibNumberClasses) ||
        !Find(module_, 3, &exports_.LibClassDesc) || !Find(module_, 4, &exports_.LibVersion)) {
        *error = path + " does not export ordinals 1 to 4";
        return false;
    }
    // What the host asks before anything else, and refuses a library on.
    const FaultScope scope("the checks of plug-in " + path);
    const unsigned long answered = exports_.LibVersion();
    if (answered != kPluginInterfaceVersion) {
        char words[96];
        std::snprintf(words, sizeof words, "(version 0x%08lX, not 0x%08lX)", answered,
                      static_cast<unsigned long>(kPluginInterfaceVersion));
        *error = refused + "it was built for another interface of the host " + words;
        return false;
    }
    const int classes = exports_.LibNumberClasses();
    ClassDesc* desc = classes >= 1 ? exports_.LibClassDesc(0) : nullptr;
    if (!desc) {
        *error = refused + (classes < 1 ? "it holds no class (its class count is " + std::to_string(classes) + ")"
                                        : std::string("it answers no descriptor for class 0"));
        return false;
    }
    if (desc->KindCode() != kImageFilterKind) {
        *error = refused + "its class 0 is not an image filter (kind code " + std::to_string(desc->KindCode()) + ")";
        return false;
    }
    return true;
}

ImageFilter* LoadedPlugin::CreateFilter(std::string* error) {
    const FaultScope scope("the making of a filter");
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
