#pragma once
#include <windows.h>

#include <string>

#include "host/class_desc.h"
#include "host/image_filter.h"
#include "hostlib/host_control.h"

// The four exports, found by ordinal as the host finds them.
struct PluginExports {
    const char* (*LibDescription)() = nullptr;
    int (*LibNumberClasses)() = nullptr;
    ClassDesc* (*LibClassDesc)(int) = nullptr;
    unsigned long (*LibVersion)() = nullptr;
};

class LoadedPlugin {
public:
    LoadedPlugin() = default;
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    // Answers false with a one-line reason in *error.
    bool Load(const std::string& path, std::string* error);
    const PluginExports& Exports() const { return exports_; }
    HMODULE Module() const { return module_; }

    // A new filter from class 0, or null with a reason.
    ImageFilter* CreateFilter(std::string* error);

private:
    HMODULE module_ = nullptr;
    PluginExports exports_;
};

// VLM.FLT beside the running program.
std::string DefaultPluginPath();
// The plug-in of this run: the one given with --plugin, or the default.
void SetPluginPath(const std::string& path);
std::string PluginPath();
