// "setup CONFIG": the control dialog as the host shows it, on a configuration
// kept in a file.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "hostlib/host_control.h"
#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/files/paths.h"
#include "minihost/files/temp_file.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/config_file.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/runtime/fault.h"
#include "minihost/runtime/stop.h"

namespace {

enum class Existing { kMissing, kPresent };

Existing Probe(const std::string& path) {
    const std::wstring name = SystemPath(path);
    if (name.empty()) throw CommandError{path + ": the path is longer than Windows allows"};
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD why = GetLastError();
        if (why == ERROR_FILE_NOT_FOUND) return Existing::kMissing;
        if (why == ERROR_PATH_NOT_FOUND)
            throw CommandError{"cannot write " + path + ": the folder it goes in does not exist"};
        if (why == ERROR_ACCESS_DENIED) throw CommandError{"cannot reach " + path + ": " + OpenFailureReason(EACCES)};
        throw CommandError{"cannot reach " + path + " (Windows error " + std::to_string(why) + ")"};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw CommandError{path + " is a directory"};
    return Existing::kPresent;
}

// The new bytes go to a temporary beside CONFIG first and replace it in one
// move, so a failed write leaves the old configuration whole.
class Replacement {
public:
    explicit Replacement(const std::string& path) : path_(path) {}

    // Made before the dialog opens, so edits are never made in vain.
    void Reserve() {
        std::string reason;
        if (!temp_.Create(path_, &reason)) throw CommandError{"cannot write " + path_ + ": " + reason};
    }

    void Commit(const std::vector<unsigned char>& bytes) {
        std::string reason = "the disk did not take it whole";
        if (std::fwrite(bytes.data(), 1, bytes.size(), temp_.Stream()) != bytes.size() || !temp_.Commit(&reason))
            throw CommandError{"cannot write " + path_ + " (" + reason + "); it was left as it was"};
    }

private:
    std::string path_;
    TempFile temp_;
};

// The plug-in names its library file in the ANSI code page, within 260
// characters, as the host it stands in for does; a folder whose name the
// code page cannot hold is given by its short name, where it has one.
bool NameForPlugin(const std::string& dir) {
    std::string ansi;
    if (ToAnsi(dir, &ansi) && HostSetSettingsDir(ansi.c_str())) return true;
    wchar_t shortName[MAX_PATH];
    const DWORD n = GetShortPathNameW(SystemPath(dir).c_str(), shortName, MAX_PATH);
    return n > 0 && n < MAX_PATH && ToAnsi(Utf8(shortName), &ansi) && HostSetSettingsDir(ansi.c_str());
}

}  // namespace

int RunSetup(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    const std::vector<std::string> words = ParsedArgs(args, {}, "setup").Words();
    if (words.size() != 1 || words[0].empty()) throw CommandError{"setup takes one CONFIG file"};
    const std::string& path = words[0];
    // Save in the dialog appends to the library file, whose folder it does
    // not make; only this command needs it, so only this command makes it.
    // Named before the filter is made, which takes the library path then.
    const std::string settings = SettingsDir();
    CreateDirectoryW(SystemPath(settings).c_str(), nullptr);
    if (!NameForPlugin(settings))
        throw CommandError{"the settings folder " + settings +
                           " cannot be named to the plug-in, which takes a path of the ANSI code page of at most " +
                           std::to_string(MAX_PATH - 1) + " characters (give another with --settings-dir DIR)"};
    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    HostGuard("setup").Check(path, kConfigOutput);
    if (Probe(path) == Existing::kPresent) LoadConfigFile(*filter, path);

    Replacement out(path);
    out.Reserve();
    StopPoint();
    int result;
    {
        const FaultScope scope("the control dialog");
        result = filter->ShowControl(nullptr);
    }
    if (result < 0) throw CommandError{"the control dialog could not be opened (is there a display?)"};
    if (result == 0) return kExitCancelled;

    std::vector<unsigned char> bytes(filter->EvaluateConfigure());
    if (!filter->SaveConfigure(bytes.data())) throw CommandError{"the filter gave no configuration"};
    StopPoint();
    out.Commit(bytes);
    return 0;
}
