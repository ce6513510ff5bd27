#pragma once
#include "host/hostapi.h"

// Directory codes the host answers; the plug-in asks only for this one.
constexpr int kSettingsDirCode = 9;

class Interface {
public:
    // A zero-terminated directory path without a trailing separator.
    virtual const char* DirectoryPath(int which) = 0;

protected:
    ~Interface() = default;
};
