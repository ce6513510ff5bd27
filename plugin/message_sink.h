#pragma once
// Native builds have no windows: messages go to a sink that tests install.
using MessageSink = void (*)(const char* caption, const char* text);
void SetMessageSink(MessageSink sink);
