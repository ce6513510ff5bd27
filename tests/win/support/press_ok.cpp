// press_ok CAPTION [SECONDS]: waits for a window of that caption (from any
// process) and presses its OK button, as a user would. Exit 0 when pressed,
// 1 when no such window came in time. Lets a script drive a dialog that a
// program it started has opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: press_ok CAPTION [SECONDS]\n");
        return 2;
    }
    const DWORD limit = GetTickCount() + 1000u * (argc > 2 ? std::atoi(argv[2]) : 20);
    for (;;) {
        if (HWND window = FindWindowA(nullptr, argv[1])) {
            // Once shown, a dialog may still be filling its controls.
            Sleep(300);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return 0;
        }
        if (static_cast<LONG>(GetTickCount() - limit) > 0) break;
        Sleep(100);
    }
    std::fprintf(stderr, "press_ok: no window \"%s\"\n", argv[1]);
    return 1;
}
