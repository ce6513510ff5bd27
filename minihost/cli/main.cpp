// minihost: a small stand-in for the rendering host. It loads VLM.FLT the way
// the host does, by ordinal, and drives it from the command line.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/files/commit_gate.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/kernel_library.h"
#include "minihost/formats/kernel_text.h"
#include "minihost/runtime/fault.h"
#include "minihost/runtime/stop.h"

namespace {

const char kUsage[] =
    "usage: minihost [--plugin PATH] [--settings-dir DIR] COMMAND [ARGS]\n"
    "commands:\n"
    "  info                      describe the plug-in and a new filter\n"
    "  about                     open the About box; exit status 1 for OK, 0 for Escape or close\n"
    "  render IN OUT --config FILE [--object-ids IDS] [--material-ids IDS] [--skip-existing]\n"
    "         [--abort-at-line N] [--time]\n"
    "                            filter a frame (8/16-bit RGB(A) PNG or TIFF) into a 16-bit RGBA PNG,\n"
    "                            or a 16-bit TIFF in the input's layout when OUT ends in .tif/.tiff;\n"
    "                            object IDs: 16-bit grey, material IDs: 8-bit grey (PNG or TIFF)\n"
    "  render FRAME|FOLDER... --out-dir DIR --config FILE [--object-ids-dir DIR]\n"
    "         [--material-ids-dir DIR] [--skip-existing] [--abort-at-line N] [--time]\n"
    "                            filter a batch with one filter; each frame's ID image has the\n"
    "                            frame's file name; a failed frame is reported and skipped (status 2)\n"
    "  render SHOT.####.png (--out-dir DIR | --out OUT.####.png) --config FILE [--frames LIST]\n"
    "         [--object-ids IDS.####.png] [--material-ids IDS.####.png] [--skip-existing] ...\n"
    "                            a numbered sequence in frame order: #### or %04d pads to 4 digits,\n"
    "                            # or %d is unpadded, %% is a percent sign; --frames 101-150, 1-240x2\n"
    "                            or 1,5,9-12 takes those numbers only (at most 1000000; the missing\n"
    "                            ones fail, said as ranges in one line); ID images and outputs of\n"
    "                            the same number\n"
    "  --same-ids                a batch takes one --object-ids/--material-ids image for every frame;\n"
    "                            without it one image (not a pattern) for a batch is refused\n"
    "  --skip-existing           leave an output that decodes whole at its input's size (a PNG or\n"
    "                            TIFF of its width and height) and say how many; an empty, cut or\n"
    "                            other-sized output is filtered again; a file of another kind at an\n"
    "                            output's name fails that frame alone (status 2)\n"
    "                            a TIFF with associated alpha is written only as TIFF: PNG's alpha is\n"
    "                            straight, so a .png output of one fails that frame\n"
    "  config FILE [--kernel NAME | --row \"a b c\"...] [--divide N] [--offset N] [--invert 0|1]\n"
    "         [--source whole|material|object] [--object-id 0..65535] [--material-id 0..15]\n"
    "         [--name TEXT]\n"
    "                            write a 612-byte filter configuration; --kernel takes a kernel\n"
    "                            saved in VLM.SET; --source material or object needs its ID\n"
    "  kernels [--long]          list the names of the kernels saved in VLM.SET; --long prints each\n"
    "                            as show does\n"
    "  show CONFIG               print a configuration: source and ID, the grid, Divide, Offset,\n"
    "                            Invert and name\n"
    "  sheet FRAME.png OUT.png [--crop X,Y,W,H | --detail]\n"
    "                            FRAME and every kernel of VLM.SET applied to it, as a grid of\n"
    "                            labelled tiles in an 8-bit PNG (OUT must end in .png); --crop and\n"
    "                            --detail draw one region of the frame (--detail: its most\n"
    "                            detailed) at full size\n"
    "  setup CONFIG              open the control dialog on CONFIG (a missing file starts from the\n"
    "                            defaults); OK writes CONFIG, Cancel leaves it as it was\n"
    "every option is given once, but --row, which repeats; an empty value is refused\n"
    "exit status:\n"
    "  0  everything asked was written\n"
    "  2  an error, said in one line; in a batch, some frames failed and the others were written\n"
    "  3  the plug-in, the host library or minihost itself faulted (said in one line, naming which);\n"
    "     nothing more was written\n"
    "  4  stopped (Ctrl-C, Ctrl-Break, --abort-at-line)\n"
    "  5  setup cancelled\n"
    "  about: 1 closed with OK, 0 with Escape\n";

using PluginCommandFn = int (*)(LoadedPlugin&, const std::vector<std::string>&);
using PlainCommandFn = int (*)(const std::vector<std::string>&);

// Each command runs with the plug-in loaded or without it: one of the two is set.
struct Command {
    const char* name;
    PluginCommandFn withPlugin;
    PlainCommandFn plain;
};

const Command kCommands[] = {
    {"info", RunInfo, nullptr},     {"about", RunAbout, nullptr},     {"render", RunRender, nullptr},
    {"config", nullptr, RunConfig}, {"kernels", nullptr, RunKernels}, {"setup", RunSetup, nullptr},
    {"show", nullptr, RunShow},     {"sheet", RunSheet, nullptr},
};

int Run(const Command& chosen, const std::vector<std::string>& rest) {
    if (chosen.plain) return chosen.plain(rest);
    LoadedPlugin plugin;
    std::string error;
    if (!plugin.Load(PluginPath(), &error)) throw CommandError{error};
    return chosen.withPlugin(plugin, rest);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "minihost: %s\n", message.c_str());
    return kExitError;
}

}  // namespace

// The command line comes as UTF-16, so that every name arrives as typed and
// none through the ANSI code page's look-alikes; minihost keeps it as UTF-8.
int wmain(int argc, wchar_t** wargv) {
    CatchFaults();
    CatchStops();
    const Utf8Console console;
    std::vector<std::string> argv(argc > 0 ? size_t(argc) : 0);
    for (int i = 1; i < argc; ++i)
        if (!ToUtf8(wargv[i], &argv[i]))
            return Fail("argument " + std::to_string(i) + " is not valid Unicode (a lone surrogate)");
    HostOptions options;
    std::string command;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" || arg == "--settings-dir") {
            if (i + 1 >= argc) return Fail(arg + " needs a value");
            std::string& value = arg == "--plugin" ? options.pluginPath : options.settingsDir;
            if (!value.empty()) return Fail(RepeatedOption("minihost", arg));
            value = argv[++i];
            if (value.empty()) return Fail(EmptyValue("minihost", arg, arg == "--plugin" ? "PATH" : "DIR"));
        } else if (arg == "--help" || arg == "-h" || (command.empty() && arg == "help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (command.empty()) {
            command = arg;
        } else {
            rest.push_back(arg);
        }
    }
    if (command.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    const Command* chosen = nullptr;
    for (const Command& c : kCommands)
        if (command == c.name) chosen = &c;
    if (!chosen) return Fail("unknown command '" + Shown(command) + "' (try --help)");

    SetSettingsDir(options.settingsDir);
    SetPluginPath(options.pluginPath);

    const std::string missing = MissingHostLibrary();
    if (!missing.empty()) return Fail(missing);
    int status;
    const FaultScope scope("the " + command + " command");
    try {
        status = Run(*chosen, rest);
    } catch (const Stopped&) {
        status = kExitError;
    } catch (const CommandError& e) {
        // A stop that ended the command in an error says so instead.
        if (StopRequested()) status = kExitError;
        else return Fail(e.message);
    } catch (...) {
        // Nothing may end the program without its one line and status.
        return Fail(ErrorText(std::current_exception(), "this " + command));
    }
    // A stop is never a success, whenever it came; a command that said what
    // its stop left has said all.
    if (StopRequested() && status != kExitStopped) {
        SayStopLine("minihost: " + command + " stopped by " + StopKey() + "; " + CommittedList(CommittedFiles()) + "\n");
        return kExitStopped;
    }
    return status;
}
