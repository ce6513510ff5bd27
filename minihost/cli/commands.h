#pragma once
#include <string>
#include <vector>

#include "minihost/files/error.h"
#include "minihost/files/output_guard.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/runtime/plugin_loader.h"

// Options every command shares; each command parses the rest itself.
struct HostOptions {
    std::string pluginPath;
    std::string settingsDir;
};

// Exit statuses. 3 is left out: it is what abort() leaves on Windows.
constexpr int kExitDone = 0;
constexpr int kExitError = 2;
// 3, a fault: minihost/runtime/fault.h
constexpr int kExitStopped = 4;    // stopped: Ctrl-C, or a render by --abort-at-line
constexpr int kExitCancelled = 5;  // setup closed with Cancel

// The guard of a command that writes, keeping already what the host is made
// of: minihost.exe, HOSTLIB.DLL, the plug-in and the kernel library in use.
OutputGuard HostGuard(const std::string& command);

// Loads HOSTLIB.DLL, which minihost.exe takes by delay-load: empty when it
// is there, else the one line that says where it must be.
std::string MissingHostLibrary();

// Says the library's damaged entries on stderr: the first few in full, then
// how many more, so that a file of random bytes does not bury the output.
class EntryWarnings {
public:
    void Check(const NamedKernel& k, size_t index);
    void Finish();

private:
    int said_ = 0, unsaid_ = 0;
};

int RunInfo(LoadedPlugin& plugin, const std::vector<std::string>& args);
int RunAbout(LoadedPlugin& plugin, const std::vector<std::string>& args);
int RunRender(LoadedPlugin& plugin, const std::vector<std::string>& args);
int RunConfig(const std::vector<std::string>& args);
int RunKernels(const std::vector<std::string>& args);
int RunSetup(LoadedPlugin& plugin, const std::vector<std::string>& args);
int RunShow(const std::vector<std::string>& args);
int RunSheet(LoadedPlugin& plugin, const std::vector<std::string>& args);
