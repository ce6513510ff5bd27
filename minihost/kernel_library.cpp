#include "minihost/kernel_library.h"

#include <cstdio>

#include "library/filter_file.h"
#include "minihost/commands.h"
#include "minihost/paths.h"
#include "minihost/unicode.h"

namespace {
std::string g_settingsDir;
}

void SetSettingsDir(const std::string& dir) { g_settingsDir = dir; }

std::string SettingsDir() { return g_settingsDir.empty() ? ProgramDir() + "\\settings" : g_settingsDir; }

std::string KernelLibraryPath() { return Join(SettingsDir(), "VLM.SET"); }

std::vector<NamedKernel> ReadKernelLibrary() {
    const std::string path = KernelLibraryPath();
    std::FILE* file = OpenFile(path, L"rb");
    if (!file)
        throw CommandError{"no kernel library at " + path +
                           " (kernels are saved there from 'minihost setup'; --settings-dir DIR names another folder)"};
    std::vector<NamedKernel> kernels;
    NamedKernel entry{};
    char name[kNameBytes];
    // Each entry starts from the record before it, as the reader is defined.
    while (ReadFilterEntry(file, name, &entry.record)) {
        entry.name = name;
        kernels.push_back(entry);
    }
    std::fclose(file);
    return kernels;
}

int RunKernels(const std::vector<std::string>& args) {
    if (!args.empty()) throw CommandError{"kernels takes no arguments"};
    for (const NamedKernel& k : ReadKernelLibrary()) std::printf("%s\n", FromAnsi(k.name).c_str());
    return kExitDone;
}
