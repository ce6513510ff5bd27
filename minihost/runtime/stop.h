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

// For the tests: MINIHOST_TEST_CTRL_C in the environment has a Ctrl-C sent
// to the console (of the test, which ignores it) as the run starts ("start")
// or as the render reaches line N of the run, counted as --abort-at-line
// counts. TestCtrlCLine is N, or -1.
int TestCtrlCLine();
void RaiseTestCtrlC();
