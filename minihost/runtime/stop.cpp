#include "minihost/runtime/stop.h"

#include <windows.h>

#include <cstdlib>

namespace {

volatile LONG g_stop = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    RaiseStop();
    return TRUE;  // the run stops at its next stop point or abort query
}

}  // namespace

void RaiseStop() { InterlockedExchange(&g_stop, 1); }

void CatchStops() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const char* test = std::getenv("MINIHOST_TEST_CTRL_C");
    if (test && std::string(test) == "start") RaiseStop();
}

bool StopRequested() { return InterlockedCompareExchange(&g_stop, 0, 0) != 0; }

void StopPoint() {
    if (StopRequested()) throw Stopped{};
}

int TestCtrlCLine() {
    const char* test = std::getenv("MINIHOST_TEST_CTRL_C");
    char* end = nullptr;
    const long line = test ? std::strtol(test, &end, 10) : -1;
    return test && *test && *end == '\0' && line >= 0 ? int(line) : -1;
}
