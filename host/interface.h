#pragma once
#include "host/hostapi.h"

// Directory codes the host answers; the plug-in asks only for this one.
constexpr int APP_PLUGCFG_DIR = 9;

class Interface {
public:
    // A zero-terminated directory path without a trailing separator.
    virtual const char* GetDir(int which) = 0;

protected:
    ~Interface() = default;
};
