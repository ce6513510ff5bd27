// The test build's moments: MINIHOST_TEST_CTRL_C has a Ctrl-C sent to the
// console (of the test, which ignores it) as the run starts ("start"), as
// the render reaches line N of the run ("N"), or as the encode of the run's
// frame N begins ("encode:N"; "encode" is the first). A "break:" before the
// moment sends Ctrl-Break instead; "twice:" sends a second Ctrl-C a moment
// after the first; "linger:" keeps the run after its stop line until the
// watchdog's time has passed (AtStopLine).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "minihost/runtime/stop.h"
#include "minihost/runtime/stop_moments.h"

namespace {

// The moment after its prefix, and the prefix: "break", "twice", "linger"
// or "".
const char* Moment(std::string* prefix) {
    const char* test = std::getenv("MINIHOST_TEST_CTRL_C");
    prefix->clear();
    for (const char* p : {"break:", "twice:", "linger:"})
        if (test && std::strncmp(test, p, std::strlen(p)) == 0) {
            prefix->assign(p, std::strlen(p) - 1);
            return test + std::strlen(p);
        }
    return test;
}

// The console's own event, to every process of the console, taken by the
// handler as a user's would be; waited for, so that it lands where asked.
void Raise() {
    std::string prefix;
    Moment(&prefix);
    const bool isBreak = prefix == "break", twice = prefix == "twice";
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
    std::string prefix;
    const char* test = Moment(&prefix);
    if (test && std::strcmp(test, "start") == 0) Raise();
}

void AtProgressLine(int lineOfRun) {
    std::string prefix;
    const char* test = Moment(&prefix);
    char* end = nullptr;
    const long line = test && *test ? std::strtol(test, &end, 10) : -1;
    if (end && *end == '\0' && line == lineOfRun) Raise();
}

void AtEncodeStart() {
    std::string prefix;
    const char* test = Moment(&prefix);
    if (!test || std::strncmp(test, "encode", 6) != 0) return;
    static volatile LONG encodes = 0;
    const long wanted = test[6] == ':' ? std::strtol(test + 7, nullptr, 10) : 0;
    if (InterlockedIncrement(&encodes) - 1 == wanted) Raise();
}

void AtStopLine(bool said) {
    std::string prefix;
    Moment(&prefix);
    if (prefix == "linger" && said) Sleep((kStopAnswerSeconds + 1) * 1000);
}
