#include <io.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>

#include "hostlib/host_control.h"
#include "minihost/cli/args.h"
#include "minihost/cli/commands.h"
#include "minihost/cli/frame_sequence.h"
#include "minihost/cli/skip_existing.h"
#include "minihost/files/commit_gate.h"
#include "minihost/files/file_identity.h"
#include "minihost/files/paths.h"
#include "minihost/files/unicode.h"
#include "minihost/formats/config_file.h"
#include "minihost/formats/kernel_text.h"
#include "minihost/formats/png_io.h"
#include "minihost/formats/tiff_io.h"
#include "minihost/runtime/batch_pipeline.h"
#include "minihost/runtime/held_frame.h"
#include "minihost/runtime/progress_window.h"
#include "minihost/runtime/stop.h"
#include "params/kernel_params.h"
#include "render/convolver.h"
#include "render/route_timing.h"
#include "render/tick_clock.h"

namespace {

const char kNeedsConfig[] =
    "render needs --config FILE: a new filter's kernel is all zeros and would make the frame black "
    "(make one with 'minihost config FILE --kernel NAME' or 'minihost setup FILE')";

// Where a run takes one channel's IDs from: one image for every frame, or
// one per frame, by the frame's file name, in a folder.
struct IdSource : IdChannel {
    const char* imageFlag;  // "--object-ids"
    const char* dirFlag;    // "--object-ids-dir"
    std::string image, dir;
};

struct RenderArgs {
    std::vector<std::string> inputs;     // frames, or folders of frames
    std::string out, outDir, config;
    std::string outPattern;  // --out: a numbered pattern
    std::string frames;      // --frames: the numbers of a pattern to take
    bool skipExisting = false;
    IdSource ids[2] = {{{"object", kObjectChannel, 16}, "--object-ids", "--object-ids-dir", {}, {}},
                       {{"material", kMaterialChannel, 8}, "--material-ids", "--material-ids-dir", {}, {}}};
    int abortAtLine = -1;
    bool time = false;
    bool sameIds = false;  // --same-ids: one ID image for every frame of a batch
    bool Batch() const { return !outDir.empty() || !outPattern.empty(); }
};

// render's options, each once: a frame list or folder given twice would
// leave the run to the last one, which a farm's task would take for done.
const std::vector<OptionSpec> kRenderOptions = {
    {"--config", "FILE"},          {"--object-ids", "IDS"},   {"--object-ids-dir", "DIR"},
    {"--material-ids", "IDS"},     {"--material-ids-dir", "DIR"}, {"--out-dir", "DIR"},
    {"--out", "PATTERN"},          {"--frames", "LIST"},      {"--abort-at-line", "N"},
    {"--skip-existing", nullptr},  {"--time", nullptr},       {"--same-ids", nullptr},
};

RenderArgs Parse(const std::vector<std::string>& args) {
    const ParsedArgs parsed(args, kRenderOptions, "render");
    RenderArgs r;
    r.config = parsed.Value("--config");
    for (IdSource& id : r.ids) {
        id.image = parsed.Value(id.imageFlag);
        id.dir = parsed.Value(id.dirFlag);
    }
    r.outDir = parsed.Value("--out-dir");
    if (parsed.Has("--abort-at-line")) {
        r.abortAtLine = ParseInt32(parsed.Value("--abort-at-line"), "--abort-at-line");
        if (r.abortAtLine < 0) throw CommandError{"--abort-at-line: give a line number from 0"};
    }
    r.time = parsed.Has("--time");
    r.outPattern = parsed.Value("--out");
    r.frames = parsed.Value("--frames");
    r.skipExisting = parsed.Has("--skip-existing");
    r.sameIds = parsed.Has("--same-ids");
    const std::vector<std::string>& files = parsed.Words();
    for (const IdSource& id : r.ids)
        if (!id.image.empty() && !id.dir.empty())
            throw CommandError{std::string("render: give ") + id.imageFlag + " or " + id.dirFlag + ", not both"};
    if (!r.outPattern.empty() && !r.outDir.empty()) throw CommandError{"render: give --out PATTERN or --out-dir DIR, not both"};
    if (r.Batch()) {
        if (files.empty()) throw CommandError{"render --out-dir needs at least one frame or folder of frames"};
        r.inputs = files;
    } else {
        if (files.size() != 2) throw CommandError{"render needs IN.png and OUT.png, or frames and --out-dir DIR"};
        for (const IdSource& id : r.ids)
            if (!id.dir.empty())
                throw CommandError{std::string(id.dirFlag) + " is for a batch with --out-dir; for one frame give " +
                                   id.imageFlag + " IDS.png"};
        r.inputs = {files[0]};
        r.out = files[1];
        if (!r.out.empty() && (r.out.back() == '/' || r.out.back() == '\\'))
            throw CommandError{"render: " + r.out + " names a folder; give OUT.png a file name, or --out-dir DIR"};
    }
    if (r.sameIds && !r.Batch())
        throw CommandError{"--same-ids is for a batch (--out-dir or --out) given one --object-ids or --material-ids "
                           "image"};
    if (r.config.empty()) throw CommandError{kNeedsConfig};
    return r;
}

const OutputKind& OutputKindOf(const std::string& out) { return IsTiffName(out) ? kTiffOutput : kPngOutput; }

bool AnyFile(const std::string&) { return true; }
const OutputKind kAnyKind = {"a file", AnyFile};

// With --skip-existing a batch goes on past an output it may not replace (a
// file of another kind, which a tool of another kind may have left): each
// such frame's failure, in the jobs' order; empty where it may.
std::vector<std::string> OutputRefusals(const std::vector<FrameJob>& jobs) {
    std::vector<std::string> refusals;
    for (const FrameJob& job : jobs) {
        const OutputKind& kind = OutputKindOf(job.out);
        refusals.push_back(Exists(job.out) && !kind.holds(job.out) ? job.out + " exists and is not " + kind.name +
                                                                 ", so it is left as it is and " + job.in +
                                                                 " is not filtered"
                                                           : "");
    }
    return refusals;
}

// Refuses, before anything is written, a run that would write over one of
// its own inputs (a frame, an ID image or the configuration), anything the
// guard keeps, or one file twice.
void CheckOutputs(const RenderArgs& r, const std::vector<FrameJob>& jobs) {
    OutputGuard guard = HostGuard("render");
    guard.Keep(r.config, "configuration");
    for (const IdSource& id : r.ids) guard.Keep(id.image, std::string(id.imageFlag) + " image");
    for (const FrameJob& job : jobs) {
        guard.Keep(job.in, "input frame");
        for (const IdImage& id : job.ids) guard.Keep(id.path, std::string(id.option ? id.option : "") + " image");
    }
    if (!r.outDir.empty()) {
        FileId outDir;
        if (guard.Identify(r.outDir, &outDir)) {
            std::vector<std::pair<std::string, std::string>> folders;
            for (const IdSource& id : r.ids) folders.push_back({id.dir, id.dirFlag});
            for (const std::string& input : r.inputs)
                if (IsFolder(input)) folders.push_back({input, "input"});
            for (const auto& folder : folders) {
                FileId id;
                if (!folder.first.empty() && guard.Identify(folder.first, &id) && id == outDir)
                    throw CommandError{"render: --out-dir " + r.outDir + " is the " + folder.second + " folder " +
                                       folder.first + "; the frames written there would replace what it holds"};
            }
        }
    }
    std::map<std::wstring, const FrameJob*> outputs;  // the name Windows makes -> the frame written there
    for (const FrameJob& job : jobs) {
        // A re-run's output of another kind fails its frame alone (OutputRefusals).
        guard.Check(job.out, r.skipExisting && r.Batch() ? kAnyKind : OutputKindOf(job.out));
        const auto taken = outputs.emplace(NameKey(job.out), &job);
        if (!taken.second) {
            const std::string& first = taken.first->second->in;
            FileId a, b;
            if (first == job.in || NameKey(first) == NameKey(job.in) ||
                (guard.Identify(first, &a) && guard.Identify(job.in, &b) && a == b))
                throw CommandError{"render: the frame " + job.in + " is given twice" +
                                   (first == job.in ? "" : " (also as " + first + ")") + "; give each frame once"};
            throw CommandError{first + " and " + job.in + " would both be written as " + job.out};
        }
    }
}

// Which path and instruction set VLM.FLT's engine takes for the filter's
// configuration on this processor, and why. minihost holds the same engine,
// compiled from the same sources with the same flags, and chooses as the
// plug-in does: by timing the candidates on the frame's first lines once for
// each kind of kernel and width, remembered for the run (the plug-in keeps
// no record of a render, so this timing is minihost's own).
std::string EnginePath(ImageFilter& filter, const HeldFrame& held, std::string* why) {
    KernelParams p;
    if (filter.EvaluateConfigure() != sizeof p || !filter.SaveConfigure(&p)) return "unknown";
    int32_t block[kGridCells];
    if (!IsKernelSize(p.kernel.kernelSize)) return "none (nothing to convolve)";
    ExtractKernel(p.kernel.weights, p.kernel.kernelSize, block);
    BitmapStorage& storage = *held.storage;
    const int width = int(storage.Width()), height = int(storage.Height());
    const KernelArgs kernel{block, p.kernel.kernelSize, p.kernel.divide, p.kernel.offset, p.kernel.invert};
    std::vector<std::vector<BMM_Color_64>> lines;
    const FrameRoute route = RouteForFrame(
        kernel, width, height,
        [&](int j) -> const BMM_Color_64* {
            lines.emplace_back(size_t(width));
            return storage.ReadLine(0, j, width, lines.back().data()) ? lines.back().data() : nullptr;
        },
        &TimeStampTicks, ModuleRouteMemo());
    Convolver engine;
    if (!engine.Prepare(kernel, width, height, route.options)) return "none (nothing to convolve)";
    *why = route.why;
    return std::string(PathName(engine.path())) + ", " + SimdName(engine.simd());
}

// Says what was written, on the batch's thread and in frame order.
void PrintWritten(const FrameJob& job, const HeldFrame& held, ProgressWindow& progress) {
    progress.EndBar();
    std::printf("wrote %s, %llu bytes: %s filtered\n", job.out.c_str(), (unsigned long long)FileSize(job.out),
                held.filtered.c_str());
    std::fflush(stdout);
}

void PrintTime(ImageFilter& filter, const FrameJob& job, const HeldFrame& held, bool batch) {
    if (batch) std::printf("render-ms %.3f %s\n", held.renderMs, FileName(job.in).c_str());
    else std::printf("render-ms %.3f\n", held.renderMs);
    std::string why;
    std::printf("render-path %s\n", EnginePath(filter, held, &why).c_str());
    if (!why.empty()) std::printf("render-route %s\n", why.c_str());
}

// The ID options a run's configuration does not use are said once, not read.
void WarnUnused(const std::string& given, const char* option, const std::string& why) {
    if (!given.empty()) std::fprintf(stderr, "minihost: warning: %s is not used: %s\n", option, why.c_str());
}

// The run's one filter, configured once for every frame; a configuration
// the plug-in would ignore is refused before any frame is read.
ImageFilterPtr ConfiguredFilter(LoadedPlugin& plugin, const RenderArgs& r, KernelParams* params) {
    std::string error;
    ImageFilterPtr filter(plugin.CreateFilter(&error));
    if (!filter) throw CommandError{error};
    LoadConfigFile(*filter, r.config);
    *params = DefaultParams();
    if (filter->EvaluateConfigure() == sizeof *params && filter->SaveConfigure(params)) {
        const std::string ignored = IgnoredField(*params);
        if (!ignored.empty())
            throw CommandError{r.config + ": " + ignored + "; remake it with 'minihost config' or 'minihost setup'"};
    }
    return filter;
}

// Which of the two ID sources the filter selects by; one it needs must be
// given, and one it does not use is said once and never read.
std::array<bool, 2> IdsUsed(const RenderArgs& r, uint32_t wanted) {
    std::array<bool, 2> used{};
    for (int i = 0; i < 2; ++i) {
        const IdSource& id = r.ids[i];
        used[i] = (wanted & id.channel) != 0;
        if (used[i] && id.image.empty() && id.dir.empty())
            throw CommandError{r.config + " filters only pixels of one " + id.what + " ID: give " +
                               (r.Batch() ? id.dirFlag + std::string(" DIR") : id.imageFlag + std::string(" IDS.png"))};
        if (!used[i]) {
            const std::string why = std::string("the configuration does not select by ") + id.what + " ID";
            WarnUnused(id.image, id.imageFlag, why);
            WarnUnused(id.dir, id.dirFlag, why);
        }
    }
    return used;
}

// Each frame of a batch has IDs of its own; one image given for them all
// would select in every frame by the first one's, so it is taken only when
// asked for (--same-ids).
void RefuseOneIdImage(const RenderArgs& r, const std::array<bool, 2>& used, bool sequence) {
    if (!r.Batch() || r.sameIds) return;
    for (int i = 0; i < 2; ++i) {
        const IdSource& id = r.ids[i];
        FramePattern pattern;
        if (!used[i] || id.image.empty() || IsFramePattern(id.image, &pattern, id.imageFlag)) continue;
        const std::string own = sequence ? std::string(id.imageFlag) + " ids.####.png (the pattern of the frames' own)"
                                         : std::string(id.dirFlag) + " DIR (each frame's by its name)";
        throw CommandError{std::string(id.imageFlag) + " " + id.image + " is one image for every frame of the batch: "
                           "give " + own + ", or --same-ids to take this one for every frame"};
    }
}

std::vector<FrameJob> MakeJobs(const RenderArgs& r, const std::vector<SequenceFrame>& frames,
                               const std::array<bool, 2>& used, const KernelParams& params) {
    FramePattern outPattern, idPatterns[2];
    const bool outNumbered = IsFramePattern(r.outPattern, &outPattern, "--out");
    if (!r.outPattern.empty() && !outNumbered)
        throw CommandError{"--out " + r.outPattern + ": give a numbered pattern (out/graded.####.png); for one frame "
                           "give IN OUT"};
    bool idNumbered[2];
    for (int i = 0; i < 2; ++i) {
        idNumbered[i] = used[i] && IsFramePattern(r.ids[i].image, &idPatterns[i], r.ids[i].imageFlag);
        if ((idNumbered[i] || outNumbered) && !frames.empty() && !frames[0].numbered)
            throw CommandError{std::string(idNumbered[i] ? r.ids[i].imageFlag : "--out") +
                               " is a numbered pattern: give the frames as one too (shot.####.png)"};
    }
    std::vector<FrameJob> jobs;
    for (const SequenceFrame& frame : frames) {
        const std::string& in = frame.path;
        FrameJob job;
        job.in = in;
        // The name Windows will give the input, not its spelling: "a.png."
        // is a.png, and so is its output.
        const std::string name = ResolvedName(in);
        job.out = outNumbered   ? FramePathLike(outPattern, frame.number, frame.digits)
                  : r.Batch() ? Join(r.outDir, name)
                              : r.out;
        for (int i = 0; i < 2; ++i) {
            const IdSource& id = r.ids[i];
            if (!used[i]) continue;
            job.ids[i] = idNumbered[i] ? IdImage{&id, FramePathLike(idPatterns[i], frame.number, frame.digits),
                                                 id.imageFlag}
                         : id.dir.empty() ? IdImage{&id, id.image, id.imageFlag}
                                          : IdImage{&id, Join(id.dir, name), id.dirFlag};
            job.ids[i].wanted = id.channel == kObjectChannel ? params.objectId : params.materialId;
        }
        jobs.push_back(job);
    }
    return jobs;
}

void MakeOutDir(const std::string& outDir, const std::string& option = "--out-dir") {
    if (IsFolder(outDir)) return;
    if (Exists(outDir))
        throw CommandError{option + " " + outDir + " is a file, not a folder: name a folder (it is made when missing)"};
    // Another task of the same sequence may make it first.
    const std::wstring name = SystemPath(outDir);
    if (!CreateDirectoryW(name.c_str(), nullptr) && !IsFolder(outDir)) {
        const DWORD why = GetLastError();
        throw CommandError{option + " " + outDir + ": cannot create the folder: " +
                           (why == ERROR_PATH_NOT_FOUND ? std::string("the folder it goes in does not exist")
                                                        : OpenFailureReason(EACCES))};
    }
}

// One frame alone. Ctrl-C or Ctrl-Break leaves the output as it was, up to
// the commit; --abort-at-line writes the frame as the plug-in gave it back,
// which shows the plug-in's stop.
int RenderSingle(ImageFilter& filter, const RenderArgs& r, const FrameJob& job, ProgressWindow& progress) {
    progress.BeginFrame(0, 1);
    const std::unique_ptr<HeldFrame> held = LoadFrame(job);
    const RenderResult result = RenderHeld(filter, job, *held, progress, true);
    const int line = progress.StoppedAt();
    progress.EndBar();
    if (result == RenderResult::kStopped && progress.StoppedByCtrlC()) {
        const std::string at = line == 0 ? "before its first line" : "at line " + std::to_string(line);
        SayStopLine("minihost: render stopped by " + std::string(StopKey()) + " " + at + "; " + job.out +
                    " was not written\n");
        return kExitStopped;
    }
    StopPoint();
    WriteHeld(job, *held);
    if (result == RenderResult::kDone) {
        PrintWritten(job, *held, progress);
    } else {
        const std::string wrote = "wrote " + job.out + ", " + std::to_string(FileSize(job.out)) + " bytes: ";
        if (line == 0)
            std::fprintf(stderr, "minihost: render stopped before its first line by --abort-at-line 0; %sthe frame "
                                 "unfiltered\n", wrote.c_str());
        else
            std::fprintf(stderr, "minihost: render stopped at line %d by --abort-at-line %d; %slines 0 to %d "
                                 "filtered, lines %d on as read\n", line, r.abortAtLine, wrote.c_str(), line - 1, line);
    }
    if (r.time) PrintTime(filter, job, *held, false);
    return result == RenderResult::kDone ? kExitDone : kExitStopped;
}

// A frame that fails is reported by name and the others still go through;
// a stop leaves no partial frame, only whole ones.
// missing frames of the list count as failed, said before.
int RenderBatch(ImageFilter& filter, const RenderArgs& r, const std::vector<FrameJob>& jobs,
                const std::vector<std::string>& refusals, int missing, ProgressWindow& progress) {
    const int count = static_cast<int>(jobs.size());
    BatchStages stages;
    stages.decode = [&](int i) {
        if (!refusals[i].empty()) throw CommandError{refusals[i]};
        return LoadFrame(jobs[i]);
    };
    stages.render = [&](int i, HeldFrame& held, bool alone) {
        progress.BeginFrame(i, count);
        return RenderHeld(filter, jobs[i], held, progress, alone);
    };
    stages.encode = [&](int i, const HeldFrame& held) { WriteHeld(jobs[i], held); };
    stages.written = [&](int i, const HeldFrame& held) {
        PrintWritten(jobs[i], held, progress);
        if (r.time) PrintTime(filter, jobs[i], held, true);
    };
    stages.failed = [&](int i, std::exception_ptr thrown) {
        auto fail = [&](const std::string& why) {
            progress.EndBar();
            // Named once: most reasons name the frame already.
            if (why.find(jobs[i].in) != std::string::npos) std::fprintf(stderr, "minihost: %s\n", why.c_str());
            else std::fprintf(stderr, "minihost: %s: %s\n", FileName(jobs[i].in).c_str(), why.c_str());
        };
        fail(ErrorText(thrown, jobs[i].in));
    };
    const BatchOutcome outcome = RunBatch(count, stages);
    const int failed = outcome.failed + missing;
    const int listed = count + missing;
    if (outcome.stoppedFrame >= 0) {
        const int i = outcome.stoppedFrame;
        progress.EndBar();
        std::string failures;
        if (failed) failures = "; " + std::to_string(failed) + " of " + std::to_string(listed) + " frames failed";
        const std::string by = progress.StoppedByCtrlC() ? StopKey() : "--abort-at-line " + std::to_string(r.abortAtLine);
        // Exactly the files committed before the stop: the gate closed on it.
        const std::vector<std::string> written = CommittedFiles();
        std::string list;
        for (const std::string& file : written) list += (list.empty() ? ": " : ", ") + file;
        SayStopLine("minihost: render stopped at line " + std::to_string(progress.StoppedAt()) + " of " + jobs[i].in +
                    " (by " + by + "), which was not written; " + std::to_string(written.size()) + " of " +
                    std::to_string(count) + " frames written" + list + failures + "\n");
        return kExitStopped;
    }
    progress.EndBar();
    if (failed) {
        std::fprintf(stderr, "minihost: %d of %d frames failed\n", failed, listed);
        return kExitError;
    }
    return kExitDone;
}

}  // namespace

int RunRender(LoadedPlugin& plugin, const std::vector<std::string>& args) {
    const RenderArgs r = Parse(args);
    if (!r.Batch() && IsFolder(r.inputs[0]))
        throw CommandError{r.inputs[0] + " is a folder: to filter the frames in it, give --out-dir DIR instead of " +
                           r.out};
    if (!r.Batch() && IsFolder(r.out))
        throw CommandError{r.out + " is a folder: give an output file name, or --out-dir DIR for a batch"};
    FramePattern pattern;
    const bool numbered = IsFramePattern(r.inputs[0], &pattern, "");
    if (numbered && !r.Batch())
        throw CommandError{r.inputs[0] + " is a numbered pattern: give --out-dir DIR or --out PATTERN instead of " +
                           r.out};
    if (numbered && r.inputs.size() > 1)
        throw CommandError{"render: give one numbered pattern (" + r.inputs[0] + ") and nothing else to filter"};
    if (!numbered && !r.frames.empty())
        throw CommandError{"--frames takes the numbers of a pattern: give the frames as shot.####.png"};
    std::vector<int32_t> missing;
    const std::vector<SequenceFrame> frames = numbered    ? ListSequence(r.inputs[0], pattern, r.frames, &missing)
                                              : r.Batch() ? ListFrames(r.inputs)
                                                          : std::vector<SequenceFrame>{FileFrame(r.inputs[0])};
    if (!missing.empty()) {
        std::fprintf(stderr, "minihost: %s: %s\n", r.inputs[0].c_str(), FramesText(missing, "missing").c_str());
        if (frames.empty()) return kExitError;
    }

    KernelParams params;
    const ImageFilterPtr filter = ConfiguredFilter(plugin, r, &params);
    const std::array<bool, 2> used = IdsUsed(r, filter->ChannelsRequired());
    std::vector<FrameJob> jobs = MakeJobs(r, frames, used, params);
    CheckOutputs(r, jobs);
    RefuseOneIdImage(r, used, numbered);
    if (r.skipExisting) {
        int skipped = 0;
        jobs = WithoutWholeOutputs(jobs, &skipped);
        if (skipped) std::printf("skipped %d of %d frames: their outputs are already whole\n", skipped, skipped + int(jobs.size()));
        std::fflush(stdout);
        if (jobs.empty()) return missing.empty() ? kExitDone : kExitError;
    }
    const std::vector<std::string> refusals =
        r.skipExisting && r.Batch() ? OutputRefusals(jobs) : std::vector<std::string>(jobs.size());
    if (!r.outDir.empty()) MakeOutDir(r.outDir);
    if (!r.outPattern.empty() && !FileName(r.outPattern).empty()) {
        const std::string folder = r.outPattern.substr(0, r.outPattern.size() - FileName(r.outPattern).size());
        if (!folder.empty()) MakeOutDir(folder, "--out");
    }

    ProgressWindow progress(r.abortAtLine, _isatty(_fileno(stderr)) != 0);
    if (!progress.Ok()) throw CommandError{"cannot create the progress window"};
    return r.Batch() ? RenderBatch(*filter, r, jobs, refusals, int(missing.size()), progress) : RenderSingle(*filter, r, jobs[0], progress);
}
