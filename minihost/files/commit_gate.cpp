#include "minihost/files/commit_gate.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_gate;
bool g_closed = false;
WrittenRecord g_committed;
// What a fault handler prints: kept here, since the gate may not be had.
char g_said[4096 + 128];
bool g_counting = false;
size_t g_told = 0;

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
    // Said from the record as it stands: a commit it could not wait for has
    // either added its file whole or not begun to.
    g_committed.Say(g_said, sizeof g_said);
    return g_said;
}

void CountToldFiles() {
    const std::lock_guard<std::mutex> hold(g_gate);
    g_counting = true;
}

void ToldCommitted() {
    const std::lock_guard<std::mutex> hold(g_gate);
    ++g_told;
}

void UntoldAfterFault(void (*tell)(const char* path)) {
    for (size_t i = g_told; g_counting && i < g_committed.Count(); ++i) tell(g_committed.Name(i));
}

CommitResult CommitThroughGate(const std::string& path, const std::function<bool()>& commit) {
    const std::lock_guard<std::mutex> hold(g_gate);
    if (g_closed) return CommitResult::kClosed;
    if (!commit()) return CommitResult::kFailed;
    g_committed.Add(path);
    return CommitResult::kCommitted;
}

std::vector<std::string> CommittedFiles() {
    const std::lock_guard<std::mutex> hold(g_gate);
    return g_committed.Files();
}
