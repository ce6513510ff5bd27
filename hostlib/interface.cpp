#include <windows.h>

#include <cstring>
#include <string>

#include "hostlib/host_control.h"

namespace {

class HostInterfaceImpl : public Interface {
public:
    const char* DirectoryPath(int which) override {
        if (which == kSettingsDirCode) {
            if (settingsDir_.empty()) settingsDir_ = std::string(HostProgramDir()) + "\\settings";
            return settingsDir_.c_str();
        }
        return HostProgramDir();
    }
    void SetSettingsDir(const char* dir) { settingsDir_ = dir ? dir : ""; }

private:
    std::string settingsDir_;
};

HostInterfaceImpl g_interface;

}  // namespace

const char* HostProgramDir() {
    static const std::string dir = [] {
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        const std::string file(path, n < MAX_PATH ? n : 0);
        const size_t slash = file.find_last_of("\\/");
        return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
    }();
    return dir.c_str();
}

void HostSetSettingsDir(const char* directory) { g_interface.SetSettingsDir(directory); }
Interface* HostGetInterface() { return &g_interface; }
