#pragma once
#include <cstdint>

#include "host/class_desc.h"
#include "params/kernel_params.h"

// Who the plug-in is. Kept as data so no code carries these answers.
extern const char kLibDescription[256];
extern const char kDisplayName[256];
extern const char kAuthor[256];
extern const char kNotice[256];
extern const char kCategory[];
constexpr uint32_t kLibVersion = kPluginInterfaceVersion;
// The class ID. Its first word is the stamp that opens every saved
// configuration, and the filter's version word too.
constexpr uint32_t kClassIdA = kParamsStamp;
constexpr uint32_t kClassIdB = 0x39933116u;
constexpr uint32_t kFilterVersion = kClassIdA;
constexpr uint32_t kCapabilities = 6;
constexpr int kAboutTemplate = 101;
constexpr int kControlTemplate = 102;
