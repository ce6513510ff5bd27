#include <windows.h>

#include "plugin/message_box.h"

int ShowMessageBox(const char* caption, const char* format, ...) {
    char text[kMessageChars];
    va_list args;
    va_start(args, format);
    FormatMessageText(text, format, args);
    va_end(args);
    return MessageBoxA(GetActiveWindow(), text, caption, MB_OK);
}
