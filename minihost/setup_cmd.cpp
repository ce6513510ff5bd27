// "setup CONFIG": the control dialog as the host shows it, on a configuration
// kept in a file.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "hostlib/host_control.h"
#include "minihost/commands.h"
#include "minihost/config_file.h"

namespace {

enum class Existing { kMissing, kPresent };

Existing Probe(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return Existing::kMissing;
        throw CommandError{"cannot reach " + path + " (error " + std::to_string(GetLastError()) + ")"};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw CommandError{path + " is a directory"};
    return Existing::kPresent;
}

// The new bytes go to a file beside CONFIG first and replace it in one move,
// so a failed write leaves the old configuration whole.
class Replacement {
public:
    explicit Replacement(const std::string& path) : path_(path), temp_(path + ".part") {}
    ~Replacement() {
        if (!done_) DeleteFileA(temp_.c_str());
    }

    // Checked before the dialog opens, so edits are never made in vain.
    void Reserve() {
        HANDLE h =
            CreateFileA(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) throw CommandError{"cannot write beside " + path_};
        CloseHandle(h);
    }

    void Commit(const std::vector<unsigned char>& bytes) {
        ReplaceFile(path_, bytes.data(), bytes.size());
        done_ = true;
    }

private:
    std::string path_, temp_;
    bool done_ = false;
};

}  // namespace

int RunSetup(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw CommandError{"setup takes one CONFIG file"};
    const std::string& path = args[0];
    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    if (Probe(path) == Existing::kPresent) LoadConfigFile(*filter, path);

    Replacement out(path);
    out.Reserve();
    // Save in the dialog appends to the library file, whose folder it does
    // not make; only this command needs it, so only this command makes it.
    CreateDirectoryA(HostGetInterface()->DirectoryPath(kSettingsDirCode), nullptr);
    const int result = filter->ShowControl(nullptr);
    if (result < 0) throw CommandError{"the control dialog could not be opened (is there a display?)"};
    if (result == 0) return kExitCancelled;

    std::vector<unsigned char> bytes(filter->EvaluateConfigure());
    if (!filter->SaveConfigure(bytes.data())) throw CommandError{"the filter gave no configuration"};
    out.Commit(bytes);
    return 0;
}
