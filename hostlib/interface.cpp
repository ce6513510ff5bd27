#include <windows.h>

#include <cstring>
#include <string>

#include "hostlib/host_control.h"

namespace {

class HostInterfaceImpl : public Interface {
public:
    const char* GetDir(int which) override {
        if (which == APP_PLUGCFG_DIR) {
            if (plugCfg_.empty()) plugCfg_ = ProgramDir() + "\\plugcfg";
            return plugCfg_.c_str();
        }
        program_ = ProgramDir();
        return program_.c_str();
    }
    void SetPlugCfg(const char* dir) { plugCfg_ = dir ? dir : ""; }

private:
    static std::string ProgramDir() {
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string dir(path, n < MAX_PATH ? n : 0);
        const size_t slash = dir.find_last_of("\\/");
        return slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
    }
    std::string plugCfg_, program_;
};

HostInterfaceImpl g_interface;

}  // namespace

void HostSetPlugCfgDir(const char* directory) { g_interface.SetPlugCfg(directory); }
Interface* HostGetInterface() { return &g_interface; }
