#include "minihost/runtime/stop.h"

#include <windows.h>

#include <cstdio>

#include "minihost/files/commit_gate.h"
#include "minihost/runtime/stop_moments.h"

namespace {

constexpr int kExitStopped = 4;

volatile LONG g_stop = 0;
volatile LONG g_break = 0;
volatile LONG g_lineSaid = 0;  // a stop line is said, or being said

bool ClaimStopLine() { return InterlockedExchange(&g_lineSaid, 1) == 0; }

// Ends the run where it is; the gate is closed, so nothing more is written.
// When the run has said its stop line already, it is given the same time
// again to end by itself, then ended with no second line.
void EndNow(const char* why) {
    if (!ClaimStopLine()) {
        Sleep(kStopAnswerSeconds * 1000);
        TerminateProcess(GetCurrentProcess(), kExitStopped);
        return;
    }
    const char* written = CloseCommitsAfterFault();
    static char line[4096 + 512];
    const int n = std::snprintf(line, sizeof line, "\nminihost: stopped by %s: %s; %s\n",
                                InterlockedCompareExchange(&g_break, 0, 0) ? "Ctrl-Break" : "Ctrl-C", why, written);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    // The leading line end ends a progress bar a terminal may be showing.
    const bool console = GetFileType(err) == FILE_TYPE_CHAR;
    DWORD put = 0;
    if (n > 0) WriteFile(err, console ? line : line + 1, DWORD(console ? n : n - 1), &put, nullptr);
    TerminateProcess(GetCurrentProcess(), kExitStopped);
}

DWORD WINAPI AwaitAnswer(void*) {
    Sleep(kStopAnswerSeconds * 1000);
    static char why[64];
    std::snprintf(why, sizeof why, "the run did not answer within %d s", kStopAnswerSeconds);
    EndNow(why);
    return 0;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (InterlockedExchange(&g_stop, 1)) {
        EndNow("a second stop while the run had not answered the first");
        return TRUE;
    }
    if (CloseCommits()) InterlockedExchange(&g_break, event == CTRL_BREAK_EVENT);
    if (HANDLE t = CreateThread(nullptr, 0, AwaitAnswer, nullptr, 0, nullptr)) CloseHandle(t);
    return TRUE;  // the run stops at its next stop point or abort query
}

}  // namespace

void CatchStops() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    AtRunStart();
}

bool StopRequested() { return InterlockedCompareExchange(&g_stop, 0, 0) != 0; }

const char* StopKey() { return InterlockedCompareExchange(&g_break, 0, 0) ? "Ctrl-Break" : "Ctrl-C"; }

void SayStopLine(const std::string& line) {
    AtStopLine(false);
    if (!ClaimStopLine()) {
        for (;;) Sleep(INFINITE);
    }
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    AtStopLine(true);
}

void StopPoint() {
    if (StopRequested()) throw Stopped{};
}
