#pragma once
// A fault (an access violation, an illegal instruction, a stack overflow)
// in the plug-in, the host library or minihost itself ends the run with one
// line and a status of its own, never with a debugger waiting on a farm
// machine, and never with a status a task manager would read as success.
// Nothing more is committed after it; temporaries go with the process.
#include <string>

constexpr int kExitFault = 3;

// Installs the handler; main's first calls, with CatchStops.
void CatchFaults();

// What the run is doing, for the line a fault prints: "the render of
// shot_2.png", "the control dialog". Scopes nest; the innermost is said.
class FaultScope {
public:
    explicit FaultScope(const std::string& doing);
    ~FaultScope();
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;

private:
    char previous_[512];
};

// The words for an exception code: "an access violation".
const char* FaultKind(unsigned long code);
