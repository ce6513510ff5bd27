#pragma once
// Ctrl-C and Ctrl-Break ask a run to stop; they never end the program by
// themselves, so a stop always says what was and was not written and exits
// with its own status.
#include <string>

// Installs the console handler; main's first call.
void CatchStops();
bool StopRequested();

// Thrown where a command stops before writing anything more.
struct Stopped {};
void StopPoint();  // throws Stopped once a stop was asked for

// The run's tests' stand-in for a console Ctrl-C, from the environment's
// MINIHOST_TEST_CTRL_C: "start" raises it before anything runs; a number N
// as the render reaches line N of the run (counted as --abort-at-line
// counts). -1 when not set or not a line.
int TestCtrlCLine();
void RaiseStop();  // what the console handler does
