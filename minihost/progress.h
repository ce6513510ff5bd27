#pragma once
#include <windows.h>

#include <cstdint>

// The host's progress window for a render. It needs no display: it is a
// message-only window, as on a headless render node.
class ProgressWindow {
public:
    // abortAtLine < 0: never abort on its own.
    ProgressWindow(int abortAtLine, bool showBar);
    ~ProgressWindow();
    HWND Handle() const { return window_; }

    // The line at whose abort query the flag was set, or -1.
    int StoppedAt() const { return stoppedAt_; }
    int LinesSeen() const { return linesSeen_; }
    bool Ok() const { return window_ != nullptr; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnProgress(int line, int last);
    void OnAbortQuery(int32_t* flag);

    HWND window_ = nullptr;
    int abortAtLine_;
    bool showBar_;
    int currentLine_ = -1;
    int stoppedAt_ = -1;
    int linesSeen_ = 0;
    LARGE_INTEGER start_{}, frequency_{}, lastDrawn_{};
};
