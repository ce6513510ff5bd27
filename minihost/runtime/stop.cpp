#include "minihost/runtime/stop.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "minihost/files/commit_gate.h"

namespace {

volatile LONG g_stop = 0;
volatile LONG g_break = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (CloseCommits()) InterlockedExchange(&g_break, event == CTRL_BREAK_EVENT);
    InterlockedExchange(&g_stop, 1);
    return TRUE;  // the run stops at its next stop point or abort query
}

// The test's moment, without its "break:" prefix.
const char* TestMoment(bool* isBreak) {
    const char* test = std::getenv("MINIHOST_TEST_CTRL_C");
    *isBreak = test && std::strncmp(test, "break:", 6) == 0;
    return test && *isBreak ? test + 6 : test;
}

}  // namespace

void RaiseTestCtrlC() {
    // The console's own event, to every process of the console, taken by the
    // handler as a user's would be; waited for, so that it lands where asked.
    // Only the handler's flag says it came, whatever the call answers.
    bool isBreak = false;
    TestMoment(&isBreak);
    // Wine's console server sends Ctrl-C only ("should support the other
    // events"): Ctrl-Break is delivered as a console delivers it, on a
    // thread of the process running the system's CtrlRoutine.
    const auto deliver = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
    if (!isBreak) GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    else if (HANDLE t = deliver ? CreateThread(nullptr, 0, deliver, reinterpret_cast<void*>(CTRL_BREAK_EVENT), 0, nullptr)
                                : nullptr)
        CloseHandle(t);
    for (int waited = 0; !StopRequested() && waited < 10000; ++waited) Sleep(1);
}

void CatchStops() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    bool isBreak = false;
    const char* test = TestMoment(&isBreak);
    if (test && std::strcmp(test, "start") == 0) RaiseTestCtrlC();
}

bool StopRequested() { return InterlockedCompareExchange(&g_stop, 0, 0) != 0; }

const char* StopKey() { return InterlockedCompareExchange(&g_break, 0, 0) ? "Ctrl-Break" : "Ctrl-C"; }

void StopPoint() {
    if (StopRequested()) throw Stopped{};
}

int TestCtrlCLine() {
    bool isBreak = false;
    const char* test = TestMoment(&isBreak);
    char* end = nullptr;
    const long line = test ? std::strtol(test, &end, 10) : -1;
    return test && *test && *end == '\0' && line >= 0 ? int(line) : -1;
}

void RaiseTestCtrlCAtEncode() {
    bool isBreak = false;
    const char* test = TestMoment(&isBreak);
    if (!test || std::strncmp(test, "encode", 6) != 0) return;
    static volatile LONG encodes = 0;
    const long wanted = test[6] == ':' ? std::strtol(test + 7, nullptr, 10) : 0;
    if (InterlockedIncrement(&encodes) - 1 == wanted) RaiseTestCtrlC();
}
