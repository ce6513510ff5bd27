#pragma once
#include <cstdint>

// Who the plug-in is. Kept as data so no code carries these answers.
extern const char kLibDescription[256];
extern const char kDisplayName[256];
extern const char kAuthor[256];
extern const char kNotice[256];
extern const char kCategory[];
constexpr uint32_t kLibVersion = 0x07D00500u;
// The class ID. Its first word is also the filter's version word and the
// stamp that opens every saved configuration, so the three can never drift.
constexpr uint32_t kClassIdA = 0x33A25539u;
constexpr uint32_t kClassIdB = 0x39933116u;
constexpr uint32_t kFilterVersion = kClassIdA;
constexpr uint32_t kCapabilities = 6;
constexpr int kAboutTemplate = 101;
constexpr int kControlTemplate = 102;
