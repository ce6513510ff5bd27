// The test build's moments: MINIHOST_TEST_CTRL_C has a Ctrl-C sent to the
// console (of the test, which ignores it) as the run starts ("start"), as
// the render reaches line N of the run ("N"), or as the encode of the run's
// frame N begins ("encode:N"; "encode" is the first). A "break:" before the
// moment sends Ctrl-Break instead; "twice:" sends a second Ctrl-C a moment
// after the first.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "minihost/runtime/stop.h"
#include "minihost/runtime/stop_moments.h"

namespace {

const char* Moment(bool* isBreak, bool* twice) {
    const char* test = std::getenv("MINIHOST_TEST_CTRL_C");
    *isBreak = test && std::strncmp(test, "break:", 6) == 0;
    *twice = test && std::strncmp(test, "twice:", 6) == 0;
    return test && (*isBreak || *twice) ? test + 6 : test;
}

// The console's own event, to every process of the console, taken by the
// handler as a user's would be; waited for, so that it lands where asked.
void Raise() {
    bool isBreak = false, twice = false;
    Moment(&isBreak, &twice);
    // Wine's console server sends Ctrl-C only: Ctrl-Break is delivered as a
    // console delivers it, on a thread running the system's CtrlRoutine.
    const auto deliver = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
    if (!isBreak) GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    else if (HANDLE t = deliver ? CreateThread(nullptr, 0, deliver, reinterpret_cast<void*>(CTRL_BREAK_EVENT), 0, nullptr)
                                : nullptr)
        CloseHandle(t);
    for (int waited = 0; !StopRequested() && waited < 10000; ++waited) Sleep(1);
    if (twice) {
        Sleep(200);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        Sleep(10000);  // the second ends the run before this does
    }
}

}  // namespace

void AtRunStart() {
    bool isBreak = false, twice = false;
    const char* test = Moment(&isBreak, &twice);
    if (test && std::strcmp(test, "start") == 0) Raise();
}

void AtProgressLine(int lineOfRun) {
    bool isBreak = false, twice = false;
    const char* test = Moment(&isBreak, &twice);
    char* end = nullptr;
    const long line = test && *test ? std::strtol(test, &end, 10) : -1;
    if (end && *end == '\0' && line == lineOfRun) Raise();
}

void AtEncodeStart() {
    bool isBreak = false, twice = false;
    const char* test = Moment(&isBreak, &twice);
    if (!test || std::strncmp(test, "encode", 6) != 0) return;
    static volatile LONG encodes = 0;
    const long wanted = test[6] == ':' ? std::strtol(test + 7, nullptr, 10) : 0;
    if (InterlockedIncrement(&encodes) - 1 == wanted) Raise();
}
