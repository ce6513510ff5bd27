#include "plugin/message_box.h"
#include "plugin/message_sink.h"

namespace {
MessageSink g_sink = nullptr;
}

void SetMessageSink(MessageSink sink) { g_sink = sink; }

int ShowMessageBox(const char* caption, const char* format, ...) {
    char text[kMessageChars];
    va_list args;
    va_start(args, format);
    FormatMessageText(text, format, args);
    va_end(args);
    if (g_sink) g_sink(caption, text);
    return 1;
}
