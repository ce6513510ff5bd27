#include "minihost/progress.h"

#include <cstdint>
#include <cstdio>

namespace {

const char kClassName[] = "MinihostProgress";
volatile LONG g_interrupted = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        InterlockedExchange(&g_interrupted, 1);
        return TRUE;  // the render stops at its next abort query
    }
    return FALSE;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

}  // namespace

ProgressWindow::ProgressWindow(int abortAtLine, bool showBar) : abortAtLine_(abortAtLine), showBar_(showBar) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    window_ = CreateWindowA(kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
}

ProgressWindow::~ProgressWindow() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (window_) DestroyWindow(window_);
    EndBar();
}

void ProgressWindow::BeginFrame(int index, int count) {
    frameIndex_ = index;
    frameCount_ = count > 0 ? count : 1;
    currentLine_ = -1;
}

void ProgressWindow::EndBar() {
    if (barOpen_) std::fputc('\n', stderr);
    barOpen_ = false;
}

LRESULT CALLBACK ProgressWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == 0x420) {
        self->OnProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    }
    if (self && message == 0x421) {
        self->OnAbortQuery(reinterpret_cast<int32_t*>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ProgressWindow::OnProgress(int line, int last) {
    currentLine_ = line;
    ++linesSeen_;
    if (!showBar_) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Redrawing every line of a 4K frame would cost more than the render.
    if (line != last && line != 0 && Seconds(lastDrawn_, now, frequency_) < 0.1) return;
    lastDrawn_ = now;
    const double elapsed = Seconds(start_, now, frequency_);
    const int total = last + 1;
    const double frameDone = total > 0 ? double(line + 1) / total : 1.0;
    // Over a batch the bar runs over the frames; a frame's lines move it
    // within that frame's share.
    const double done = (frameIndex_ + frameDone) / frameCount_;
    const double rate = elapsed > 0 ? linesSeen_ / elapsed : 0;
    const double remaining = done > 0 ? elapsed * (1 - done) / done : 0;
    char bar[31];
    const int filled = static_cast<int>(done * 30);
    for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
    bar[30] = '\0';
    if (frameCount_ > 1)
        std::fprintf(stderr, "\r[%s] frame %d/%d line %d/%d %3.0f%%  %.0f lines/s  %.1f s left ", bar,
                     frameIndex_ + 1, frameCount_, line + 1, total, done * 100, rate, remaining);
    else
        std::fprintf(stderr, "\r[%s] line %d/%d %3.0f%%  %.0f lines/s  %.1f s left ", bar, line + 1, total,
                     done * 100, rate, remaining);
    std::fflush(stderr);
    barOpen_ = true;
}

void ProgressWindow::OnAbortQuery(int32_t* flag) {
    if (!flag) return;
    if (g_interrupted || linesSeen_ - 1 == abortAtLine_) {
        *flag = 1;
        if (stoppedAt_ < 0) stoppedAt_ = currentLine_;
    }
}
