#include "minihost/files/commit_gate.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_gate;
bool g_closed = false;
std::vector<std::string> g_committed;
// CommittedList of g_committed, kept ready for a fault handler; a list
// longer than this ends with how many there were.
char g_said[4096] = "nothing was written";

void Remember() {
    const std::string said = CommittedList(g_committed);
    if (said.size() < sizeof g_said) {
        std::snprintf(g_said, sizeof g_said, "%s", said.c_str());
        return;
    }
    const std::string tail = "... (" + std::to_string(g_committed.size()) + " files in all), nothing else";
    std::snprintf(g_said, sizeof g_said, "%.*s%s", int(sizeof g_said - 1 - tail.size()), said.c_str(), tail.c_str());
}

}  // namespace

bool CloseCommits() {
    const std::lock_guard<std::mutex> hold(g_gate);
    const bool was = g_closed;
    g_closed = true;
    return !was;
}

bool CommitsClosed() {
    const std::lock_guard<std::mutex> hold(g_gate);
    return g_closed;
}

const char* CloseCommitsAfterFault() {
    for (int waited = 0; waited < 1000; ++waited) {
        if (g_gate.try_lock()) {
            g_closed = true;
            g_gate.unlock();
            break;
        }
        Sleep(1);
    }
    return g_said;
}

CommitResult CommitThroughGate(const std::string& path, const std::function<bool()>& commit) {
    const std::lock_guard<std::mutex> hold(g_gate);
    if (g_closed) return CommitResult::kClosed;
    if (!commit()) return CommitResult::kFailed;
    g_committed.push_back(path);
    Remember();
    return CommitResult::kCommitted;
}

std::vector<std::string> CommittedFiles() {
    const std::lock_guard<std::mutex> hold(g_gate);
    return g_committed;
}

std::string CommittedList(const std::vector<std::string>& files) {
    if (files.empty()) return "nothing was written";
    std::string said = files.size() == 1 ? "wrote " + files[0] : "wrote " + std::to_string(files.size()) + " files: ";
    for (size_t i = 0; files.size() > 1 && i < files.size(); ++i) said += (i ? ", " : "") + files[i];
    return said + ", nothing else";
}
