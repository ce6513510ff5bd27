#include <windows.h>

#include "module/message_box.h"

void ShowMessageBox(const char* caption, const char* format, ...) {
    char text[kMessageChars];
    va_list args;
    va_start(args, format);
    FormatMessageText(text, format, args);
    va_end(args);
    MessageBoxA(GetActiveWindow(), text, caption, MB_OK);
}
