#include "minihost/runtime/fault.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "minihost/files/commit_gate.h"

namespace {

// The handler runs on a thread that may have no stack left and a heap that
// may be damaged: it takes only what lies here, ready.
char g_doing[512] = "";
DWORD g_doingThread = 0;  // the thread the scopes are of: the one that calls the plug-in
volatile LONG g_faulted = 0;

// Where an address lies: its module's file name and the offset in it, or
// "no module" for code that is nowhere (a call through a damaged pointer).
void PlaceOf(const void* address, char* name, size_t size, uintptr_t* offset) {
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH] = L"";
    *offset = reinterpret_cast<uintptr_t>(address);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module) ||
        !GetModuleFileNameW(module, path, MAX_PATH)) {
        std::snprintf(name, size, "code outside any module");
        return;
    }
    *offset -= reinterpret_cast<uintptr_t>(module);
    const wchar_t* base = std::wcsrchr(path, L'\\');
    base = base ? base + 1 : path;
    // The modules minihost loads have ASCII names; anything else shows as '?'.
    size_t n = 0;
    for (; base[n] && n + 1 < size; ++n) name[n] = base[n] < 0x80 ? char(base[n]) : '?';
    name[n] = '\0';
}

LONG WINAPI OnFault(EXCEPTION_POINTERS* info) {
    // A second thread's fault waits for the first to end the process.
    if (InterlockedExchange(&g_faulted, 1)) {
        Sleep(INFINITE);
    }
    const EXCEPTION_RECORD& e = *info->ExceptionRecord;
    const char* written = CloseCommitsAfterFault();
    // stdout names what the line names: a file committed whose line the
    // batch had not yet printed is told here.
    UntoldAfterFault([](const char* path) {
        static char told[4096];
        const int n = std::snprintf(told, sizeof told, "wrote %s\n", path);
        DWORD put = 0;
        if (n > 0) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), told, DWORD(std::min(n, int(sizeof told) - 1)), &put, nullptr);
    });
    char module[MAX_PATH];
    uintptr_t offset = 0;
    PlaceOf(e.ExceptionAddress, module, sizeof module, &offset);
    char detail[96] = "";
    if (e.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && e.NumberParameters >= 2)
        std::snprintf(detail, sizeof detail, " %s address 0x%08lX",
                      e.ExceptionInformation[0] == 8 ? "executing" : e.ExceptionInformation[0] ? "writing" : "reading",
                      static_cast<unsigned long>(e.ExceptionInformation[1]));
    // Static: after a stack overflow little stack is left; one thread gets here.
    static char line[sizeof g_doing + 4096 + 512];
    const int n = std::snprintf(line, sizeof line, "\nminihost: %s faulted during %s: %s%s (code 0x%08lX, at +0x%lX); "
                                "%s\n", module, !g_doing[0] ? "minihost's own work"
                                             : GetCurrentThreadId() == g_doingThread ? g_doing
                                             : "minihost's own work on another thread",
                                FaultKind(e.ExceptionCode),
                                detail, static_cast<unsigned long>(e.ExceptionCode),
                                static_cast<unsigned long>(offset), written);
    DWORD put = 0;
    // The leading line end ends a progress bar a terminal may be showing.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    const bool console = GetFileType(err) == FILE_TYPE_CHAR;
    WriteFile(err, console ? line : line + 1, DWORD(n > 0 ? (console ? n : n - 1) : 0), &put, nullptr);
    TerminateProcess(GetCurrentProcess(), kExitFault);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

const char* FaultKind(unsigned long code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "an access violation";
    case EXCEPTION_STACK_OVERFLOW: return "a stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "an illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION: return "a privileged instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "an integer division by zero";
    case EXCEPTION_INT_OVERFLOW: return "an integer overflow";
    case EXCEPTION_DATATYPE_MISALIGNMENT: return "a misaligned access";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "an array bound exceeded";
    case EXCEPTION_IN_PAGE_ERROR: return "a page that could not be read in";
    case EXCEPTION_BREAKPOINT: return "a breakpoint";
    case 0xC0000409: return "a stack buffer overrun";  // STATUS_STACK_BUFFER_OVERRUN
    case 0xC0000374: return "a damaged heap";          // STATUS_HEAP_CORRUPTION
    default:
        return code >= 0xC000008D && code <= 0xC0000093 ? "a floating-point fault" : "an exception";
    }
}

void CatchFaults() {
    // Wine, like Windows with a debugger configured, would otherwise start
    // one and leave the run waiting.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(OnFault);
}

FaultScope::FaultScope(const std::string& doing) {
    g_doingThread = GetCurrentThreadId();
    std::memcpy(previous_, g_doing, sizeof previous_);
    std::snprintf(g_doing, sizeof g_doing, "%s", doing.c_str());
}

FaultScope::~FaultScope() { std::memcpy(g_doing, previous_, sizeof previous_); }
