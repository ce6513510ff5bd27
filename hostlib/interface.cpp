#include <windows.h>

#include <cstring>
#include <string>

#include "hostlib/host_control.h"

namespace {

class HostInterfaceImpl : public Interface {
public:
    const char* GetDir(int which) override {
        if (which == APP_PLUGCFG_DIR) {
            if (plugCfg_.empty()) plugCfg_ = std::string(HostProgramDir()) + "\\plugcfg";
            return plugCfg_.c_str();
        }
        return HostProgramDir();
    }
    void SetPlugCfg(const char* dir) { plugCfg_ = dir ? dir : ""; }

private:
    std::string plugCfg_;
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

void HostSetPlugCfgDir(const char* directory) { g_interface.SetPlugCfg(directory); }
Interface* HostGetInterface() { return &g_interface; }
