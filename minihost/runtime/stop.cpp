#include "minihost/runtime/stop.h"

#include <windows.h>

#include <cstdlib>

namespace {

volatile LONG g_stop = 0;

void RaiseStop() { InterlockedExchange(&g_stop, 1); }

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    RaiseStop();
    return TRUE;  // the run stops at its next stop point or abort query
}

}  // namespace

void RaiseTestCtrlC() {
    // A console's own Ctrl-C, to every process of the console, taken by the
    // handler as a user's would be; waited for, so that it lands where asked.
    // Only the handler's flag says it came, whatever the call answers.
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    for (int waited = 0; !StopRequested() && waited < 10000; ++waited) Sleep(1);
}

void CatchStops() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const char* test = std::getenv("MINIHOST_TEST_CTRL_C");
    if (test && std::string(test) == "start") RaiseTestCtrlC();
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
