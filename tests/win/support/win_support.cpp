#include "tests/win/support/win_support.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "hostlib/host_control.h"

std::string BinDir() { return HostProgramDir(); }

std::string PluginPath() { return BinDir() + "\\VLM.FLT"; }

template <typename F>
static bool FindOrdinal(HMODULE module, int ordinal, F* out) {
    *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    return *out != nullptr;
}

bool PluginLibrary::Load() {
    module = LoadLibraryExA(PluginPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module && FindOrdinal(module, 1, &LibDescription) && FindOrdinal(module, 2, &LibNumberClasses) &&
           FindOrdinal(module, 3, &LibClassDesc) && FindOrdinal(module, 4, &LibVersion);
}

void PluginLibrary::Unload() {
    if (module) FreeLibrary(module);
    module = nullptr;
}

ImageFilter* PluginLibrary::NewFilter() const {
    ClassDesc* desc = LibClassDesc ? LibClassDesc(0) : nullptr;
    return desc ? static_cast<ImageFilter*>(desc->CreateInstance(0)) : nullptr;
}

namespace {
struct FindArgs {
    DWORD pid;
    const char* caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM lParam) {
    auto* args = reinterpret_cast<FindArgs*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[16] = "", text[256] = "";
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, text, sizeof text);
    if (pid == args->pid && window != args->except && IsWindowVisible(window) &&
        lstrcmpA(cls, "#32770") == 0 && lstrcmpA(text, args->caption) == 0) {
        args->found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

// Polls for the dialog until it shows, the time is up, or process (when
// given) has ended.
static HWND PollForDialog(DWORD pid, HANDLE process, const char* caption, DWORD timeoutMs, HWND except) {
    const DWORD start = GetTickCount();
    do {
        FindArgs args{pid, caption, except, nullptr};
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&args));
        if (args.found) return args.found;
        if (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return nullptr;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

HWND WaitForDialog(const char* caption, DWORD timeoutMs, HWND except) {
    return PollForDialog(GetCurrentProcessId(), nullptr, caption, timeoutMs, except);
}

HWND WaitForDialogOf(HANDLE process, DWORD pid, const char* caption, DWORD timeoutMs) {
    return PollForDialog(pid, process, caption, timeoutMs, nullptr);
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

namespace {
struct ModalJob {
    std::string caption;
    std::function<void(HWND)> drive;
    bool found = false;
};

DWORD WINAPI ModalThread(LPVOID p) {
    auto* job = static_cast<ModalJob*>(p);
    HWND dialog = WaitForDialog(job->caption.c_str());
    if (!dialog) return 0;
    job->found = true;
    job->drive(dialog);
    if (!WaitUntilGone(dialog, 5000)) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        if (!WaitUntilGone(dialog, 5000)) PostMessageA(dialog, WM_CLOSE, 0, 0);
    }
    return 0;
}
}  // namespace

int RunModal(const char* caption, const std::function<int()>& open, const std::function<void(HWND)>& drive,
             bool* driven) {
    ModalJob job{caption, drive};
    HANDLE thread = CreateThread(nullptr, 0, ModalThread, &job, 0, nullptr);
    const int result = open();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    if (driven) *driven = job.found;
    return result;
}

// One pipe, read to its end on a thread of its own so that the child never
// stalls on a full pipe.
class ChildProcess::Pipe {
public:
    Pipe() {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        if (CreatePipe(&read_, &write_, &sa, 0)) SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
    }
    ~Pipe() {
        CloseWriteEnd();
        Join();
        if (read_) CloseHandle(read_);
    }
    HANDLE WriteEnd() const { return write_; }
    // The child holds its own copy of the write end now, so the reads end
    // when the child does.
    void Start() {
        CloseWriteEnd();
        if (read_) thread_ = CreateThread(nullptr, 0, Drain, this, 0, nullptr);
    }
    std::string Text() {
        Join();
        return text_;
    }

private:
    void CloseWriteEnd() {
        if (write_) CloseHandle(write_);
        write_ = nullptr;
    }
    void Join() {
        if (!thread_) return;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    static DWORD WINAPI Drain(LPVOID p) {
        auto* self = static_cast<Pipe*>(p);
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(self->read_, buffer, sizeof buffer, &n, nullptr) && n > 0) self->text_.append(buffer, n);
        return 0;
    }
    HANDLE read_ = nullptr, write_ = nullptr, thread_ = nullptr;
    std::string text_;
};

ChildProcess::ChildProcess(const std::string& commandLine) : out_(new Pipe), err_(new Pipe) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    HANDLE inherited[] = {in, out_->WriteEnd(), err_->WriteEnd()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (in != INVALID_HANDLE_VALUE && out_->WriteEnd() && err_->WriteEnd() &&
        InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                      nullptr, nullptr)) {
            STARTUPINFOEXW si = {};
            si.StartupInfo.cb = sizeof si;
            si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
            si.StartupInfo.hStdInput = in;
            si.StartupInfo.hStdOutput = out_->WriteEnd();
            si.StartupInfo.hStdError = err_->WriteEnd();
            si.lpAttributeList = list;
            // UTF-8, so that a child is handed any name whole.
            std::wstring cmd(commandLine.size() + 1, L'\0');
            cmd.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, &cmd[0], int(cmd.size()))));
            if (cmd.empty() ||
                !CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                nullptr, &si.StartupInfo, &info_))
                info_ = {};
        }
        DeleteProcThreadAttributeList(list);
    }
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    out_->Start();
    err_->Start();
}

ChildProcess::~ChildProcess() {
    Finish(0);
    out_.reset();
    err_.reset();
    if (info_.hProcess) CloseHandle(info_.hProcess);
    if (info_.hThread) CloseHandle(info_.hThread);
}

DWORD ChildProcess::Finish(DWORD timeoutMs) {
    if (!info_.hProcess) return 999;
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        timedOut_ = true;
        TerminateProcess(info_.hProcess, 999);
        WaitForSingleObject(info_.hProcess, INFINITE);
    }
    DWORD status = 999;
    GetExitCodeProcess(info_.hProcess, &status);
    return status;
}

std::string ChildProcess::Out() {
    Finish();
    return out_->Text();
}

std::string ChildProcess::Err() {
    Finish();
    return err_->Text();
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string MessageBoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

MessageBoxWatcher::MessageBoxWatcher(const char* caption) : caption_(caption) {
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher() {
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    DeleteCriticalSection(&lock_);
}

std::vector<std::string> MessageBoxWatcher::Texts() {
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = texts_;
    LeaveCriticalSection(&lock_);
    return copy;
}

DWORD WINAPI MessageBoxWatcher::Run(LPVOID p) {
    auto* self = static_cast<MessageBoxWatcher*>(p);
    while (!self->stop_) {
        HWND box = WaitForDialog(self->caption_.c_str(), 50);
        if (!box) continue;
        const std::string text = MessageBoxText(box);
        EnterCriticalSection(&self->lock_);
        self->texts_.push_back(text);
        LeaveCriticalSection(&self->lock_);
        SendMessageA(box, WM_COMMAND, IDOK, 0);
        WaitUntilGone(box, 5000);
    }
    return 0;
}

MinihostOutcome RunMinihost(const std::string& args) {
    ChildProcess child("\"" + BinDir() + "\\minihost.exe\" " + args);
    const DWORD status = child.Finish();
    return {status, child.Err(), child.Out()};
}

int CountLines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

std::string TestIccProfile() {
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string profile(400, '\0');
    for (size_t i = 132; i < profile.size(); ++i) profile[i] = char(i * i * 37 % 251);
    profile.replace(0, 4, be32(400));
    profile.replace(12, 12, "mntrRGB XYZ ");
    profile.replace(36, 4, "acsp");
    profile.replace(68, 12, be32(0xF6D6) + be32(0x10000) + be32(0xD32D));  // D50
    return profile;
}
