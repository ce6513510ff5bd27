#include <windows.h>

#include <cstdio>
#include <cstring>

#include "hostlib/host_control.h"

// Fixed buffers rather than strings: nothing here may throw across the
// DLL's exports, and a path longer than the system's limit is refused, not cut.
namespace {

char g_programDir[MAX_PATH];
char g_settingsDir[MAX_PATH];

class HostInterfaceImpl : public Interface {
public:
    const char* DirectoryPath(int which) override {
        if (which != kSettingsDirCode) return HostProgramDir();
        if (!g_settingsDir[0]) std::snprintf(g_settingsDir, sizeof g_settingsDir, "%s\\settings", HostProgramDir());
        return g_settingsDir;
    }
};

HostInterfaceImpl g_interface;

}  // namespace

const char* HostProgramDir() {
    if (!g_programDir[0]) {
        char path[MAX_PATH];
        const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        char* slash = nullptr;
        if (n > 0 && n < MAX_PATH) {
            path[n] = '\0';
            for (char* c = path; *c; ++c)
                if (*c == '\\' || *c == '/') slash = c;
        }
        if (slash) {
            *slash = '\0';
            std::memcpy(g_programDir, path, static_cast<size_t>(slash - path) + 1);
        } else {
            std::strcpy(g_programDir, ".");
        }
    }
    return g_programDir;
}

bool HostSetSettingsDir(const char* directory) {
    const size_t n = directory ? std::strlen(directory) : 0;
    if (n >= sizeof g_settingsDir) return false;
    if (n) std::memcpy(g_settingsDir, directory, n + 1);
    else g_settingsDir[0] = '\0';
    return true;
}

Interface* HostGetInterface() { return &g_interface; }
