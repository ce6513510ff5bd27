#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// Columns the bar may take: one fewer than a terminal's 80, since a line
// that fills the last column wraps on some consoles.
constexpr int kBarColumns = 79;

// The bar's text after `elapsed` seconds, at line `line` (from 0) of `lines`
// in frame `frame` (from 0) of `frames`; at most kBarColumns wide. The time
// left is shown only once a second has passed: earlier rates are mostly
// start-up and made estimates many times too long.
std::string ProgressText(int frame, int frames, int line, int lines, double elapsed);

// The host's progress window for a render. It needs no display: it is a
// message-only window, as on a headless render node.
class ProgressWindow {
public:
    // Stops at the abortAtLine-th line of the run, counting the lines of all
    // its frames in order from 0; < 0: never on its own. Ctrl-C stops it too.
    ProgressWindow(int abortAtLine, bool showBar);
    ~ProgressWindow();
    HWND Handle() const { return window_; }

    // The frame whose lines come next, of count in the run; the bar shows it.
    void BeginFrame(int index, int count);
    // Clears the bar's line, so that a message takes it and the bar is
    // drawn again below: one bar for the run, not one line a frame.
    void EndBar();

    // The line of the frame at whose abort query the flag was set, or -1.
    int StoppedAt() const { return stoppedAt_; }
    // Whether that stop was Ctrl-C's rather than --abort-at-line's.
    bool StoppedByCtrlC() const { return byCtrlC_; }
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
    bool byCtrlC_ = false;
    int linesSeen_ = 0;  // over the whole run
    int frameIndex_ = 0, frameCount_ = 1;
    bool barOpen_ = false;
    LARGE_INTEGER start_{}, frequency_{}, lastDrawn_{};
};
