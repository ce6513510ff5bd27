#include "minihost/runtime/progress_window.h"

#include <cstdint>
#include <cstdio>

#include "host/progress.h"
#include "minihost/runtime/stop.h"
#include "minihost/runtime/stop_moments.h"

namespace {

const char kClassName[] = "MinihostProgress";

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

}  // namespace

ProgressWindow::ProgressWindow(int abortAtLine, bool showBar)
    : abortAtLine_(abortAtLine), showBar_(showBar) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    window_ = CreateWindowA(kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
}

ProgressWindow::~ProgressWindow() {
    if (window_) DestroyWindow(window_);
    EndBar();
}

void ProgressWindow::BeginFrame(int index, int count) {
    frameIndex_ = index;
    frameCount_ = count > 0 ? count : 1;
    currentLine_ = -1;
}

void ProgressWindow::EndBar() {
    if (barOpen_) std::fprintf(stderr, "\r%-*s\r", kBarColumns, "");
    barOpen_ = false;
}

LRESULT CALLBACK ProgressWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == kProgressMessage) {
        self->OnProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    }
    if (self && message == kAbortQuery) {
        self->OnAbortQuery(reinterpret_cast<int32_t*>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string ProgressText(int frame, int frames, int line, int lines, double elapsed) {
    if (frames < 1) frames = 1;
    const double frameDone = lines > 0 ? double(line + 1) / lines : 1.0;
    // Over a batch the bar runs over the frames; a frame's lines move it
    // within that frame's share.
    double done = (frame + frameDone) / frames;
    done = done < 0 ? 0 : done > 1 ? 1 : done;
    char bar[21];
    const int filled = static_cast<int>(done * 20);
    for (int i = 0; i < 20; ++i) bar[i] = i < filled ? '#' : '.';
    bar[20] = '\0';
    char text[160];
    int n = std::snprintf(text, sizeof text, "[%s] %3.0f%%", bar, done * 100);
    if (frames > 1) n += std::snprintf(text + n, sizeof text - n, " frame %d/%d", frame + 1, frames);
    n += std::snprintf(text + n, sizeof text - n, " line %d/%d", line + 1, lines);
    const double left = done > 0 ? elapsed * (1 - done) / done : 0;
    if (elapsed >= 1.0 && done < 1 && left < 1e6)
        std::snprintf(text + n, sizeof text - n, left < 100 ? "  %.1f s left" : "  %.0f s left", left);
    return text;
}

void ProgressWindow::OnProgress(int line, int last) {
    currentLine_ = line;
    AtProgressLine(linesSeen_++);
    if (!showBar_) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Redrawing every line of a 4K frame would cost more than the render.
    if (line != last && line != 0 && Seconds(lastDrawn_, now, frequency_) < 0.1) return;
    lastDrawn_ = now;
    const std::string text = ProgressText(frameIndex_, frameCount_, line, last + 1, Seconds(start_, now, frequency_));
    // Padded to the full width, so a shorter update leaves nothing behind.
    std::fprintf(stderr, "\r%-*s", kBarColumns, text.c_str());
    std::fflush(stderr);
    barOpen_ = true;
}

void ProgressWindow::OnAbortQuery(int32_t* flag) {
    if (!flag) return;
    const bool asked = StopRequested();
    if (asked || linesSeen_ - 1 == abortAtLine_) {
        *flag = 1;
        if (stoppedAt_ < 0) {
            stoppedAt_ = currentLine_ < 0 ? 0 : currentLine_;
            byCtrlC_ = asked;
        }
    }
}
